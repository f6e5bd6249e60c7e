// agent_list.h: the extension agents the machine's registry lists for the SNMP service.
//
// SYSTEM\CurrentControlSet\Services\SNMP\Parameters\ExtensionAgents holds one REG_SZ value per
// agent (names "1", "2", ...; the host takes them in the registry's value order). Each names a
// key under HKEY_LOCAL_MACHINE whose "Pathname" (REG_SZ or REG_EXPAND_SZ) is the agent library,
// usually "%SystemRoot%\System32\NAME.dll"; environment references are expanded, and SystemRoot
// is the machine's Windows directory.
//
//   ExtensionAgents  "1" = "SOFTWARE\Corvane\FailoverMib\CurrentVersion"
//                    "2" = "SOFTWARE\Corvane\DmiMib\CurrentVersion"
//   ...\DmiMib\CurrentVersion  "Pathname" = "%SystemRoot%\System32\mifsnmp.dll"
//                    -> C:\WINNT\System32\mifsnmp.dll
#ifndef PAIRWAY_TOOLS_SNMP_AGENT_LIST_H
#define PAIRWAY_TOOLS_SNMP_AGENT_LIST_H

#include <string>
#include <vector>

namespace snmphost {

struct ListedAgent {
  std::string entry;     // the ExtensionAgents value's name
  std::string key;       // the agent's key
  std::string pathname;  // the library's NT path, expanded
};

// The listed agents in order. An entry that is not a text, whose key or "Pathname" is missing,
// or whose library another entry already named (compared without regard to case) is left out
// with a line in *problems saying why. No ExtensionAgents key gives an empty list and a problem.
std::vector<ListedAgent> ReadExtensionAgents(std::vector<std::string>* problems);

}  // namespace snmphost

#endif  // PAIRWAY_TOOLS_SNMP_AGENT_LIST_H
