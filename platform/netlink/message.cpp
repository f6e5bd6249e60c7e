// Building requests and reading attributes with libmnl; see message.h.
#include "netlink/message.h"

#include <cstring>

namespace pairway::netlink {
namespace {

// Large enough for every request this library builds (the largest, a bond with its settings,
// takes a few hundred bytes); a request that grows past it is refused, never cut.
constexpr size_t kRequestBytes = 4096;

}  // namespace

Request::Request(uint16_t type, uint16_t flags, size_t header_size)
    : buffer_(kRequestBytes / sizeof(uint32_t), 0) {
  nlmsghdr* header = mnl_nlmsg_put_header(buffer_.data());
  header->nlmsg_type = type;
  header->nlmsg_flags = static_cast<uint16_t>(NLM_F_REQUEST | flags);
  if (header_size > 0) mnl_nlmsg_put_extra_header(header, header_size);
}

void Request::PutU8(uint16_t type, uint8_t value) { PutBytes(type, &value, sizeof value); }
void Request::PutU16(uint16_t type, uint16_t value) { PutBytes(type, &value, sizeof value); }
void Request::PutU32(uint16_t type, uint32_t value) { PutBytes(type, &value, sizeof value); }

void Request::PutString(uint16_t type, std::string_view value) {
  std::string terminated(value);
  PutBytes(type, terminated.c_str(), terminated.size() + 1);
}

void Request::PutBytes(uint16_t type, const void* data, size_t size) {
  if (!mnl_attr_put_check(message(), capacity(), type, size, data)) overflowed_ = true;
}

void* Request::PutRaw(size_t bytes) {
  if (size() + MNL_ALIGN(bytes) > capacity()) {
    overflowed_ = true;
    return nullptr;
  }
  return mnl_nlmsg_put_extra_header(message(), bytes);
}

nlattr* Request::BeginNest(uint16_t type) {
  nlattr* nest = mnl_attr_nest_start_check(message(), capacity(), type);
  if (nest == nullptr) overflowed_ = true;
  return nest;
}

void Request::EndNest(nlattr* nest) {
  if (nest != nullptr) mnl_attr_nest_end(message(), nest);
}

Attributes::Attributes(const nlmsghdr* message, size_t header_size, uint16_t max_type)
    : table_(static_cast<size_t>(max_type) + 1, nullptr) {
  if (mnl_nlmsg_get_payload_len(message) < header_size) return;
  mnl_attr_parse(message, static_cast<unsigned>(header_size), &Attributes::Collect, this);
}

Attributes::Attributes(const nlattr* nest, uint16_t max_type)
    : table_(static_cast<size_t>(max_type) + 1, nullptr) {
  if (nest != nullptr) mnl_attr_parse_nested(nest, &Attributes::Collect, this);
}

Attributes::Attributes(std::span<const uint8_t> payload, uint16_t max_type)
    : table_(static_cast<size_t>(max_type) + 1, nullptr) {
  if (!payload.empty())
    mnl_attr_parse_payload(payload.data(), payload.size(), &Attributes::Collect, this);
}

int Attributes::Collect(const nlattr* attribute, void* data) {
  auto* self = static_cast<Attributes*>(data);
  const uint16_t type = mnl_attr_get_type(attribute);
  if (type < self->table_.size() && self->table_[type] == nullptr) self->table_[type] = attribute;
  return MNL_CB_OK;
}

uint8_t Attributes::U8(uint16_t type, uint8_t fallback) const {
  const nlattr* attribute = (*this)[type];
  if (attribute == nullptr || mnl_attr_get_payload_len(attribute) < sizeof(uint8_t))
    return fallback;
  return mnl_attr_get_u8(attribute);
}

uint32_t Attributes::U32(uint16_t type, uint32_t fallback) const {
  const nlattr* attribute = (*this)[type];
  if (attribute == nullptr || mnl_attr_get_payload_len(attribute) < sizeof(uint32_t))
    return fallback;
  return mnl_attr_get_u32(attribute);
}

std::string Attributes::String(uint16_t type) const {
  const std::span<const uint8_t> bytes = Bytes(type);
  if (bytes.empty()) return {};
  const auto* text = reinterpret_cast<const char*>(bytes.data());
  return std::string(text, strnlen(text, bytes.size()));
}

std::span<const uint8_t> Attributes::Bytes(uint16_t type) const {
  const nlattr* attribute = (*this)[type];
  if (attribute == nullptr) return {};
  return {static_cast<const uint8_t*>(mnl_attr_get_payload(attribute)),
          mnl_attr_get_payload_len(attribute)};
}

}  // namespace pairway::netlink
