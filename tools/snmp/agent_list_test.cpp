// Reading the ExtensionAgents list: which entries become agents, and which are left out and why.
#include "agent_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "registry_layout.h"
#include "temp_root.h"
#include "testing/test_agents.h"

namespace snmphost {
namespace {

using pairway::testing::TempRoot;

bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
  for (const std::string& problem : problems) {
    if (problem.find(text) != std::string::npos) return true;
  }
  return false;
}

// An ExtensionAgents value written as given, for entries ListAgent would not make.
void SetEntry(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY agents = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, SNMP_EXTENSION_AGENTS_KEY, 0, KEY_ALL_ACCESS, &agents),
      ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(agents, name, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(agents);
}

TEST(AgentListTest, NoExtensionAgentsKeyIsAnEmptyListWithAReason) {
  TempRoot root;
  std::vector<std::string> problems;
  EXPECT_TRUE(ReadExtensionAgents(&problems).empty());
  EXPECT_TRUE(Mentions(problems, "does not exist")) << problems.size();
}

TEST(AgentListTest, EntriesInOrderWithSystemRootExpandedAndBrokenOnesLeftOut) {
  TempRoot root;
  testing::ListAgent("1", "Failover", "%SystemRoot%\\System32\\standbyag.dll");
  testing::ListAgent("2", "Dmi", "%SystemRoot%\\System32\\mifsnmp.dll");
  testing::ListAgent("3", "Again", "%SYSTEMROOT%\\system32\\MIFSNMP.DLL");  // the same library
  testing::ListAgent("4", "Plain", "C:\\agents\\plain.dll");
  const char missing_key[] = "SOFTWARE\\Nobody\\CurrentVersion";
  SetEntry("5", REG_SZ, missing_key, sizeof missing_key);
  DWORD number = 7;
  SetEntry("6", REG_DWORD, &number, sizeof number);
  testing::ListAgent("7", "Late", "C:\\agents\\late.dll");
  const char empty_key[] = "SOFTWARE\\Pairway Tests\\Empty\\CurrentVersion";
  HKEY no_pathname = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, empty_key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &no_pathname, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(no_pathname);
  SetEntry("8", REG_SZ, empty_key, sizeof empty_key);

  std::vector<std::string> problems;
  std::vector<ListedAgent> listed = ReadExtensionAgents(&problems);
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0].entry, "1");
  EXPECT_EQ(listed[0].key, "SOFTWARE\\Pairway Tests\\Failover\\CurrentVersion");
  EXPECT_EQ(listed[0].pathname, "C:\\WINNT\\System32\\standbyag.dll");
  EXPECT_EQ(listed[1].pathname, "C:\\WINNT\\System32\\mifsnmp.dll");
  EXPECT_EQ(listed[2].pathname, "C:\\agents\\plain.dll");
  EXPECT_EQ(listed[3].entry, "7");

  ASSERT_EQ(problems.size(), 4u);
  EXPECT_TRUE(Mentions(problems,
                       "extension agent 3 left out: C:\\WINNT\\system32\\MIFSNMP.DLL "
                       "is listed already"));
  EXPECT_TRUE(Mentions(problems, "extension agent 5 left out: its key " + std::string(missing_key) +
                                     " does not exist"));
  EXPECT_TRUE(Mentions(problems, "extension agent 6 left out: it is not a key name"));
  EXPECT_TRUE(Mentions(problems, "extension agent 8 left out: its key " + std::string(empty_key) +
                                     " has no Pathname text"));
}

}  // namespace
}  // namespace snmphost
