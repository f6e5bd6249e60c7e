// Gratuitous ARP and unsolicited neighbour advertisements; see announce.h.
#include "announce.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if_arp.h>
#include <netinet/icmp6.h>
#include <netinet/ip6.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pairway::driver {
namespace {

constexpr MacAddress kBroadcast = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
constexpr MacAddress kAllNodesMac = {0x33, 0x33, 0x00, 0x00, 0x00, 0x01};  // of ff02::1

void Append(std::vector<uint8_t>* frame, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  frame->insert(frame->end(), bytes, bytes + size);
}

std::vector<uint8_t> EthernetHeader(const MacAddress& to, const MacAddress& from, uint16_t type) {
  std::vector<uint8_t> frame;
  Append(&frame, to.data(), to.size());
  Append(&frame, from.data(), from.size());
  const uint16_t wire_type = htons(type);
  Append(&frame, &wire_type, sizeof wire_type);
  return frame;
}

// The ICMPv6 checksum: the one's complement sum over the pseudo-header (source, destination,
// length, next header) and the message.
uint16_t Icmp6Checksum(const in6_addr& source, const in6_addr& destination,
                       const std::vector<uint8_t>& message) {
  uint32_t sum = 0;
  auto add = [&sum](const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i + 1 < size; i += 2)
      sum += static_cast<uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (size % 2) sum += static_cast<uint32_t>(bytes[size - 1] << 8);
  };
  add(source.s6_addr, 16);
  add(destination.s6_addr, 16);
  const uint32_t length = htonl(static_cast<uint32_t>(message.size()));
  const uint32_t next_header = htonl(IPPROTO_ICMPV6);
  add(reinterpret_cast<const uint8_t*>(&length), 4);
  add(reinterpret_cast<const uint8_t*>(&next_header), 4);
  add(message.data(), message.size());
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return htons(static_cast<uint16_t>(~sum));
}

}  // namespace

std::vector<uint8_t> GratuitousArp(const MacAddress& mac, in_addr address) {
  std::vector<uint8_t> frame = EthernetHeader(kBroadcast, mac, ETH_P_ARP);
  arphdr header{};
  header.ar_hrd = htons(ARPHRD_ETHER);
  header.ar_pro = htons(ETH_P_IP);
  header.ar_hln = 6;
  header.ar_pln = 4;
  header.ar_op = htons(ARPOP_REQUEST);
  Append(&frame, &header, sizeof header);
  const MacAddress unknown{};
  Append(&frame, mac.data(), 6);      // sender: the group
  Append(&frame, &address, 4);        // sender's address: the one announced
  Append(&frame, unknown.data(), 6);  // target MAC: not known, as in any request
  Append(&frame, &address, 4);        // target address: the same, which makes it gratuitous
  return frame;
}

std::vector<uint8_t> UnsolicitedNeighbourAdvertisement(const MacAddress& mac,
                                                       const in6_addr& address) {
  in6_addr all_nodes{};
  inet_pton(AF_INET6, "ff02::1", &all_nodes);

  std::vector<uint8_t> message;
  nd_neighbor_advert advert{};
  advert.nd_na_type = ND_NEIGHBOR_ADVERT;
  advert.nd_na_flags_reserved = ND_NA_FLAG_OVERRIDE;  // not solicited, not a router
  advert.nd_na_target = address;
  Append(&message, &advert, sizeof advert);
  const uint8_t option[2] = {ND_OPT_TARGET_LINKADDR, 1};  // length in units of 8 bytes
  Append(&message, option, sizeof option);
  Append(&message, mac.data(), mac.size());
  const uint16_t checksum = Icmp6Checksum(address, all_nodes, message);
  std::memcpy(message.data() + offsetof(icmp6_hdr, icmp6_cksum), &checksum, sizeof checksum);

  std::vector<uint8_t> frame = EthernetHeader(kAllNodesMac, mac, ETH_P_IPV6);
  ip6_hdr ip{};
  ip.ip6_flow = htonl(6u << 28);
  ip.ip6_plen = htons(static_cast<uint16_t>(message.size()));
  ip.ip6_nxt = IPPROTO_ICMPV6;
  ip.ip6_hlim = 255;  // receivers drop neighbour discovery that crossed a router
  ip.ip6_src = address;
  ip.ip6_dst = all_nodes;
  Append(&frame, &ip, sizeof ip);
  Append(&frame, message.data(), message.size());
  return frame;
}

bool Announce(int ifindex, const MacAddress& mac, const std::vector<netlink::Address>& addresses,
              std::string* error) {
  // Protocol 0: the socket only sends, it is given no frames.
  const int sock = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    *error = std::string("cannot open a packet socket: ") + std::strerror(errno);
    return false;
  }
  bool all_sent = true;
  for (const netlink::Address& address : addresses) {
    std::vector<uint8_t> frame;
    if (address.family == AF_INET) {
      in_addr ip{};
      std::memcpy(&ip, address.bytes.data(), 4);
      frame = GratuitousArp(mac, ip);
    } else {
      in6_addr ip{};
      std::memcpy(&ip, address.bytes.data(), 16);
      frame = UnsolicitedNeighbourAdvertisement(mac, ip);
    }
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = ifindex;
    to.sll_halen = 6;
    std::memcpy(to.sll_addr, frame.data(), 6);
    if (sendto(sock, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) <
        0) {
      *error = "cannot announce " + address.ToString() + " on interface " +
               std::to_string(ifindex) + ": " + std::strerror(errno);
      all_sent = false;
    }
  }
  close(sock);
  return all_sent;
}

}  // namespace pairway::driver
