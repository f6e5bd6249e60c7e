// The data paths on a small LAN of namespaces (testing/topology.h): a client talks to the
// group across a switch while the test, standing for the daemon, moves the active member.
#include <arpa/inet.h>
#include <linux/if.h>
#include <net/ethernet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "back_ends.h"
#include "data_path.h"
#include "netlink/address.h"
#include "netlink/link.h"
#include "temp_root.h"
#include "topology.h"

namespace pairway::driver {
namespace {

using pairway::testing::Topology;
using pairway::testing::UdpEcho;
using namespace std::chrono_literals;

constexpr const char* kGroupAddress = "10.77.0.1";
constexpr uint16_t kEchoPort = 7007;

Ipv4Prefix Prefix(const char* address, unsigned length) {
  Ipv4Prefix prefix;
  inet_pton(AF_INET, address, &prefix.address);
  prefix.prefix_length = length;
  return prefix;
}

GroupSpec TwoMemberGroup() {
  GroupSpec spec;
  spec.group = "Team";
  spec.ifname = "g0";
  spec.members = {{"TREVAN2", "m0"}, {"TREVAN1", "m1"}};
  spec.addresses = {Prefix(kGroupAddress, 24)};
  return spec;
}

// The link of `ifname` as the host namespace has it; index 0 when it does not exist.
netlink::Link LinkIn(const Topology& topology, const std::string& ifname) {
  netlink::Link link;
  topology.host().Run([&] {
    netlink::Socket socket;
    if (socket.Open().ok()) (void)netlink::GetLink(socket, ifname, &link);
  });
  return link;
}

std::string Mac(const std::vector<uint8_t>& bytes) {
  char text[18] = {};
  if (bytes.size() == 6)
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2],
                  bytes[3], bytes[4], bytes[5]);
  return text;
}

class DataPathTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!topology_.ok()) GTEST_SKIP() << "no namespaces here: " << topology_.error();
    std::string error;
    topology_.host().Run([&] { path_ = MakeDataPath(GetParam(), root_.path(), &error); });
    if (!path_) GTEST_SKIP() << error;
  }

  void TearDown() override {
    if (path_) InHost([&] { path_->Destroy(); });
  }

  template <typename Body>
  void InHost(Body body) {
    ASSERT_TRUE(topology_.host().Run(body));
  }

  bool Create(const GroupSpec& spec, std::string* error) {
    bool made = false;
    topology_.host().Run([&] { made = path_->Create(spec, error); });
    return made;
  }

  bool SetActive(int index) {
    bool done = false;
    std::string error;
    topology_.host().Run([&] { done = path_->SetActive(index, &error); });
    EXPECT_TRUE(done) << error;
    return done;
  }

  // Every datagram of a short exchange answered exactly once.
  void ExpectEchoes(UdpEcho& echo, const char* when) {
    const UdpEcho::Result result = echo.Exchange(40, 2ms, 2s);
    EXPECT_EQ(result.answered, result.sent) << when;
    EXPECT_EQ(result.duplicated_answers, 0) << when;
    EXPECT_EQ(result.duplicated_requests, 0) << when;
  }

  Topology topology_{2};
  pairway::testing::TempRoot root_;
  std::unique_ptr<DataPath> path_;
};

TEST_P(DataPathTest, GroupKeepsAnsweringAcrossFailoverAndFailBack) {
  std::string error;
  ASSERT_TRUE(Create(TwoMemberGroup(), &error)) << error;
  ASSERT_TRUE(SetActive(0));
  UdpEcho echo(topology_, kGroupAddress, kEchoPort);
  ASSERT_TRUE(echo.ok()) << echo.error();
  ExpectEchoes(echo, "on the head");
  const std::string group_mac = Mac(LinkIn(topology_, "g0").address);
  EXPECT_EQ(topology_.PortOf(group_mac), "s0");

  ASSERT_TRUE(topology_.SetLink(0, false));
  ASSERT_TRUE(SetActive(1));
  ExpectEchoes(echo, "on the backup");
  EXPECT_EQ(topology_.PortOf(group_mac), "s1");

  ASSERT_TRUE(topology_.SetLink(0, true));
  ASSERT_TRUE(SetActive(0));
  // Before any answer left by the head, its announcement has moved the switch.
  EXPECT_EQ(topology_.PortOf(group_mac), "s0");
  ExpectEchoes(echo, "back on the head");
}

