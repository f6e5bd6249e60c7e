// rtnetlink addresses; see address.h.
#include "netlink/address.h"

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <cstring>

namespace pairway::netlink {

Address Address::Ipv4(int index, in_addr address, unsigned prefix_length) {
  Address made;
  made.family = AF_INET;
  made.index = index;
  made.prefix_length = prefix_length;
  std::memcpy(made.bytes.data(), &address, 4);
  return made;
}

Address Address::Ipv6(int index, const in6_addr& address, unsigned prefix_length) {
  Address made;
  made.family = AF_INET6;
  made.index = index;
  made.prefix_length = prefix_length;
  std::memcpy(made.bytes.data(), &address, 16);
  return made;
}

std::string Address::ToString() const {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(family, bytes.data(), text, sizeof text);
  return std::string(text) + "/" + std::to_string(prefix_length);
}

bool Address::SameAs(const Address& other) const {
  return family == other.family && index == other.index &&
         std::memcmp(bytes.data(), other.bytes.data(), size()) == 0;
}

bool ParseAddress(const nlmsghdr* message, Address* address) {
  if (message->nlmsg_type != RTM_NEWADDR && message->nlmsg_type != RTM_DELADDR) return false;
  if (mnl_nlmsg_get_payload_len(message) < sizeof(ifaddrmsg)) return false;
  const auto* info = static_cast<const ifaddrmsg*>(mnl_nlmsg_get_payload(message));
  if (info->ifa_family != AF_INET && info->ifa_family != AF_INET6) return false;
  Attributes attributes(message, sizeof(ifaddrmsg), IFA_MAX);
  Address parsed;
  parsed.family = info->ifa_family;
  parsed.index = static_cast<int>(info->ifa_index);
  parsed.prefix_length = info->ifa_prefixlen;
  parsed.scope = info->ifa_scope;
  parsed.flags = attributes.U32(IFA_FLAGS, info->ifa_flags);
  // IFA_LOCAL is the interface's own address; IFA_ADDRESS is the peer's on a point-to-point
  // link and the same as IFA_LOCAL elsewhere (IPv6 sends only IFA_ADDRESS).
  std::span<const uint8_t> own = attributes.Bytes(IFA_LOCAL);
  if (own.empty()) own = attributes.Bytes(IFA_ADDRESS);
  if (own.size() != parsed.size()) return false;
  std::memcpy(parsed.bytes.data(), own.data(), own.size());
  if (const std::span<const uint8_t> broadcast = attributes.Bytes(IFA_BROADCAST);
      broadcast.size() == 4) {
    parsed.has_broadcast = true;
    std::memcpy(parsed.broadcast.data(), broadcast.data(), 4);
  }
  *address = parsed;
  return true;
}

namespace {

Request AddressRequest(uint16_t type, uint16_t flags, const Address& address) {
  Request request(type, flags, sizeof(ifaddrmsg));
  auto* info = request.header<ifaddrmsg>();
  info->ifa_family = static_cast<uint8_t>(address.family);
  info->ifa_prefixlen = static_cast<uint8_t>(address.prefix_length);
  info->ifa_scope = address.scope;
  info->ifa_index = static_cast<uint32_t>(address.index);
  request.PutBytes(IFA_LOCAL, address.bytes.data(), address.size());
  request.PutBytes(IFA_ADDRESS, address.bytes.data(), address.size());
  return request;
}

}  // namespace

Request ListAddressesRequest(int family) {
  Request request(RTM_GETADDR, 0, sizeof(ifaddrmsg));
  request.header<ifaddrmsg>()->ifa_family = static_cast<uint8_t>(family);
  return request;
}

Request NewAddressRequest(const Address& address) {
  Request request = AddressRequest(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, address);
  if (address.family == AF_INET && address.has_broadcast)
    request.PutBytes(IFA_BROADCAST, address.broadcast.data(), 4);
  // Only what a person may set: the kernel keeps the rest (IFA_F_PERMANENT, ...) itself.
  const uint32_t settable = address.flags & (IFA_F_NODAD | IFA_F_NOPREFIXROUTE);
  if (settable != 0) request.PutU32(IFA_FLAGS, settable);
  return request;
}

Request DeleteAddressRequest(const Address& address) {
  return AddressRequest(RTM_DELADDR, 0, address);
}

Status ListAddresses(Channel& socket, int index, int family, std::vector<Address>* addresses) {
  Status status;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<Address> listed;
    Request request = ListAddressesRequest(family);
    status = socket.Dump(request, [&](const nlmsghdr* message) {
      Address address;
      if (ParseAddress(message, &address) && (index == 0 || address.index == index) &&
          (family == AF_UNSPEC || address.family == family))
        listed.push_back(address);
    });
    if (status.ok()) {
      *addresses = std::move(listed);
      return {};
    }
    if (status.code() != EINTR) break;
  }
  return status.Context("listing the addresses of interface " + std::to_string(index));
}

Status AddAddress(Channel& socket, const Address& address) {
  Request request = NewAddressRequest(address);
  return socket.Call(request).Context("adding " + address.ToString() + " to interface " +
                                      std::to_string(address.index));
}

Status DeleteAddress(Channel& socket, const Address& address) {
  Request request = DeleteAddressRequest(address);
  return socket.Call(request).Context("deleting " + address.ToString() + " from interface " +
                                      std::to_string(address.index));
}

}  // namespace pairway::netlink
