// pairwayctl and the driver's failover: show and watch give what a running driver published for
// each group, and say so plainly when no driver runs or its state cannot be read. The driver is
// faked by this test, which publishes through the driver's own StatePublisher.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "child_process.h"
#include "failover_state.h"
#include "four_port_root.h"

namespace {

using Json = nlohmann::json;
using pairway::driver::FailoverState;
using pairway::driver::GroupStatus;
using pairway::driver::MemberLink;
using pairway::driver::MemberRole;
using pairway::driver::StatePublisher;

class PairwayctlFailoverTest : public pairwayctl_test::FourPortRootTest {
 protected:
  void SetUp() override {
    FourPortRootTest::SetUp();
    std::string out;
    // TREVAN3 is the primary: the highest-numbered port of the group.
    ASSERT_EQ(Ctl("--yes group create Uplink 1 2 3", &out), 0) << out;
  }

  // The group as a driver runs it with TREVAN3 active and every link up.
  static GroupStatus Uplink() {
    GroupStatus group;
    group.name = "Uplink";
    group.head = "TREVAN3";
    group.backend = "emulated";
    group.active = "TREVAN3";
    group.link_check_timeout_s = 10;
    group.up = true;
    group.members = {{"TREVAN3", "", MemberRole::kPrimary, MemberLink::kUp, true},
                     {"TREVAN2", "", MemberRole::kBackup, MemberLink::kUp, false},
                     {"TREVAN1", "", MemberRole::kBackup, MemberLink::kUp, false}};
    return group;
  }

  // Starts the fake driver (holds the root's driver lock) and publishes `groups`.
  void Publish(const std::vector<GroupStatus>& groups,
               const std::vector<pairway::driver::RejectedPort>& rejected = {}) {
    std::string error;
    if (!driver_) driver_ = StatePublisher::Claim(root_.path(), &error);
    ASSERT_TRUE(driver_) << error;
    FailoverState state;
    state.pid = getpid();
    state.started = 1700000000;
    state.updated = 1700000000123;
    state.groups = groups;
    state.rejected = rejected;
    ASSERT_TRUE(driver_->Publish(state, &error)) << error;
  }

  Json ShowJson() {
    std::string out;
    EXPECT_EQ(Tool("pairwayctl", "show --json", &out, false), 0);
    Json json = Json::parse(out, nullptr, false);
    EXPECT_FALSE(json.is_discarded()) << out;
    return json;
  }

