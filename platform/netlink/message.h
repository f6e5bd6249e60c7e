// message.h: building one netlink request, and reading the attributes of an answer.
//
// A Request owns its buffer. It is built without a kernel (tests read it back with the parse
// helpers below), then handed to Socket::Call or Socket::Dump, which stamp its sequence number.
// A request that outgrew its buffer is marked overflowed(); the socket refuses to send it
// (EMSGSIZE) instead of sending a message cut short.
//
// Threads: a Request is used by one thread at a time.
#ifndef PAIRWAY_NETLINK_MESSAGE_H
#define PAIRWAY_NETLINK_MESSAGE_H

#include <libmnl/libmnl.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pairway::netlink {

class Request {
 public:
  // A message of `type` (RTM_NEWLINK, ...) with NLM_F_REQUEST and `flags`, followed by a zeroed
  // family header of `header_size` bytes (ifinfomsg, ifaddrmsg, tcmsg).
  Request(uint16_t type, uint16_t flags, size_t header_size);

  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;
  Request(Request&&) = default;
  Request& operator=(Request&&) = default;

  // The family header, to be filled in by the builder.
  template <typename T>
  T* header() {
    return static_cast<T*>(mnl_nlmsg_get_payload(message()));
  }

  void PutU8(uint16_t type, uint8_t value);
  void PutU16(uint16_t type, uint16_t value);
  void PutU32(uint16_t type, uint32_t value);
  void PutString(uint16_t type, std::string_view value);  // with its terminating zero
  void PutBytes(uint16_t type, const void* data, size_t size);
  // Appends `bytes` zeroed bytes that are no attribute (the family header a nest starts with,
  // as a veth peer's ifinfomsg); null when the buffer is full.
  void* PutRaw(size_t bytes);

  // Opens a nested attribute; every Put until the matching EndNest goes inside it. Null when
  // the buffer is full (EndNest(nullptr) does nothing; the request is then overflowed()).
  nlattr* BeginNest(uint16_t type);
  void EndNest(nlattr* nest);

  nlmsghdr* message() { return reinterpret_cast<nlmsghdr*>(buffer_.data()); }
  const nlmsghdr* message() const { return reinterpret_cast<const nlmsghdr*>(buffer_.data()); }
  size_t size() const { return message()->nlmsg_len; }
  bool overflowed() const { return overflowed_; }

 private:
  size_t capacity() const { return buffer_.size() * sizeof(uint32_t); }

  std::vector<uint32_t> buffer_;  // 32-bit words: netlink messages are 4-byte aligned
  bool overflowed_ = false;
};

// The attributes of one message or nest, indexed by type; types above the table's size and
// repeated types after the first are ignored. A missing attribute is null.
class Attributes {
 public:
  // The attributes after the family header of `message` (header_size bytes).
  Attributes(const nlmsghdr* message, size_t header_size, uint16_t max_type);
  // The attributes inside the nest `nest` (may be null: then none).
  Attributes(const nlattr* nest, uint16_t max_type);
  // The attributes that fill `payload` (a nest's payload after a family header of its own).
  Attributes(std::span<const uint8_t> payload, uint16_t max_type);

  const nlattr* operator[](uint16_t type) const {
    return type < table_.size() ? table_[type] : nullptr;
  }
  bool has(uint16_t type) const { return (*this)[type] != nullptr; }

  // Typed reads; `fallback` when the attribute is missing or shorter than the type.
  uint8_t U8(uint16_t type, uint8_t fallback = 0) const;
  uint32_t U32(uint16_t type, uint32_t fallback = 0) const;
  std::string String(uint16_t type) const;  // stops at the first zero; "" when missing
  std::span<const uint8_t> Bytes(uint16_t type) const;

 private:
  static int Collect(const nlattr* attribute, void* table);

  std::vector<const nlattr*> table_;
};

}  // namespace pairway::netlink

#endif  // PAIRWAY_NETLINK_MESSAGE_H