TEST_P(DataPathTest, ChangeOfMemberAnnouncesEveryAddressOfTheGroupToThePeer) {
  std::string error;
  ASSERT_TRUE(Create(TwoMemberGroup(), &error)) << error;
  ASSERT_EQ(topology_.host().Exec("ip addr add 2001:db8:77::1/64 dev g0 nodad"), 0);
  ASSERT_TRUE(SetActive(0));
  const int capture =
      pairway::testing::SocketIn(topology_.client(), AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
  ASSERT_GE(capture, 0);
  ASSERT_TRUE(SetActive(1));
  const std::vector<uint8_t> mac = LinkIn(topology_, "g0").address;
  in_addr v4{};
  inet_pton(AF_INET, kGroupAddress, &v4);
  in6_addr v6{};
  inet_pton(AF_INET6, "2001:db8:77::1", &v6);
  bool arp = false, advert = false;
  for (int round = 0; round < 20 && !(arp && advert); ++round) {
    pollfd ready{capture, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    uint8_t frame[1514];
    const ssize_t got = recv(capture, frame, sizeof frame, 0);
    if (got < 14 || std::memcmp(frame + 6, mac.data(), 6) != 0) continue;
    // ARP: the sender's address at 14 + 14; an advertisement: ICMPv6 136, target at 54 + 8.
    if (frame[12] == 0x08 && frame[13] == 0x06 && got >= 42)
      arp = arp || std::memcmp(frame + 28, &v4, 4) == 0;
    if (frame[12] == 0x86 && frame[13] == 0xdd && got >= 78 && frame[20] == IPPROTO_ICMPV6 &&
        frame[54] == 136)
      advert = advert || std::memcmp(frame + 62, &v6, 16) == 0;
  }
  close(capture);
  EXPECT_TRUE(arp);
  EXPECT_TRUE(advert);
}

TEST_P(DataPathTest, BackupTakesNothingInWhenTheSwitchFloodsEverything) {
  // With no learning, the bridge sends every frame to both members: only the active one may
  // pass it on, or the echo sees each datagram twice.
  ASSERT_EQ(topology_.switch_().Exec("ip link set br0 type bridge ageing_time 0"), 0);
  std::string error;
  ASSERT_TRUE(Create(TwoMemberGroup(), &error)) << error;
  ASSERT_TRUE(SetActive(0));
  UdpEcho echo(topology_, kGroupAddress, kEchoPort);
  ASSERT_TRUE(echo.ok()) << echo.error();
  ExpectEchoes(echo, "with m0 active");
  ASSERT_TRUE(SetActive(1));
  ExpectEchoes(echo, "with m1 active and m0 still up");
}

TEST_P(DataPathTest, GroupHasCarrierOnlyWhileAMemberIsActive) {
  std::string error;
  ASSERT_TRUE(Create(TwoMemberGroup(), &error)) << error;
  EXPECT_FALSE(LinkIn(topology_, "g0").carrier_up());
  ASSERT_TRUE(SetActive(1));
  EXPECT_TRUE(LinkIn(topology_, "g0").carrier_up());
  ASSERT_TRUE(SetActive(-1));
  EXPECT_FALSE(LinkIn(topology_, "g0").carrier_up());
  UdpEcho echo(topology_, kGroupAddress, kEchoPort);
  EXPECT_EQ(echo.Exchange(5, 2ms, 200ms).answered, 0);
  EXPECT_EQ(path_->Active(), -1);
}

TEST_P(DataPathTest, MembersHoldNothingOfTheirOwnWhileTheyAreMembers) {
  ASSERT_EQ(topology_.host().Exec("ip addr add 10.77.1.5/24 dev m0"), 0);
  std::string error;
  ASSERT_TRUE(Create(TwoMemberGroup(), &error)) << error;
  const netlink::Link group = LinkIn(topology_, "g0");
  InHost([&] {
    netlink::Socket socket;
    ASSERT_TRUE(socket.Open().ok());
    for (const char* member : {"m0", "m1"}) {
      std::vector<netlink::Address> addresses;
      ASSERT_TRUE(
          netlink::ListAddresses(socket, netlink::IndexOf(socket, member), AF_UNSPEC, &addresses)
              .ok());
      EXPECT_TRUE(addresses.empty()) << member;
    }
    std::vector<netlink::Address> on_group;
    ASSERT_TRUE(netlink::ListAddresses(socket, group.index, AF_INET, &on_group).ok());
    ASSERT_EQ(on_group.size(), 1u);
    EXPECT_EQ(on_group[0].ToString(), "10.77.0.1/24");
  });
  EXPECT_EQ(group.address, LinkIn(topology_, "m1").address);  // every member has the head's MAC
}

TEST_P(DataPathTest, SetAddressesReplacesTheGroupsIpv4Addresses) {
  std::string error;
  ASSERT_TRUE(Create(TwoMemberGroup(), &error)) << error;
  bool set = false;
  InHost([&] {
    set = path_->SetAddresses({Prefix("10.77.0.9", 24), Prefix("10.78.0.1", 16)}, &error);
  });
  ASSERT_TRUE(set) << error;
  std::string out;
  topology_.host().Exec("ip -4 -o addr show dev g0", &out);
  EXPECT_EQ(out.find("10.77.0.1/"), std::string::npos) << out;
  EXPECT_NE(out.find("10.77.0.9/24"), std::string::npos) << out;
  EXPECT_NE(out.find("10.78.0.1/16"), std::string::npos) << out;
}

TEST_P(DataPathTest, DestroyGivesTheMembersBackWhatTheyHad) {
  ASSERT_EQ(topology_.host().Exec("ip addr add 10.77.1.5/24 dev m0"), 0);
  ASSERT_EQ(topology_.host().Exec("ip addr add 2001:db8:1::5/64 dev m0 nodad"), 0);
  ASSERT_EQ(topology_.host().Exec("ip link set m1 down"), 0);
  std::string m0_before, m1_before;
  topology_.host().Exec("ip -o addr show dev m0 scope global", &m0_before);
  const netlink::Link m0 = LinkIn(topology_, "m0"), m1 = LinkIn(topology_, "m1");
  std::string error;
  ASSERT_TRUE(Create(TwoMemberGroup(), &error)) << error;
  ASSERT_TRUE(SetActive(0));
  InHost([&] { path_->Destroy(); });

  EXPECT_EQ(LinkIn(topology_, "g0").index, 0);
  std::string m0_after;
  topology_.host().Exec("ip -o addr show dev m0 scope global", &m0_after);
  EXPECT_EQ(m0_after, m0_before);
  EXPECT_EQ(LinkIn(topology_, "m0").address, m0.address);
  EXPECT_TRUE(LinkIn(topology_, "m0").flags & IFF_UP);
  EXPECT_EQ(LinkIn(topology_, "m1").address, m1.address);
  EXPECT_FALSE(LinkIn(topology_, "m1").flags & IFF_UP);
  std::string qdiscs;
  topology_.host().Exec("tc qdisc show", &qdiscs);
  EXPECT_EQ(qdiscs.find("clsact"), std::string::npos) << qdiscs;
  EXPECT_TRUE(std::filesystem::is_empty(root_.path()));
}

TEST_P(DataPathTest, CreateRefusesAMissingMemberAndChangesNothing) {
  ASSERT_EQ(topology_.host().Exec("ip addr add 10.77.1.5/24 dev m0"), 0);
  GroupSpec spec = TwoMemberGroup();
  spec.members[1].ifname = "m9";
  std::string error;
  EXPECT_FALSE(Create(spec, &error));
  EXPECT_NE(error.find("m9"), std::string::npos) << error;
  EXPECT_EQ(LinkIn(topology_, "g0").index, 0);
  std::string out;
  topology_.host().Exec("ip -4 -o addr show dev m0", &out);
  EXPECT_NE(out.find("10.77.1.5/24"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(root_.path()));
}

TEST_P(DataPathTest, CreateLeavesAnInterfaceOfTheGroupsNameAlone) {
  ASSERT_EQ(topology_.host().Exec("ip link add g0 type veth peer name theirs"), 0);
  const netlink::Link theirs = LinkIn(topology_, "g0");
  std::string error;
  EXPECT_FALSE(Create(TwoMemberGroup(), &error));
  EXPECT_NE(error.find("g0"), std::string::npos) << error;
  EXPECT_EQ(LinkIn(topology_, "g0").index, theirs.index);
  EXPECT_NE(LinkIn(topology_, "m0").address, theirs.address);
  EXPECT_TRUE(std::filesystem::is_empty(root_.path()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, DataPathTest, ::testing::Values("tc", "tap"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace pairway::driver
