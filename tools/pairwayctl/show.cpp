// pairwayctl show and watch: the configuration as the sheet shows it, with the status page's
// figures.
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "pairwayctl.h"
#include "registry_layout.h"
#include "session.h"
#include "statistics.h"

namespace pairwayctl {
namespace {

struct PortView {
  std::string name;
  int card = 0;
  std::string role;  // "primary", "backup" or "stand-alone"
  std::string group;
  std::optional<DWORD> connection_type;
  std::optional<DWORD> adapter_index;
  std::string ip_address;
  std::optional<bool> link_up;
  std::optional<DWORD> bytes_sent;
  std::optional<DWORD> bytes_received;
};

struct GroupView {
  std::string name;
  std::string primary;
  std::vector<std::string> backups;
  std::string timeout;
  std::optional<DWORD> bytes_sent;
  std::optional<DWORD> bytes_received;
};

struct View {
  std::vector<PortView> ports;
  std::vector<GroupView> groups;
  bool statistics = false;
};

// The first address of the port's TCP/IP settings; empty when it has none.
std::string IpAddressOf(const CAdapterEntry& entry) {
  HKEY key;
  std::string path = CAdapterRegistry::TcpipPath(entry);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return "";
  }
  char text[256] = "";
  DWORD size = sizeof text - 1;
  LONG status = RegQueryValueExA(key, RegValueName(kRegIpAddress), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::string(text) : "";  // a list: its first text
}

const GroupRecord* GroupOf(CGroupsConfigApp& app, const std::string& port) {
  for (const auto& group : app.m_groups) {
    for (const std::string& name : group->m_ports) {
      if (name == port) return group.get();
    }
  }
  return nullptr;
}

std::optional<DWORD> Param(CAdapterRegistry* registry, int id, const std::string& port) {
  DWORD value = 0;
  if (registry->GetParam(id, port, &value) == 0) return std::nullopt;
  return value;
}

PortView ViewPort(CGroupsConfigApp& app, const CAdapterEntry& entry, const Statistics& stats) {
  PortView port;
  port.name = entry.m_instanceName;
  port.card = entry.m_cardNumber;
  CAdapterRegistry* registry = app.m_registry;
  if (Param(registry, kRegLinkCheckTimeOut, port.name)) {
    port.role = "primary";
  } else if (Param(registry, kRegPrimaryIndex, port.name)) {
    port.role = "backup";
  } else {
    port.role = "stand-alone";
  }
  if (const GroupRecord* group = GroupOf(app, port.name)) port.group = group->m_name;
  port.connection_type = Param(registry, kRegConnectionType, port.name);
  port.adapter_index = Param(registry, kRegAdapterIndex, port.name);
  port.ip_address = IpAddressOf(entry);
  port.link_up = stats.PortLinkUp(port.name);
  port.bytes_sent = stats.PortBytesSent(port.name);
  port.bytes_received = stats.PortBytesReceived(port.name);
  return port;
}

View Collect() {
  LoadedModel model(LoadedModel::kGroups);
  CGroupsConfigApp& app = model.app();
  Statistics stats;
  View view;
  view.statistics = stats.available();
  for (const auto& entry : app.m_registry->entries()) {
    view.ports.push_back(ViewPort(app, *entry, stats));
  }
  for (const auto& record : app.m_groups) {
    GroupView group;
    group.name = record->m_name;
    group.timeout = record->m_timeout;
    for (const std::string& port : record->m_ports) {
      DWORD unused = 0;
      if (app.m_registry->GetParam(kRegLinkCheckTimeOut, port, &unused)) {
        group.primary = port;
      } else {
        group.backups.push_back(port);
      }
    }
    group.bytes_sent = stats.GroupBytesSent(group.name);
    group.bytes_received = stats.GroupBytesReceived(group.name);
    view.groups.push_back(group);
  }
  return view;
}

std::string ConnectionTypeText(std::optional<DWORD> value) {
  if (!value) return "-";
  const char* label =
      CGroupsConfigApp::ConnectionTypeLabel(CGroupsConfigApp::IndexFromConnectionType(*value));
  std::string text = label != nullptr ? label : std::to_string(*value);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

template <typename T>
std::string Text(const std::optional<T>& value) {
  return value ? std::to_string(*value) : "-";
}

std::string LinkText(std::optional<bool> up) { return up ? (*up ? "up" : "down") : "-"; }

std::string Or(const std::string& text) { return text.empty() ? "-" : text; }

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}

void PrintTable(const View& view) {
  printf("%-9s %-4s %-11s %-12s %-30s %-5s %-15s %-4s %10s %10s\n", "PORT", "CARD", "ROLE", "GROUP",
         "CONNECTION TYPE", "INDEX", "IP ADDRESS", "LINK", "SENT", "RECEIVED");
  for (const PortView& port : view.ports) {
    printf("%-9s %-4d %-11s %-12s %-30s %-5s %-15s %-4s %10s %10s\n", port.name.c_str(), port.card,
           port.role.c_str(), Or(port.group).c_str(),
           ConnectionTypeText(port.connection_type).c_str(), Text(port.adapter_index).c_str(),
           Or(port.ip_address).c_str(), LinkText(port.link_up).c_str(),
           Text(port.bytes_sent).c_str(), Text(port.bytes_received).c_str());
  }
  printf("\n%-20s %-9s %-30s %-7s %10s %10s\n", "GROUP", "PRIMARY", "BACKUPS", "TIMEOUT", "SENT",
         "RECEIVED");
  for (const GroupView& group : view.groups) {
    printf("%-20s %-9s %-30s %-7s %10s %10s\n", group.name.c_str(), Or(group.primary).c_str(),
           Or(Join(group.backups)).c_str(), group.timeout.c_str(), Text(group.bytes_sent).c_str(),
           Text(group.bytes_received).c_str());
  }
  if (!view.statistics) printf("\n(no statistics: %s is not installed)\n", STATISTICS_LIBRARY_NAME);
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

template <typename T>
std::string Json(const std::optional<T>& value) {
  if (!value) return "null";
  if constexpr (std::is_same_v<T, bool>) return *value ? "true" : "false";
  return std::to_string(*value);
}

std::string JsonOrNull(const std::string& text) { return text.empty() ? "null" : Json(text); }

void PrintJson(const View& view) {
  printf("{\"ports\": [");
  const char* separator = "";
  for (const PortView& port : view.ports) {
    printf(
        "%s\n  {\"name\": %s, \"card\": %d, \"role\": %s, \"group\": %s, "
        "\"connection_type\": %s, \"connection_type_label\": %s, \"adapter_index\": %s, "
        "\"ip_address\": %s, \"link_up\": %s, \"bytes_sent\": %s, \"bytes_received\": %s}",
        separator, Json(port.name).c_str(), port.card, Json(port.role).c_str(),
        JsonOrNull(port.group).c_str(), Json(port.connection_type).c_str(),
        port.connection_type ? Json(ConnectionTypeText(port.connection_type)).c_str() : "null",
        Json(port.adapter_index).c_str(), JsonOrNull(port.ip_address).c_str(),
        Json(port.link_up).c_str(), Json(port.bytes_sent).c_str(),
        Json(port.bytes_received).c_str());
    separator = ",";
  }
  printf("],\n \"groups\": [");
  separator = "";
  for (const GroupView& group : view.groups) {
    std::string backups;
    for (const std::string& backup : group.backups)
      backups += (backups.empty() ? "" : ", ") + Json(backup);
    printf(
        "%s\n  {\"name\": %s, \"primary\": %s, \"backups\": [%s], \"timeout\": %s, "
        "\"bytes_sent\": %s, \"bytes_received\": %s}",
        separator, Json(group.name).c_str(), JsonOrNull(group.primary).c_str(), backups.c_str(),
        Json(group.timeout).c_str(), Json(group.bytes_sent).c_str(),
        Json(group.bytes_received).c_str());
    separator = ",";
  }
  printf("],\n \"statistics\": %s}\n", view.statistics ? "true" : "false");
}

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

void PrintFigures(const View& view) {
  printf("%-20s %-4s %10s %10s\n", "PORT / GROUP", "LINK", "SENT", "RECEIVED");
  for (const PortView& port : view.ports) {
    printf("%-20s %-4s %10s %10s\n", port.name.c_str(), LinkText(port.link_up).c_str(),
           Text(port.bytes_sent).c_str(), Text(port.bytes_received).c_str());
  }
  for (const GroupView& group : view.groups) {
    printf("%-20s %-4s %10s %10s\n", group.name.c_str(), "", Text(group.bytes_sent).c_str(),
           Text(group.bytes_received).c_str());
  }
}

}  // namespace

int RunShow(const Options& options, const Args& args) {
  if (!args.empty())
    return Fail(kExitUsage, "show takes no arguments (see pairwayctl show --help)");
  View view = Collect();
  if (options.json) {
    PrintJson(view);
  } else {
    PrintTable(view);
  }
  return kExitOk;
}

int RunWatch(const Options&, const Args& args) {
  // --count N ends after N refreshes (for scripts); otherwise until interrupted.
  long count = -1;
  if (args.size() == 2 && args[0] == "--count") {
    char* end = nullptr;
    count = strtol(args[1].c_str(), &end, 10);
    if (*end != '\0' || count < 1) return Fail(kExitUsage, "--count needs a number above 0");
  } else if (!args.empty()) {
    return Fail(kExitUsage, "watch takes only --count N (see pairwayctl watch --help)");
  }
  signal(SIGINT, OnInterrupt);
  signal(SIGTERM, OnInterrupt);
  bool screen = isatty(STDOUT_FILENO);
  for (long shown = 0; !interrupted && (count < 0 || shown < count); ++shown) {
    if (shown > 0) {
      // The status page's cycle: 700 ms between refreshes.
      for (int slept = 0; slept < 700 && !interrupted; slept += 50) usleep(50 * 1000);
      if (interrupted) break;
    }
    if (screen) printf("\033[H\033[2J");
    PrintFigures(Collect());
    if (!screen) printf("\n");
    fflush(stdout);
  }
  return kExitOk;
}

}  // namespace pairwayctl
