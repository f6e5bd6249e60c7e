// The calls against a real kernel, in a network namespace each test makes and removes.
#include <arpa/inet.h>
#include <linux/if.h>
#include <linux/if_bonding.h>
#include <linux/rtnetlink.h>
#include <poll.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "netlink/address.h"
#include "netlink/link.h"
#include "netlink/socket.h"
#include "netlink/tc.h"
#include "test_netns.h"

namespace pairway::netlink {
namespace {

using pairway::testing::TestNamespace;

const std::vector<uint8_t> kMac = {0x02, 0x00, 0x00, 0x00, 0x0a, 0x07};

// A namespace with an open socket inside it; Inside() runs a test body there.
class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!netns_.ok()) GTEST_SKIP() << "no network namespace can be made here: " << netns_.error();
  }

  template <typename Body>
  void Inside(Body body) {
    ASSERT_TRUE(netns_.Run([&] {
      Socket socket;
      ASSERT_TRUE(socket.Open().ok());
      body(socket);
    }));
  }

  // What `tc filter show` says of one hook, for checking what the kernel holds.
  std::string Filters(const std::string& device, const char* hook) {
    std::string out;
    netns_.Exec("tc filter show dev " + device + " " + hook, &out);
    return out;
  }

  TestNamespace netns_;
};

// va <-> vb, both down.
Link MakePair(Socket& socket, const char* name = "va", const char* peer = "vb") {
  Link link;
  EXPECT_TRUE(CreateVeth(socket, name, peer).ok());
  EXPECT_TRUE(GetLink(socket, name, &link).ok());
  return link;
}

TEST_F(KernelTest, VethIsReadBackByNameAndByIndex) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    EXPECT_GT(va.index, 0);
    EXPECT_EQ(va.kind, "veth");
    EXPECT_FALSE(va.flags & IFF_UP);
    EXPECT_TRUE(va.has_stats);
    Link vb;
    ASSERT_TRUE(GetLink(socket, "vb", &vb).ok());
    EXPECT_EQ(va.link, vb.index);  // each end names its peer
    Link by_index;
    ASSERT_TRUE(GetLink(socket, va.index, &by_index).ok());
    EXPECT_EQ(by_index.name, "va");
    std::vector<Link> all;
    ASSERT_TRUE(ListLinks(socket, &all).ok());
    EXPECT_EQ(all.size(), 3u);  // lo, va, vb
  });
}

TEST_F(KernelTest, MissingInterfaceIsEnodevAndLeavesTheLinkUntouched) {
  Inside([&](Socket& socket) {
    Link link;
    link.name = "kept";
    EXPECT_EQ(GetLink(socket, "nosuch0", &link).code(), ENODEV);
    EXPECT_EQ(GetLink(socket, "a-name-longer-than-fifteen", &link).code(), ENODEV);
    EXPECT_EQ(GetLink(socket, "", &link).code(), ENODEV);
    EXPECT_EQ(link.name, "kept");
    EXPECT_EQ(IndexOf(socket, "nosuch0"), 0);
    EXPECT_EQ(SetLinkUp(socket, 9999, true).code(), ENODEV);
  });
}

TEST_F(KernelTest, CarrierFollowsThePeersUpState) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    ASSERT_TRUE(SetLinkUp(socket, va.index, true).ok());
    Link now;
    ASSERT_TRUE(GetLink(socket, va.index, &now).ok());
    EXPECT_FALSE(now.carrier_up());
    ASSERT_TRUE(SetLinkUp(socket, va.link, true).ok());
    ASSERT_TRUE(GetLink(socket, va.index, &now).ok());
    EXPECT_TRUE(now.carrier_up());
    EXPECT_EQ(now.operstate, IF_OPER_UP);
  });
}

