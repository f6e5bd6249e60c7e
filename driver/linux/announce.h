// announce.h: telling the LAN that the group's addresses are now behind another member.
//
// Switches learn where a MAC is from the frames they see, and peers keep the MAC of an address
// in their neighbour caches; after a change of the active member both may send to the old
// one. One frame per address fixes both at once:
//   IPv4  a gratuitous ARP: an ARP request, broadcast, that asks for the address itself with
//         the group's MAC as the sender's (peers that know the address update their entry);
//   IPv6  an unsolicited neighbour advertisement to all nodes (ff02::1), from the address
//         itself, with the override flag and the group's MAC as target link-layer address.
// The frames are sent from the group's MAC out of the member that is active now, through a
// packet socket, so that they leave by that member whatever the data path does.
#ifndef PAIRWAY_DRIVER_LINUX_ANNOUNCE_H
#define PAIRWAY_DRIVER_LINUX_ANNOUNCE_H

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "netlink/address.h"

namespace pairway::driver {

using MacAddress = std::array<uint8_t, 6>;

// Whole Ethernet frames, ready to send.
std::vector<uint8_t> GratuitousArp(const MacAddress& mac, in_addr address);
std::vector<uint8_t> UnsolicitedNeighbourAdvertisement(const MacAddress& mac,
                                                       const in6_addr& address);

// Sends one frame per address in `addresses` (both families) out of interface `ifindex`.
// False with *error when a frame could not be sent; the others are still tried.
[[nodiscard]] bool Announce(int ifindex, const MacAddress& mac,
                            const std::vector<netlink::Address>& addresses, std::string* error);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_LINUX_ANNOUNCE_H
