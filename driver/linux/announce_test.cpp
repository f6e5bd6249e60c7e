// The announcement frames, byte by byte.
#include "announce.h"

#include <arpa/inet.h>
#include <net/ethernet.h>
#include <netinet/icmp6.h>
#include <netinet/ip6.h>

#include <gtest/gtest.h>

#include <cstring>

namespace pairway::driver {
namespace {

constexpr MacAddress kMac = {0x02, 0x00, 0x00, 0x00, 0x0a, 0x01};

TEST(Announce, GratuitousArpAsksForTheAddressItselfFromTheGroupsMac) {
  in_addr address{};
  inet_pton(AF_INET, "10.77.0.1", &address);
  const std::vector<uint8_t> frame = GratuitousArp(kMac, address);
  ASSERT_EQ(frame.size(), 14u + 28u);
  EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 6), std::vector<uint8_t>(6, 0xff));
  EXPECT_EQ(std::memcmp(frame.data() + 6, kMac.data(), 6), 0);
  EXPECT_EQ(frame[12], 0x08);  // ARP
  EXPECT_EQ(frame[13], 0x06);
  EXPECT_EQ(frame[14 + 7], 1);                                       // a request
  EXPECT_EQ(std::memcmp(frame.data() + 14 + 8, kMac.data(), 6), 0);  // sender MAC
  EXPECT_EQ(std::memcmp(frame.data() + 14 + 14, &address, 4), 0);    // sender address
  EXPECT_EQ(std::memcmp(frame.data() + 14 + 24, &address, 4), 0);    // target address
}

// The one's complement sum of the IPv6 pseudo-header and the message; 0xffff when the
// checksum in the message is right.
uint16_t Sum(const ip6_hdr& ip, const uint8_t* message, size_t size) {
  uint32_t sum = 0;
  auto add = [&](const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; i += 2) sum += (bytes[i] << 8) | (i + 1 < n ? bytes[i + 1] : 0);
  };
  add(ip.ip6_src.s6_addr, 16);
  add(ip.ip6_dst.s6_addr, 16);
  const uint8_t tail[8] = {
      0, 0, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size), 0, 0, 0, IPPROTO_ICMPV6};
  add(tail, 8);
  add(message, size);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(sum);
}

TEST(Announce, NeighbourAdvertisementOverridesFromTheAddressToAllNodes) {
  in6_addr address{};
  inet_pton(AF_INET6, "fe80::1", &address);
  const std::vector<uint8_t> frame = UnsolicitedNeighbourAdvertisement(kMac, address);
  ASSERT_EQ(frame.size(), 14u + 40u + 32u);
  const uint8_t all_nodes_mac[6] = {0x33, 0x33, 0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(frame.data(), all_nodes_mac, 6), 0);
  ip6_hdr ip{};
  std::memcpy(&ip, frame.data() + 14, sizeof ip);
  EXPECT_EQ(ip.ip6_nxt, IPPROTO_ICMPV6);
  EXPECT_EQ(ip.ip6_hlim, 255);
  EXPECT_EQ(ntohs(ip.ip6_plen), 32);
  EXPECT_EQ(std::memcmp(&ip.ip6_src, &address, 16), 0);
  const uint8_t* message = frame.data() + 14 + 40;
  nd_neighbor_advert advert{};
  std::memcpy(&advert, message, sizeof advert);
  EXPECT_EQ(advert.nd_na_type, ND_NEIGHBOR_ADVERT);
  EXPECT_EQ(advert.nd_na_flags_reserved, ND_NA_FLAG_OVERRIDE);
  EXPECT_EQ(std::memcmp(&advert.nd_na_target, &address, 16), 0);
  EXPECT_EQ(message[24], ND_OPT_TARGET_LINKADDR);
  EXPECT_EQ(std::memcmp(message + 26, kMac.data(), 6), 0);
  EXPECT_EQ(Sum(ip, message, 32), 0xffff);
}

}  // namespace
}  // namespace pairway::driver