TEST_F(KernelTest, AddressNameFlagsAndMasterChangesAreSeen) {
  ASSERT_EQ(netns_.Exec("ip link add br0 type bridge"), 0);
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    ASSERT_TRUE(SetLinkAddress(socket, va.index, kMac).ok());
    ASSERT_TRUE(SetLinkFlags(socket, va.index, IFF_ALLMULTI, IFF_ALLMULTI).ok());
    ASSERT_TRUE(SetLinkName(socket, va.index, "renamed").ok());
    const int bridge = IndexOf(socket, "br0");
    ASSERT_TRUE(SetLinkMaster(socket, va.index, bridge).ok());
    Link now;
    ASSERT_TRUE(GetLink(socket, "renamed", &now).ok());
    EXPECT_EQ(now.index, va.index);
    EXPECT_EQ(now.address, kMac);
    EXPECT_TRUE(now.flags & IFF_ALLMULTI);
    EXPECT_EQ(now.master, bridge);
    EXPECT_EQ(GetLink(socket, "va", &now).code(), ENODEV);
    ASSERT_TRUE(SetLinkMaster(socket, va.index, 0).ok());
    ASSERT_TRUE(GetLink(socket, va.index, &now).ok());
    EXPECT_EQ(now.master, 0);
  });
}

TEST_F(KernelTest, DeletingOneEndOfAPairDeletesBoth) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    ASSERT_TRUE(DeleteLink(socket, va.index).ok());
    EXPECT_EQ(IndexOf(socket, "vb"), 0);
    EXPECT_EQ(DeleteLink(socket, va.index).code(), ENODEV);
  });
}

TEST_F(KernelTest, MakingWhatExistsIsEexistWithTheKernelsWords) {
  Inside([&](Socket& socket) {
    MakePair(socket);
    const Status again = CreateVeth(socket, "va", "vc");
    EXPECT_EQ(again.code(), EEXIST);
    EXPECT_NE(again.text().find("making veth pair va/vc"), std::string::npos) << again.text();
  });
}

TEST_F(KernelTest, LinkNotificationReportsACarrierLossAtOnce) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    ASSERT_TRUE(SetLinkUp(socket, va.index, true).ok());
    ASSERT_TRUE(SetLinkUp(socket, va.link, true).ok());
    Socket events;
    ASSERT_TRUE(events.Open().ok());
    ASSERT_TRUE(events.Subscribe(RTNLGRP_LINK).ok());
    ASSERT_TRUE(SetLinkUp(socket, va.link, false).ok());  // the peer goes: va loses carrier
    bool lost = false;
    for (int round = 0; round < 50 && !lost; ++round) {
      pollfd ready{events.fd(), POLLIN, 0};
      ASSERT_GE(poll(&ready, 1, 100), 0);
      ASSERT_TRUE(events
                      .ReadNotifications([&](const nlmsghdr* message) {
                        Link link;
                        if (ParseLink(message, &link) && link.index == va.index &&
                            !link.carrier_up())
                          lost = true;
                      })
                      .ok());
    }
    EXPECT_TRUE(lost);
    // Nothing pending: reading again returns at once.
    EXPECT_TRUE(events.ReadNotifications({}).ok());
  });
}

TEST_F(KernelTest, AddressesAreAddedListedAndDeletedInBothFamilies) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    in_addr v4{};
    inet_pton(AF_INET, "10.9.0.1", &v4);
    in6_addr v6{};
    inet_pton(AF_INET6, "2001:db8::1", &v6);
    Address four = Address::Ipv4(va.index, v4, 24);
    Address six = Address::Ipv6(va.index, v6, 64);
    six.flags = IFA_F_NODAD;
    ASSERT_TRUE(AddAddress(socket, four).ok());
    ASSERT_TRUE(AddAddress(socket, six).ok());
    EXPECT_EQ(AddAddress(socket, four).code(), EEXIST);

    std::vector<Address> listed;
    ASSERT_TRUE(ListAddresses(socket, va.index, AF_UNSPEC, &listed).ok());
    ASSERT_EQ(listed.size(), 2u);  // the link-local one comes only when va is up
    EXPECT_EQ(listed[0].ToString(), "10.9.0.1/24");
    EXPECT_EQ(listed[1].ToString(), "2001:db8::1/64");
    EXPECT_TRUE(listed[0].flags & IFA_F_PERMANENT);
    ASSERT_TRUE(ListAddresses(socket, va.index, AF_INET6, &listed).ok());
    EXPECT_EQ(listed.size(), 1u);

    ASSERT_TRUE(DeleteAddress(socket, four).ok());
    EXPECT_EQ(DeleteAddress(socket, four).code(), EADDRNOTAVAIL);
    ASSERT_TRUE(ListAddresses(socket, va.index, AF_INET, &listed).ok());
    EXPECT_TRUE(listed.empty());
  });
}

