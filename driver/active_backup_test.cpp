// The active-backup rules on a fake clock.
#include "active_backup.h"

#include <gtest/gtest.h>

namespace pairway::driver {
namespace {

// Head, then two backups in the order they take over.
ActiveBackup Group(std::vector<bool> links, uint32_t timeout_s) {
  return ActiveBackup(links, timeout_s, 0);
}

TEST(ActiveBackupTest, StartsOnTheHeadOrTheFirstBackupWithLinkOrNone) {
  EXPECT_EQ(Group({true, true, true}, 5).active(), 0);
  EXPECT_EQ(Group({false, false, true}, 5).active(), 2);
  EXPECT_EQ(Group({false, true, true}, 5).active(), 1);
  EXPECT_EQ(Group({false, false, false}, 5).active(), -1);
  EXPECT_EQ(Group({}, 5).active(), -1);
}

TEST(ActiveBackupTest, FailsOverOnlyOnceTheTimeOutHasPassedAndBackAfterTheHeadHeldUp) {
  ActiveBackup group = Group({true, true, true}, 2);
  group.SetLink(0, false, 1000);
  EXPECT_FALSE(group.Advance(2999));
  EXPECT_EQ(group.active(), 0);
  EXPECT_EQ(group.NextDeadline(), 3000);
  EXPECT_TRUE(group.Advance(3000));
  EXPECT_EQ(group.active(), 1);  // the first backup in order
  EXPECT_EQ(group.failovers(), 1u);

  group.SetLink(0, true, 4000);
  EXPECT_FALSE(group.Advance(5999));
  EXPECT_EQ(group.active(), 1);
  EXPECT_TRUE(group.Advance(6000));
  EXPECT_EQ(group.active(), 0);
  EXPECT_EQ(group.failbacks(), 1u);
  EXPECT_EQ(group.failovers(), 1u);
  EXPECT_EQ(group.link_changes(), 2u);
  EXPECT_EQ(group.NextDeadline(), std::nullopt);
}

TEST(ActiveBackupTest, AFlapShorterThanTheTimeOutMovesNothing) {
  ActiveBackup group = Group({true, true}, 3);
  group.SetLink(0, false, 1000);
  group.SetLink(0, true, 2500);
  EXPECT_FALSE(group.Advance(10000));
  EXPECT_EQ(group.active(), 0);
  EXPECT_EQ(group.failovers(), 0u);
  EXPECT_EQ(group.link_changes(), 2u);

  // The head's come-back has to hold for the whole time-out: a second drop restarts the wait.
  group.SetLink(0, false, 11000);
  EXPECT_TRUE(group.Advance(14000));
  group.SetLink(0, true, 15000);
  group.SetLink(0, false, 17000);
  group.SetLink(0, true, 17500);
  EXPECT_FALSE(group.Advance(20000));
  EXPECT_EQ(group.active(), 1);
  EXPECT_TRUE(group.Advance(20500));
  EXPECT_EQ(group.active(), 0);
}

TEST(ActiveBackupTest, TimeOutZeroActsAtOnceAndAHugeOneWaitsWithoutOverflow) {
  ActiveBackup now = Group({true, true}, 0);
  now.SetLink(0, false, 500);
  EXPECT_TRUE(now.Advance(500));
  EXPECT_EQ(now.active(), 1);
  now.SetLink(0, true, 600);
  EXPECT_TRUE(now.Advance(600));
  EXPECT_EQ(now.active(), 0);

  ActiveBackup slow = Group({true, true}, 999);
  slow.SetLink(0, false, 0);
  EXPECT_FALSE(slow.Advance(998999));
  EXPECT_TRUE(slow.Advance(999000));

  ActiveBackup largest = Group({true, true}, 0xFFFFFFFFu);
  largest.SetLink(0, false, 0);
  EXPECT_FALSE(largest.Advance(int64_t{1} << 40));
  EXPECT_EQ(largest.NextDeadline(), int64_t{0xFFFFFFFFu} * 1000);
}

TEST(ActiveBackupTest, NoLinkAnywhereTakesTheGroupDownUntilALinkComesBack) {
  ActiveBackup group = Group({true, false, false}, 1);
  group.SetLink(0, false, 0);
  EXPECT_TRUE(group.Advance(1000));
  EXPECT_EQ(group.active(), -1);
  EXPECT_EQ(group.failovers(), 0u);  // nothing took the traffic over
  EXPECT_EQ(group.NextDeadline(), std::nullopt);
  group.SetLink(2, true, 5000);
  EXPECT_EQ(group.NextDeadline(), 5000);
  EXPECT_TRUE(group.Advance(5000));  // at once: there is no traffic to keep anywhere
  EXPECT_EQ(group.active(), 2);
}

TEST(ActiveBackupTest, AWorkingBackupKeepsTheTrafficAgainstOtherBackupsButAFailedOneGoesToTheHead) {
  ActiveBackup group = Group({false, false, true}, 0);
  EXPECT_EQ(group.active(), 2);
  group.SetLink(1, true, 100);
  EXPECT_FALSE(group.Advance(5000));
  EXPECT_EQ(group.active(), 2);

  group.SetLink(0, true, 6000);  // the head is up, but not yet for the (new) time-out
  group.SetTimeout(10);
  group.SetLink(2, false, 6500);
  EXPECT_FALSE(group.Advance(16000));
  EXPECT_TRUE(group.Advance(16500));
  EXPECT_EQ(group.active(), 0);  // the head, first in order, not the other backup
  EXPECT_EQ(group.failovers(), 1u);
  EXPECT_EQ(group.failbacks(), 0u);
}

TEST(ActiveBackupTest, ANewTimeOutAppliesToTheWaitUnderWay) {
  ActiveBackup group = Group({true, true}, 60);
  group.SetLink(0, false, 1000);
  EXPECT_FALSE(group.Advance(5000));
  group.SetTimeout(2);  // the registry changed while the failover waited
  EXPECT_EQ(group.NextDeadline(), 3000);
  EXPECT_TRUE(group.Advance(5000));
  EXPECT_EQ(group.active(), 1);
}

TEST(ActiveBackupTest, RepeatedReportsAndUnknownMembersAreNoChanges) {
  ActiveBackup group = Group({true, true}, 0);
  group.SetLink(1, true, 10);
  group.SetLink(7, false, 10);
  EXPECT_EQ(group.link_changes(), 0u);
  EXPECT_FALSE(group.Advance(20));
}

}  // namespace
}  // namespace pairway::driver
