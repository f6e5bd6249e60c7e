// address.h: the IPv4 and IPv6 addresses of interfaces (rtnetlink addresses).
//
// Builders without a kernel, and calls on a Channel (socket.h), as in link.h. Adding an
// address that is there already is EEXIST; deleting one that is not is EADDRNOTAVAIL.
// Out-parameters are untouched on error.
#ifndef PAIRWAY_NETLINK_ADDRESS_H
#define PAIRWAY_NETLINK_ADDRESS_H

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "netlink/message.h"
#include "netlink/socket.h"
#include "netlink/status.h"

namespace pairway::netlink {

struct Address {
  int family = AF_INET;  // AF_INET or AF_INET6
  int index = 0;         // the interface's ifindex
  unsigned prefix_length = 0;
  std::array<uint8_t, 16> bytes{};  // network byte order; IPv4 uses the first four
  uint8_t scope = 0;                // RT_SCOPE_UNIVERSE 0, RT_SCOPE_LINK 253, RT_SCOPE_HOST 254
  uint32_t flags = 0;               // IFA_F_PERMANENT, IFA_F_NODAD, ...
  bool has_broadcast = false;       // IPv4 only
  std::array<uint8_t, 4> broadcast{};

  static Address Ipv4(int index, in_addr address, unsigned prefix_length);
  static Address Ipv6(int index, const in6_addr& address, unsigned prefix_length);
  size_t size() const { return family == AF_INET6 ? 16 : 4; }
  // "10.0.0.1/24", "fe80::1/64".
  std::string ToString() const;
  // The same address on the same interface (prefix and flags aside).
  bool SameAs(const Address& other) const;
};

// Reads one RTM_NEWADDR / RTM_DELADDR; false when `message` is none or is of another family.
bool ParseAddress(const nlmsghdr* message, Address* address);

// family AF_UNSPEC lists both.
Request ListAddressesRequest(int family);
Request NewAddressRequest(const Address& address);
Request DeleteAddressRequest(const Address& address);

// The addresses of interface `index` (every interface's when index is 0), of `family`
// (AF_INET, AF_INET6, or AF_UNSPEC for both), in the kernel's order.
Status ListAddresses(Channel& socket, int index, int family, std::vector<Address>* addresses);
Status AddAddress(Channel& socket, const Address& address);
Status DeleteAddress(Channel& socket, const Address& address);

}  // namespace pairway::netlink

#endif  // PAIRWAY_NETLINK_ADDRESS_H