TEST_F(KernelTest, RedirectIsMadeThenRetargetedInPlace) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    const Link vc = MakePair(socket, "vc", "vd");
    EXPECT_TRUE(AddClsact(socket, va.index).ok());
    EXPECT_EQ(AddClsact(socket, va.index).code(), EEXIST);
    uint32_t handle = 0;
    ASSERT_TRUE(
        SetRedirectFilter(socket, va.index, Hook::kEgress, 1, va.link, Hook::kEgress, &handle)
            .ok());
    EXPECT_NE(handle, 0u);
    EXPECT_NE(Filters("va", "egress").find("Egress Redirect to device vb"), std::string::npos);
    const uint32_t made = handle;
    ASSERT_TRUE(
        SetRedirectFilter(socket, va.index, Hook::kEgress, 1, vc.index, Hook::kIngress, &handle)
            .ok());
    EXPECT_EQ(handle, made);
    const std::string now = Filters("va", "egress");
    EXPECT_NE(now.find("Ingress Redirect to device vc"), std::string::npos) << now;
    EXPECT_EQ(now.find("device vb"), std::string::npos) << now;  // replaced, not added
  });
}

TEST_F(KernelTest, RedirectToAMissingInterfaceFailsAndKeepsTheHandle) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    ASSERT_TRUE(AddClsact(socket, va.index).ok());
    uint32_t handle = 0;
    EXPECT_FALSE(
        SetRedirectFilter(socket, va.index, Hook::kEgress, 1, 9999, Hook::kEgress, &handle).ok());
    EXPECT_EQ(handle, 0u);
  });
}

TEST_F(KernelTest, DropFilterIsAddedAndDeletedByPriority) {
  Inside([&](Socket& socket) {
    const Link va = MakePair(socket);
    ASSERT_TRUE(AddClsact(socket, va.index).ok());
    ASSERT_TRUE(AddDropFilter(socket, va.index, Hook::kIngress, 2).ok());
    EXPECT_NE(Filters("va", "ingress").find("pref 2"), std::string::npos);
    ASSERT_TRUE(DeleteFilter(socket, va.index, Hook::kIngress, 2).ok());
    EXPECT_EQ(Filters("va", "ingress"), "");
    EXPECT_EQ(DeleteFilter(socket, va.index, Hook::kIngress, 2).code(), ENOENT);
    ASSERT_TRUE(DeleteClsact(socket, va.index).ok());
  });
}

TEST_F(KernelTest, BondIsMadeActiveBackupWhereTheKernelHasBonding) {
  Inside([&](Socket& socket) {
    BondSettings settings;
    settings.name = "bd0";
    settings.address = kMac;
    const Status made = CreateBond(socket, settings);
    if (made.code() == EOPNOTSUPP) GTEST_SKIP() << "this kernel has no bonding: " << made.text();
    ASSERT_TRUE(made.ok()) << made.text();
    const Link va = MakePair(socket);
    ASSERT_TRUE(SetLinkMaster(socket, va.index, IndexOf(socket, "bd0")).ok());
    ASSERT_TRUE(SetBondPrimary(socket, IndexOf(socket, "bd0"), va.index).ok());
    Link bond;
    ASSERT_TRUE(GetLink(socket, "bd0", &bond).ok());
    EXPECT_EQ(bond.kind, "bond");
    EXPECT_EQ(bond.bond.mode, BOND_MODE_ACTIVEBACKUP);
    EXPECT_EQ(bond.bond.miimon_ms, 100u);
    EXPECT_EQ(bond.bond.primary, va.index);
  });
}

}  // namespace
}  // namespace pairway::netlink
