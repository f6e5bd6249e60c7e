// The interface link watch in a namespace: what it reports as interfaces lose their carrier,
// go away and come back.
#include <poll.h>

#include <gtest/gtest.h>

#include <vector>

#include "link_watch.h"
#include "test_netns.h"

namespace pairway::driver {
namespace {

using pairway::testing::TestNamespace;

class LinkWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!netns_.ok()) GTEST_SKIP() << "no network namespace can be made here: " << netns_.error();
    ASSERT_EQ(netns_.Exec("sh -c 'ip link add va type veth peer name vb && ip link set va up && "
                          "ip link set vb up'"),
              0);
    std::string error;
    netns_.Run([&] { watch_ = MakeInterfaceLinkWatch(&error); });
    ASSERT_TRUE(watch_) << error;
  }

  // Dispatches until `count` changes came or `rounds` tenths of a second passed. The kernel
  // sends its notifications before `ip` returns, so a few rounds show that none is coming.
  std::vector<LinkChange> Collect(size_t count, int rounds = 50) {
    std::vector<LinkChange> changes;
    for (int round = 0; round < rounds && changes.size() < count; ++round) {
      pollfd ready{watch_->fd(), POLLIN, 0};
      poll(&ready, 1, 100);
      watch_->Dispatch([&](const LinkChange& change) { changes.push_back(change); });
    }
    return changes;
  }

  TestNamespace netns_;
  std::unique_ptr<LinkWatch> watch_;
};

TEST_F(LinkWatchTest, CarrierLossAndReturnAreReportedAsTheyHappen) {
  EXPECT_EQ(watch_->Watch("va"), std::optional<bool>(true));
  ASSERT_EQ(netns_.Exec("ip link set vb down"), 0);  // va keeps IFF_UP but loses its carrier
  std::vector<LinkChange> changes = Collect(1);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].key, "va");
  EXPECT_FALSE(changes[0].up);
  EXPECT_FALSE(changes[0].gone);
  ASSERT_EQ(netns_.Exec("ip link set vb up"), 0);
  changes = Collect(1);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_TRUE(changes[0].up);
}

TEST_F(LinkWatchTest, LeavingABridgeIsNoDisappearance) {
  ASSERT_EQ(netns_.Exec("ip link add brw type bridge"), 0);
  ASSERT_EQ(netns_.Exec("ip link set va master brw"), 0);
  EXPECT_EQ(watch_->Watch("va"), std::optional<bool>(true));
  ASSERT_EQ(netns_.Exec("ip link set va nomaster"), 0);
  EXPECT_TRUE(Collect(1, 5).empty());
  ASSERT_EQ(netns_.Exec("ip link del va"), 0);
  // va, which was up, may first be reported down as the kernel closes it.
  std::vector<LinkChange> changes = Collect(2, 10);
  ASSERT_FALSE(changes.empty());
  EXPECT_TRUE(changes.back().gone);
}

TEST_F(LinkWatchTest, ChangesThatLeaveTheStateAloneAreNotReported) {
  watch_->Watch("va");
  ASSERT_EQ(netns_.Exec("sh -c 'ip link set va mtu 1400 && ip link set va address "
                        "02:00:00:00:0a:09 && ip link set vb down'"),
            0);
  // The MTU and MAC changes come first; only the carrier loss after them is a change.
  const std::vector<LinkChange> changes = Collect(2, 3);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_FALSE(changes[0].up);
}

TEST_F(LinkWatchTest, DeletedRenamedAndMovedAwayAreGone) {
  ASSERT_EQ(netns_.Exec("sh -c 'ip link add vc type veth peer name vd && "
                        "ip link add ve type veth peer name vf'"),
            0);
  TestNamespace elsewhere;
  ASSERT_TRUE(elsewhere.ok());
  for (const char* key : {"va", "vc", "ve"}) watch_->Watch(key);
  ASSERT_EQ(netns_.Exec("ip link del va"), 0);
  ASSERT_EQ(netns_.Exec("ip link set vc name vz"), 0);
  ASSERT_EQ(netns_.Exec("ip link set ve netns " + elsewhere.name()), 0);
  // va, which was up, may first be reported down as the kernel closes it.
  std::vector<std::string> gone;
  for (const LinkChange& change : Collect(4)) {
    EXPECT_FALSE(change.up) << change.key;
    if (change.gone) gone.push_back(change.key);
  }
  EXPECT_EQ(gone, (std::vector<std::string>{"va", "vc", "ve"}));
}

TEST_F(LinkWatchTest, AnInterfaceThatComesIntoBeingIsReported) {
  EXPECT_EQ(watch_->Watch("vx"), std::nullopt);
  ASSERT_EQ(netns_.Exec("sh -c 'ip link add vx type veth peer name vy && ip link set vx up && "
                        "ip link set vy up'"),
            0);
  const std::vector<LinkChange> changes = Collect(2);
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.front().key, "vx");
  EXPECT_FALSE(changes.front().gone);
  EXPECT_TRUE(changes.back().up);  // down when made, up with its peer
}

TEST_F(LinkWatchTest, UnwatchedKeysAreNotReported) {
  watch_->Watch("va");
  watch_->Unwatch("va");
  ASSERT_EQ(netns_.Exec("ip link set vb down"), 0);
  EXPECT_TRUE(Collect(1, 3).empty());
}

}  // namespace
}  // namespace pairway::driver
