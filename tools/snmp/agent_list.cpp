// Reading the ExtensionAgents list, as the platform's SNMP service does at start.
#include "agent_list.h"

#include <strings.h>
#include <windows.h>

#include "registry_layout.h"

namespace snmphost {
namespace {

// Registry value names and key paths are at most 255 characters; "Pathname" texts are paths.
constexpr DWORD kNameSize = 256;
constexpr DWORD kDataSize = 1024;

class Key {
 public:
  LONG Open(HKEY parent, const std::string& path) {
    return RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key_);
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A REG_SZ or REG_EXPAND_SZ value as text (a missing terminator is tolerated); false otherwise.
bool ReadText(const char* data, DWORD size, DWORD type, std::string* out) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  out->assign(data, size);
  out->resize(out->find('\0') == std::string::npos ? out->size() : out->find('\0'));
  return true;
}

std::string Expand(const std::string& text) {
  char expanded[kDataSize];
  DWORD length = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
  return length == 0 || length > sizeof expanded ? text : std::string(expanded);
}

// The library the agent's key names; empty with *why set when there is none.
std::string ReadPathname(const std::string& key_path, std::string* why) {
  Key key;
  if (key.Open(HKEY_LOCAL_MACHINE, key_path) != ERROR_SUCCESS) {
    *why = "its key " + key_path + " does not exist";
    return {};
  }
  char data[kDataSize];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  std::string pathname;
  if (RegQueryValueExA(key.get(), VAL_PATHNAME, nullptr, &type, reinterpret_cast<BYTE*>(data),
                       &size) != ERROR_SUCCESS ||
      !ReadText(data, size, type, &pathname) || pathname.empty()) {
    *why = "its key " + key_path + " has no " VAL_PATHNAME " text";
    return {};
  }
  return Expand(pathname);
}

bool Listed(const std::vector<ListedAgent>& agents, const std::string& pathname) {
  for (const ListedAgent& agent : agents) {
    if (strcasecmp(agent.pathname.c_str(), pathname.c_str()) == 0) return true;
  }
  return false;
}

}  // namespace

std::vector<ListedAgent> ReadExtensionAgents(std::vector<std::string>* problems) {
  std::vector<ListedAgent> agents;
  Key list;
  if (list.Open(HKEY_LOCAL_MACHINE, SNMP_EXTENSION_AGENTS_KEY) != ERROR_SUCCESS) {
    problems->push_back("no extension agents: " SNMP_EXTENSION_AGENTS_KEY " does not exist");
    return agents;
  }
  for (DWORD index = 0;; ++index) {
    char name[kNameSize];
    DWORD name_size = sizeof name;
    char data[kDataSize];
    DWORD data_size = sizeof data;
    DWORD type = REG_NONE;
    LONG status = RegEnumValueA(list.get(), index, name, &name_size, nullptr, &type,
                                reinterpret_cast<BYTE*>(data), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ListedAgent agent;
    agent.entry = status == ERROR_SUCCESS ? name : "#" + std::to_string(index);
    std::string why;
    if (status != ERROR_SUCCESS || !ReadText(data, data_size, type, &agent.key)) {
      why = "it is not a key name";
    } else {
      agent.pathname = ReadPathname(agent.key, &why);
      if (!agent.pathname.empty() && Listed(agents, agent.pathname)) {
        why = agent.pathname + " is listed already";
      }
    }
    if (!why.empty()) {
      problems->push_back("extension agent " + agent.entry + " left out: " + why);
      continue;
    }
    agents.push_back(agent);
  }
  return agents;
}

}  // namespace snmphost
