// The driver service under the real service manager, on emulated ports: a fresh root made by
// pairway-netsetup, roles written as the configuration library writes them, PARAMCHANGE and the
// links switched with the tools, the outcome read from the published state.
#include <signal.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "failover_state.h"
#include "scm_fixture.h"
#include "temp_root.h"

namespace pairway::driver {
namespace {

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::ScmDaemon;
using pairway::testing::TempRoot;
using pairway::testing::WaitFor;

std::string Tool(const std::string& name) { return (BuildDir() / "bin" / name).string(); }

int RunTool(const std::string& tool, const std::string& args) {
  return RunCommand(Tool(tool) + " " + args + " >/dev/null 2>&1");
}

std::string ParametersKey(int card) {
  return "SYSTEM\\CurrentControlSet\\Services\\TREVAN" + std::to_string(card) + "\\Parameters";
}

void SetDword(int card, const char* name, DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ParametersKey(card).c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

void SetText(int card, const char* name, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ParametersKey(card).c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

void Delete(int card, const char* name) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ParametersKey(card).c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

// A fresh root with `cards` emulated ports, each with its adapter index card - 1.
void MakeRoot(int cards) {
  ASSERT_EQ(RunTool("pairway-netsetup", "init"), 0);
  for (int card = 1; card <= cards; ++card) {
    ASSERT_EQ(RunTool("pairway-netsetup", "add-card"), 0);
    SetDword(card, "AdapterIndex", static_cast<DWORD>(card - 1));
  }
}

void MakeHead(int card, const std::string& name, DWORD timeout) {
  SetDword(card, "LinkCheckTimeOut", timeout);
  SetText(card, "GroupName", name);
}

void MakeBackup(int card, int head) {
  SetDword(card, "PrimaryIndex", static_cast<DWORD>(head - 1));
}

void ParamChange() { ASSERT_EQ(RunTool("pairway-sc", "control TREVAN paramchange"), 0); }

void Link(int card, bool up) {
  ASSERT_EQ(RunTool("pairway-netsetup",
                    "nic " + std::to_string(card) + " set link=" + (up ? "up" : "down")),
            0);
}

FailoverState State(const TempRoot& root) {
  FailoverState state;
  if (ReadFailoverState(root.path(), &state) != StateRead::kOk) return {};
  return state;
}

const GroupStatus* GroupOf(const FailoverState& state, const std::string& head) {
  for (const GroupStatus& group : state.groups) {
    if (group.head == head) return &group;
  }
  return nullptr;
}

// Waits until the published group headed by `head` satisfies `check`.
bool WaitForGroup(const TempRoot& root, const std::string& head,
                  const std::function<bool(const GroupStatus&)>& check) {
  return WaitFor([&] {
    const FailoverState state = State(root);
    const GroupStatus* group = GroupOf(state, head);
    return group != nullptr && check(*group);
  });
}

bool TrafficOn(int card) {
  std::string out;
  RunCommand(Tool("pairway-netsetup") + " nic " + std::to_string(card) + " show", &out);
  return out.find("traffic=on") != std::string::npos;
}

TEST(TrevanServiceTest, AnEmulatedGroupWaitsForItsTimeOutFailsOverAndComesBack) {
  TempRoot root;
  MakeRoot(3);
  MakeHead(3, "team", 30);
  MakeBackup(1, 3);
  MakeBackup(2, 3);
  ScmDaemon scm;
  ASSERT_TRUE(scm.ok());
  ASSERT_TRUE(WaitForGroup(root, "TREVAN3", [](const GroupStatus& g) {
    return g.active == "TREVAN3" && g.up && g.backend == "emulated";
  }));
  ASSERT_EQ(RunTool("pairway-netsetup", "nic 3 set traffic=on"), 0);
  Link(3, false);
  // The link change is seen, but the 30 s time-out keeps the traffic where it is.
  ASSERT_TRUE(
      WaitForGroup(root, "TREVAN3", [](const GroupStatus& g) { return g.link_changes == 1; }));
  const GroupStatus waiting = *GroupOf(State(root), "TREVAN3");
  EXPECT_EQ(waiting.active, "TREVAN3");
  EXPECT_FALSE(waiting.up);
  EXPECT_EQ(waiting.failovers, 0u);

  // The registry changes while the failover waits: the new time-out (0) applies at once.
  SetDword(3, "LinkCheckTimeOut", 0);
  ParamChange();
  ASSERT_TRUE(WaitForGroup(root, "TREVAN3", [](const GroupStatus& g) {
    return g.active == "TREVAN2" && g.failovers == 1;  // the highest instance number
  }));
  EXPECT_TRUE(WaitFor([] { return TrafficOn(2) && !TrafficOn(3); }));
  EXPECT_FALSE(TrafficOn(1));

  Link(3, true);
  ASSERT_TRUE(WaitForGroup(root, "TREVAN3", [](const GroupStatus& g) {
    return g.active == "TREVAN3" && g.failbacks == 1 && g.up;
  }));
  EXPECT_TRUE(WaitFor([] { return TrafficOn(3) && !TrafficOn(2); }));
  const GroupStatus back = *GroupOf(State(root), "TREVAN3");
  EXPECT_EQ(back.failovers, 1u);
  EXPECT_EQ(back.link_changes, 2u);
  ASSERT_EQ(back.members.size(), 3u);
  EXPECT_EQ(back.members[0].port, "TREVAN3");
  EXPECT_EQ(back.members[0].role, MemberRole::kPrimary);
  EXPECT_TRUE(back.members[0].active);
}

TEST(TrevanServiceTest, AReadAfterPARAMCHANGEReformsOnlyWhatChangedAndNamesWhatItRefused) {
  TempRoot root;
  MakeRoot(4);
  MakeHead(2, "left", 0);
  MakeBackup(1, 2);
  MakeHead(4, "right", 0);
  MakeBackup(3, 4);
  ScmDaemon scm;
  ASSERT_TRUE(scm.ok());
  ASSERT_TRUE(WaitForGroup(root, "TREVAN4", [](const GroupStatus& g) { return g.up; }));
  Link(2, false);
  ASSERT_TRUE(WaitForGroup(root, "TREVAN2", [](const GroupStatus& g) {
    return g.active == "TREVAN1" && g.failovers == 1;
  }));

  SetDword(3, "PrimaryIndex", 77);  // names no head
  ParamChange();
  ASSERT_TRUE(WaitFor([&] { return State(root).rejected.size() == 1; }));
  FailoverState state = State(root);
  EXPECT_EQ(state.rejected[0].port, "TREVAN3");
  EXPECT_NE(state.rejected[0].reason.find("PrimaryIndex 77"), std::string::npos);
  ASSERT_EQ(state.groups.size(), 2u);
  EXPECT_EQ(GroupOf(state, "TREVAN4")->members.size(), 1u);
  // The other group ran on: same active port, same counts.
  EXPECT_EQ(GroupOf(state, "TREVAN2")->active, "TREVAN1");
  EXPECT_EQ(GroupOf(state, "TREVAN2")->failovers, 1u);

  Delete(4, "LinkCheckTimeOut");  // dissolved
  ParamChange();
  ASSERT_TRUE(WaitFor([&] { return State(root).groups.size() == 1; }));
  EXPECT_EQ(State(root).groups[0].head, "TREVAN2");
}

TEST(TrevanServiceTest, StoppedOrKilledTheDriverPublishesNothingAndAStartPicksUpAgain) {
  TempRoot root;
  MakeRoot(2);
  MakeHead(2, "pair", 1);
  MakeBackup(1, 2);
  ScmDaemon scm;
  ASSERT_TRUE(scm.ok());
  ASSERT_TRUE(WaitForGroup(root, "TREVAN2", [](const GroupStatus& g) { return g.up; }));
  EXPECT_EQ(RunTool("pairway-sc", "query TREVAN"), 0);

  ASSERT_EQ(RunTool("pairway-sc", "stop TREVAN"), 0);
  FailoverState state;
  EXPECT_TRUE(
      WaitFor([&] { return ReadFailoverState(root.path(), &state) == StateRead::kNoDriver; }));

  // The manager takes the stopped process's exit in its own time; until then it is running.
  EXPECT_TRUE(WaitFor([] { return RunTool("pairway-sc", "start TREVAN") == 0; }));
  ASSERT_TRUE(WaitForGroup(root, "TREVAN2", [](const GroupStatus& g) { return g.up; }));
  const pid_t pid = State(root).pid;
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  EXPECT_TRUE(
      WaitFor([&] { return ReadFailoverState(root.path(), &state) == StateRead::kNoDriver; }));
  EXPECT_TRUE(WaitFor([] { return RunTool("pairway-sc", "start TREVAN") == 0; }));
  ASSERT_TRUE(WaitForGroup(root, "TREVAN2", [](const GroupStatus& g) { return g.up; }));
  EXPECT_NE(State(root).pid, pid);
}

}  // namespace
}  // namespace pairway::driver
