// The published failover state: what readers get from a running, stopped, killed or damaged
// driver, and that every value survives the text form.
#include "failover_state.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "temp_root.h"

namespace pairway::driver {
namespace {

FailoverState SampleState() {
  FailoverState state;
  state.pid = getpid();
  state.started = 1700000000;
  state.updated = 1700000000123;
  GroupStatus group;
  group.name = "Fast\tlane \\ 2\n";  // a name no sheet writes, but the registry can hold
  group.head = "TREVAN3";
  group.interface = "Fast_lane_2";
  group.backend = "tc";
  group.active = "TREVAN1";
  group.link_check_timeout_s = 999;
  group.up = true;
  group.failovers = 3;
  group.failbacks = 2;
  group.link_changes = 18446744073709551615ull;
  group.addresses = {"192.168.1.10/24", "10.0.0.1/8"};
  group.members = {{"TREVAN3", "veth3", MemberRole::kPrimary, MemberLink::kDown, false},
                   {"TREVAN1", "veth1", MemberRole::kBackup, MemberLink::kUp, true},
                   {"TREVAN2", "", MemberRole::kBackup, MemberLink::kMissing, false}};
  state.groups.push_back(group);
  GroupStatus down;
  down.head = "TREVAN7";
  down.backend = "emulated";
  down.members = {{"TREVAN7", "", MemberRole::kPrimary, MemberLink::kDown, false}};
  state.groups.push_back(down);
  state.rejected = {{"TREVAN5", "\"PrimaryIndex\" 9 names no primary"}};
  return state;
}

void ExpectSame(const FailoverState& a, const FailoverState& b) {
  EXPECT_EQ(FormatFailoverState(a), FormatFailoverState(b));
  ASSERT_EQ(a.groups.size(), b.groups.size());
  EXPECT_EQ(a.groups[0].name, b.groups[0].name);
  EXPECT_EQ(a.groups[0].addresses, b.groups[0].addresses);
  EXPECT_EQ(a.groups[0].link_changes, b.groups[0].link_changes);
  ASSERT_EQ(a.groups[0].members.size(), b.groups[0].members.size());
  EXPECT_EQ(a.groups[0].members[2].link, b.groups[0].members[2].link);
}

TEST(FailoverStateText, EveryValueSurvivesFormatAndParse) {
  FailoverState parsed;
  ASSERT_TRUE(ParseFailoverState(FormatFailoverState(SampleState()), &parsed));
  ExpectSame(SampleState(), parsed);
  EXPECT_TRUE(parsed.groups[1].addresses.empty());
  EXPECT_FALSE(parsed.groups[1].up);
}

TEST(FailoverStateText, FieldsAndRecordsOfANewerDriverAreSkipped) {
  std::string text = FormatFailoverState(SampleState());
  size_t group = text.find("group\t");
  text.insert(text.find('\n', group), "\tspeed=1000");
  text.insert(group, "bridge\tname=x\n");
  FailoverState parsed;
  ASSERT_TRUE(ParseFailoverState(text, &parsed));
  ExpectSame(SampleState(), parsed);
}

TEST(FailoverStateText, DamagedTextsAreRejectedAndLeaveNothing) {
  const std::string good = FormatFailoverState(SampleState());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string damaged[] = {
      good.substr(0, good.size() - 4),      // cut before the end line
      good.substr(0, good.size() - 1),      // the end line without its line feed
      good.substr(0, good.find("member")),  // cut between records
      replaced("pairway-failover-state 1", "pairway-failover-state 2"),
      replaced("role=backup", "role=spare"),
      replaced("link=missing", "link="),
      replaced("active=1", "active=2"),
      replaced("failovers=3", "failovers=3x"),
      replaced("timeout=999", "timeout=4294967296"),
      replaced("pid=", "pid"),
      replaced("Fast\\t", "Fast\\q"),
      good + "group\tname=late\n",  // after the end line
      "pairway-failover-state 1\nmember\tport=TREVAN1\tinterface=\trole=backup\tlink=up\t"
      "active=0\nend\n",  // a member of no group
      "",
  };
  for (const std::string& text : damaged) {
    FailoverState parsed = SampleState();
    EXPECT_FALSE(ParseFailoverState(text, &parsed)) << text;
    EXPECT_TRUE(parsed.groups.empty());
    EXPECT_EQ(parsed.pid, 0);
  }
}

TEST(FailoverStateFile, NoDriverEverStartedReadsAsNoDriver) {
  testing::TempRoot root;
  FailoverState state = SampleState();
  EXPECT_EQ(ReadFailoverState(root.path(), &state), StateRead::kNoDriver);
  EXPECT_TRUE(state.groups.empty());
}

TEST(FailoverStateFile, ARunningDriverIsReadAndAStoppedOneLeavesNothing) {
  testing::TempRoot root;
  FailoverState state;
  {
    std::string error;
    auto publisher = StatePublisher::Claim(root.path(), &error);
    ASSERT_NE(publisher, nullptr) << error;
    EXPECT_EQ(ReadFailoverState(root.path(), &state), StateRead::kOk);
    EXPECT_EQ(state.pid, 0) << "nothing published yet";
    ASSERT_TRUE(publisher->Publish(SampleState(), &error)) << error;
    ASSERT_EQ(ReadFailoverState(root.path(), &state), StateRead::kOk);
    ExpectSame(SampleState(), state);
  }
  EXPECT_FALSE(std::filesystem::exists(FailoverStatePath(root.path())));
  EXPECT_EQ(ReadFailoverState(root.path(), &state), StateRead::kNoDriver);
}

TEST(FailoverStateFile, ASecondDriverOfTheRootIsRefused) {
  testing::TempRoot root;
  std::string error;
  auto first = StatePublisher::Claim(root.path(), &error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(StatePublisher::Claim(root.path(), &error), nullptr);
  EXPECT_NE(error.find("another driver"), std::string::npos) << error;
}

TEST(FailoverStateFile, AKilledDriversLastFileIsNotShownAsLive) {
  testing::TempRoot root;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string error;
    auto publisher = StatePublisher::Claim(root.path(), &error);
    FailoverState state = SampleState();
    state.pid = getpid();
    if (publisher == nullptr || !publisher->Publish(state, &error)) _exit(1);
    _exit(0);  // as if killed: no destructor runs, the file stays, the lock goes with the process
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(std::filesystem::exists(FailoverStatePath(root.path())));
  FailoverState state;
  EXPECT_EQ(ReadFailoverState(root.path(), &state), StateRead::kNoDriver);

  // The next driver's claim makes the old file go before anyone could take it for its own.
  std::string error;
  auto next = StatePublisher::Claim(root.path(), &error);
  ASSERT_NE(next, nullptr) << error;
  ASSERT_EQ(ReadFailoverState(root.path(), &state), StateRead::kOk);
  EXPECT_TRUE(state.groups.empty());
}

TEST(FailoverStateFile, AFileOfAnEarlierDriverReadsAsNotYetPublished) {
  testing::TempRoot root;
  std::string error;
  auto publisher = StatePublisher::Claim(root.path(), &error);
  ASSERT_NE(publisher, nullptr) << error;
  FailoverState earlier = SampleState();
  earlier.pid = getpid() + 1;
  std::ofstream(FailoverStatePath(root.path())) << FormatFailoverState(earlier);
  FailoverState state;
  ASSERT_EQ(ReadFailoverState(root.path(), &state), StateRead::kOk);
  EXPECT_TRUE(state.groups.empty());
}

TEST(FailoverStateFile, ADamagedFileOfARunningDriverReadsAsDamaged) {
  testing::TempRoot root;
  std::string error;
  auto publisher = StatePublisher::Claim(root.path(), &error);
  ASSERT_NE(publisher, nullptr) << error;
  ASSERT_TRUE(publisher->Publish(SampleState(), &error)) << error;
  std::string text = FormatFailoverState(SampleState());
  text[text.find("role=") + 5] = '#';
  std::ofstream(FailoverStatePath(root.path())) << text;
  FailoverState state = SampleState();
  EXPECT_EQ(ReadFailoverState(root.path(), &state), StateRead::kDamaged);
  EXPECT_TRUE(state.groups.empty());
}

TEST(FailoverStateFile, APublicationThatCannotBeWrittenKeepsThePreviousOne) {
  testing::TempRoot root;
  std::string error;
  auto publisher = StatePublisher::Claim(root.path(), &error);
  ASSERT_NE(publisher, nullptr) << error;
  ASSERT_TRUE(publisher->Publish(SampleState(), &error)) << error;
  // A folder where the new file would be written: the write fails, also for root.
  std::filesystem::path in_the_way = FailoverStatePath(root.path());
  in_the_way += ".new";
  std::filesystem::create_directory(in_the_way);
  FailoverState changed = SampleState();
  changed.groups[0].failovers = 4;
  EXPECT_FALSE(publisher->Publish(changed, &error));
  EXPECT_FALSE(error.empty());
  FailoverState state;
  ASSERT_EQ(ReadFailoverState(root.path(), &state), StateRead::kOk);
  EXPECT_EQ(state.groups[0].failovers, 3u);
}

}  // namespace
}  // namespace pairway::driver
