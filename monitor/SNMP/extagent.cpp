// Registration of the SNMP extension agents; see extagent.h.
#include "SNMP/extagent.h"

#include <stdio.h>
#include <string.h>

#include "registry_layout.h"
#include "trace.h"

namespace {

const char kFailoverAgentPath[] = "%SystemRoot%\\System32\\" STATISTICS_LIBRARY_NAME;
const char kMifAgentPath[] = "%SystemRoot%\\System32\\mifsnmp.dll";
const char kAgentKeyClass[] = "GenericClass";

void trace_close(HKEY key) {
  if (RegCloseKey(key) != ERROR_SUCCESS) {
    dbg_printf("RegCloseKey failure\n");
  } else {
    dbg_printf("RegCloseKey Ok\n");
  }
}

}  // namespace

int install_SNMP_agents(void) {
  dbg_printf("install_SNMP_agents()\n");
  InstallExtensionAgent(FAILOVER_MIB_NAME, kFailoverAgentPath);
  InstallExtensionAgent(DMI_MIB_NAME, kMifAgentPath);
  return 1;
}

void InstallExtensionAgent(LPCSTR MibName, LPCSTR AgentPath) {
  REGISTRY_ACCESS path[5] = {{HKEY_LOCAL_MACHINE, "SOFTWARE"},
                             {0, "Corvane"},
                             {0, MibName},
                             {0, "CurrentVersion"},
                             {0, nullptr}};
  char agentKey[SNMP_AGENT_NAME_SIZE];
  int n = snprintf(agentKey, sizeof agentKey, MAKER_SOFTWARE_KEY "\\%s\\CurrentVersion", MibName);
  if (n < 0 || static_cast<size_t>(n) >= sizeof agentKey) return;  // would list another key

  dbg_printf("InstallExtensionAgent: MibName is %s\n", MibName);
  dbg_printf("InstallExtensionAgent: ExtensionAgent registry string is %s\n", agentKey);
  int exists = ExtensionAgentExists(agentKey);
  if (exists < 0) {
    dbg_printf("SNMP is not installed\n");
    return;
  }
  if (exists == 0) AddExtensionAgent(agentKey);
  dbg_printf("InstallExtensionAgent: AgentPath is %s\n", AgentPath);
  AddValueToRegistry(path, reinterpret_cast<const BYTE*>(AgentPath),
                     static_cast<DWORD>(strlen(AgentPath) + 1), REG_SZ, VAL_PATHNAME);
}

int ExtensionAgentExists(LPCSTR AgentString) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SNMP_EXTENSION_AGENTS_KEY, 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    dbg_printf("RegOpenKey could not open " SNMP_EXTENSION_AGENTS_KEY "\n");
    return -1;
  }
  dbg_printf("RegOpenKey " SNMP_EXTENSION_AGENTS_KEY "\n");
  int found = 0;
  for (DWORD index = 0; index < SNMP_AGENT_SCAN_LIMIT && !found; index++) {
    char name[SNMP_AGENT_NAME_SIZE];
    char data[SNMP_AGENT_NAME_SIZE + 1];  // one spare byte for a terminator of our own
    DWORD nameSize = sizeof name;
    DWORD dataSize = SNMP_AGENT_NAME_SIZE;
    DWORD type = 0;
    LONG status = RegEnumValueA(key, index, name, &nameSize, nullptr, &type,
                                reinterpret_cast<LPBYTE>(data), &dataSize);
    // An entry too long to read cannot be ours; passing over it keeps a later entry visible,
    // where ending the scan would list the agent a second time.
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    data[dataSize] = '\0';
    dbg_printf("ExtensionAgentExists: RegEnumValue index = %d\n", static_cast<int>(index));
    dbg_printf("ExtensionAgentExists: key = %s\n", name);
    dbg_printf("ExtensionAgentExists: value = %s\n", data);
    if (strcmp(data, AgentString) == 0) {
      dbg_printf("ExtensionAgentExists: %s was found in the registry\n", AgentString);
      found = 1;
    }
  }
  trace_close(key);
  return found;
}

int AddExtensionAgent(LPCSTR ExtensionAgent) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SNMP_EXTENSION_AGENTS_KEY, 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  dbg_printf("RegOpenKey " SNMP_EXTENSION_AGENTS_KEY "\n");
  int result = 0;
  for (int number = 1; number < SNMP_AGENT_SCAN_LIMIT; number++) {
    char name[16];
    snprintf(name, sizeof name, "%d", number);
    char data[SNMP_AGENT_NAME_SIZE + 1];
    DWORD size = SNMP_AGENT_NAME_SIZE;
    DWORD type = 0;
    LONG status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data), &size);
    if (status == ERROR_FILE_NOT_FOUND) {
      if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(ExtensionAgent),
                         static_cast<DWORD>(strlen(ExtensionAgent) + 1)) == ERROR_SUCCESS) {
        dbg_printf("AddExtensionAgent: key %s was added to the registry with value %s\n", name,
                   ExtensionAgent);
        result = 1;
        break;
      }
      continue;
    }
    // Only a name that is there (readable or too long to read) is taken; any other failure
    // means the registry itself failed, and trying 65534 names would not help.
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
    data[status == ERROR_SUCCESS ? size : 0] = '\0';
    dbg_printf("AddExtensionAgent: Key = %s, Value = %s\n", name, data);
    dbg_printf("AddExtensionAgent: buffersize %d\n", static_cast<int>(size));
    dbg_printf("AddExtensionAgent: RegType %d\n", static_cast<int>(type));
  }
  trace_close(key);
  return result;
}

int AddValueToRegistry(REGISTRY_ACCESS* RegAcc, const BYTE* Buffer, DWORD BufferSize, DWORD RegType,
                       LPCSTR Request) {
  int result = 0;
  int step = 0;
  while (RegAcc[step].Name != nullptr) {
    HKEY opened;
    DWORD disposition = 0;
    if (RegCreateKeyExA(RegAcc[step].RegistryKey, RegAcc[step].Name, 0,
                        const_cast<LPSTR>(kAgentKeyClass), REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &opened, &disposition) != ERROR_SUCCESS) {
      break;
    }
    dbg_printf("RegOpenKey %s ", RegAcc[step].Name);
    dbg_printf(disposition == REG_CREATED_NEW_KEY ? "REG_CREATED_NEW_KEY\n"
                                                  : "REG_OPENED_EXISTING_KEY\n");
    RegAcc[step + 1].RegistryKey = opened;
    step++;
  }
  if (RegAcc[step].Name == nullptr && RegSetValueExA(RegAcc[step].RegistryKey, Request, 0, RegType,
                                                     Buffer, BufferSize) == ERROR_SUCCESS) {
    result = 1;
    // The data are text here; the precision keeps the trace inside the bytes given.
    dbg_printf("AddValueToRegistry: %.*s was added\n", static_cast<int>(BufferSize),
               reinterpret_cast<const char*>(Buffer));
  }
  for (int i = step; i >= 1; i--) {
    if (RegCloseKey(RegAcc[i].RegistryKey) != ERROR_SUCCESS) {
      dbg_printf("RegCloseKey failure\n");
    } else {
      dbg_printf("RegCloseKey %d, OK\n", i);
    }
  }
  return result;
}
