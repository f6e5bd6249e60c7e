// test_agents.h: listing the test agents (test_agent.cpp) in a test's machine root.
#ifndef PAIRWAY_TOOLS_SNMP_TESTING_TEST_AGENTS_H
#define PAIRWAY_TOOLS_SNMP_TESTING_TEST_AGENTS_H

#include <initializer_list>
#include <string>

#include "binding.h"
#include "temp_root.h"

namespace snmphost::testing {

// The view of the good test agent and the one of the second.
inline const Oid kGoodView = {1, 3, 6, 1, 4, 1, 32473, 99, 1};
inline const Oid kSecondView = {1, 3, 6, 1, 4, 1, 32473, 99, 3};

// `view` followed by `suffix`.
inline Oid Under(const Oid& view, std::initializer_list<uint32_t> suffix) {
  Oid name = view;
  name.insert(name.end(), suffix);
  return name;
}

// Lists ExtensionAgents value `entry` = "SOFTWARE\Pairway Tests\KEY\CurrentVersion" and gives
// that key "Pathname" = `pathname` (REG_EXPAND_SZ when it holds a '%').
void ListAgent(const std::string& entry, const std::string& key, const std::string& pathname);

// Installs the test agent `variant` (good, second, garbage, declines, crashes_on_init,
// crashes_on_load, crashes_on_query, hangs, scribbles) in the system directory as VARIANT.dll
// and lists it as `entry` with the pathname "%SystemRoot%\System32\VARIANT.dll". Returns that
// pathname as the host expands it.
std::string ListTestAgent(const pairway::testing::TempRoot& root, const std::string& variant,
                          const std::string& entry);

}  // namespace snmphost::testing

#endif  // PAIRWAY_TOOLS_SNMP_TESTING_TEST_AGENTS_H