  std::unique_ptr<StatePublisher> driver_;
};

TEST_F(PairwayctlFailoverTest, ShowGivesWhatTheRunningDriverPublished) {
  GroupStatus group = Uplink();
  group.interface = "Uplink";
  group.backend = "tc";
  group.active = "TREVAN2";
  group.failovers = 2;
  group.failbacks = 1;
  group.link_changes = 5;
  group.addresses = {"10.0.0.5/24"};
  group.members[0].link = MemberLink::kDown;
  group.members[0].active = false;
  group.members[1].active = true;
  group.members[2].link = MemberLink::kMissing;
  Publish({group}, {{"TREVAN4", "\"PrimaryIndex\" 9 names no primary"}});

  Json show = ShowJson();
  EXPECT_EQ(show["driver"]["running"], true);
  EXPECT_EQ(show["driver"]["state"], "running");
  EXPECT_EQ(show["driver"]["pid"], getpid());
  EXPECT_EQ(show["driver"]["updated"], 1700000000123);
  ASSERT_EQ(show["driver"]["rejected"].size(), 1u);
  EXPECT_EQ(show["driver"]["rejected"][0]["port"], "TREVAN4");
  const Json& uplink = show["groups"][0];
  EXPECT_EQ(uplink["name"], "Uplink");  // the configuration's keys stay as they were
  EXPECT_EQ(uplink["primary"], "TREVAN3");
  EXPECT_EQ(uplink["interface"], "Uplink");
  EXPECT_EQ(uplink["backend"], "tc");
  EXPECT_EQ(uplink["state"], "up");
  EXPECT_EQ(uplink["active"], "TREVAN2");
  EXPECT_EQ(uplink["failovers"], 2);
  EXPECT_EQ(uplink["failbacks"], 1);
  EXPECT_EQ(uplink["link_changes"], 5);
  EXPECT_EQ(uplink["addresses"], Json::array({"10.0.0.5/24"}));
  ASSERT_EQ(uplink["members"].size(), 3u);
  EXPECT_EQ(uplink["members"][0], Json({{"port", "TREVAN3"},
                                        {"interface", nullptr},
                                        {"role", "primary"},
                                        {"link", "down"},
                                        {"active", false}}));
  EXPECT_EQ(uplink["members"][1]["active"], true);
  EXPECT_EQ(uplink["members"][2]["link"], "missing");

  std::string table;
  ASSERT_EQ(Ctl("show", &table), 0);
  EXPECT_NE(table.find("FAILOVER (driver TREVAN, pid " + std::to_string(getpid()) + ")"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("TREVAN3:down TREVAN2:up* TREVAN1:missing"), std::string::npos) << table;
  EXPECT_NE(table.find("the driver leaves TREVAN4 alone: \"PrimaryIndex\" 9 names no primary"),
            std::string::npos)
      << table;
}

TEST_F(PairwayctlFailoverTest, NoDriverADamagedStateAndAGroupTheDriverDoesNotRun) {
  // Never started.
  Json show = ShowJson();
  EXPECT_EQ(show["driver"]["running"], false);
  EXPECT_EQ(show["driver"]["pid"], nullptr);
  EXPECT_EQ(show["groups"][0]["active"], nullptr);
  EXPECT_EQ(show["groups"][0]["failovers"], nullptr);
  EXPECT_EQ(show["groups"][0]["members"], Json::array());
  std::string table;
  ASSERT_EQ(Ctl("show", &table), 0);
  EXPECT_NE(table.find("FAILOVER: driver not running"), std::string::npos) << table;

  // A driver that runs a group of other ports only: this group is not run by it.
  GroupStatus other = Uplink();
  other.head = "TREVAN4";
  other.name = "Other";
  Publish({other});
  show = ShowJson();
  EXPECT_EQ(show["driver"]["running"], true);
  EXPECT_EQ(show["groups"][0]["state"], nullptr);
  ASSERT_EQ(Ctl("show", &table), 0);
  EXPECT_NE(table.find("Uplink               (not run by the driver)"), std::string::npos) << table;

  // A state file that is not a whole publication reads as damaged, not as figures.
  std::ofstream(pairway::driver::FailoverStatePath(root_.path()), std::ios::trunc)
      << "pairway-failover-state 1\ngroup\tname=Uplink\thead=TREVAN3\n";
  show = ShowJson();
  EXPECT_EQ(show["driver"]["state"], "damaged");
  EXPECT_EQ(show["groups"][0]["active"], nullptr);
  ASSERT_EQ(Ctl("show", &table), 0);
  EXPECT_NE(table.find("the driver runs, but its state cannot be read"), std::string::npos)
      << table;

  // The driver ends: its figures go with it.
  driver_.reset();
  EXPECT_EQ(ShowJson()["driver"]["running"], false);
}

TEST_F(PairwayctlFailoverTest, WatchShowsEachFailoverAsItHappens) {
  Publish({Uplink()});
  pairway::testing::ChildProcess watch(
      {(pairway::testing::BuildDir() / "bin" / "pairwayctl").string(), "watch"});
  ASSERT_TRUE(watch.ok());
  constexpr std::chrono::seconds kPatience(20);
  // The first refresh: the group's row names its active port.
  ASSERT_NE(watch.WaitForLine("PORT / GROUP", kPatience), "");
  std::string row = watch.WaitForLine("Uplink", kPatience);
  EXPECT_NE(row.find("TREVAN3"), std::string::npos) << row;

  GroupStatus failed = Uplink();
  failed.active = "TREVAN2";
  failed.failovers = 1;
  failed.link_changes = 1;
  Publish({failed});
  std::string line = watch.WaitForLine("Uplink: active port", kPatience);
  EXPECT_NE(line.find("Uplink: active port TREVAN3 -> TREVAN2 (failovers 1, failbacks 0"),
            std::string::npos)
      << line;

  GroupStatus back = Uplink();
  back.failovers = 1;
  back.failbacks = 1;
  back.link_changes = 2;
  Publish({back});
  line = watch.WaitForLine("Uplink: active port", kPatience);
  EXPECT_NE(line.find("Uplink: active port TREVAN2 -> TREVAN3 (failovers 1, failbacks 1"),
            std::string::npos)
      << line;

  // A failover and its fail-back between two refreshes leave the active port as it was; the
  // counts still tell.
  GroupStatus again = back;
  again.failovers = 2;
  again.failbacks = 2;
  again.link_changes = 4;
  Publish({again});
  line = watch.WaitForLine("Uplink: active port", kPatience);
  EXPECT_NE(line.find("Uplink: active port TREVAN3 again (failovers 2, failbacks 2"),
            std::string::npos)
      << line;

  GroupStatus down = again;
  down.up = false;
  down.active.clear();
  down.failovers = 3;
  Publish({down});
  line = watch.WaitForLine("Uplink: active port", kPatience);
  EXPECT_NE(line.find("TREVAN3 -> - (failovers 3"), std::string::npos) << line;
  EXPECT_NE(line.find("group down"), std::string::npos) << line;

  driver_.reset();
  EXPECT_NE(watch.WaitForLine("driver not running", kPatience), "");
  watch.Signal(SIGTERM);
  int status = watch.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
