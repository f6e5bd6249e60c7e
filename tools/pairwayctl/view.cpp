#include "view.h"

#include <stdlib.h>

#include "groups_config_app.h"
#include "registry_layout.h"
#include "session.h"
#include "statistics.h"

namespace pairwayctl {
namespace {

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

// The driver's group for the configuration's group: the one whose head is the group's primary;
// for a group without a primary (a hive written elsewhere), the one with its name.
std::optional<pairway::driver::GroupStatus> FailoverOf(const DriverView& driver,
                                                       const GroupView& group) {
  for (const pairway::driver::GroupStatus& status : driver.state.groups) {
    if (group.primary.empty() ? status.name == group.name : status.head == group.primary) {
      return status;
    }
  }
  return std::nullopt;
}

DriverView ReadDriver() {
  DriverView driver;
  const char* root = getenv("PAIRWAY_ROOT");
  if (root == nullptr || *root == '\0') return driver;
  driver.read = pairway::driver::ReadFailoverState(root, &driver.state);
  return driver;
}

}  // namespace

View Collect() {
  LoadedModel model(LoadedModel::kGroups);
  CGroupsConfigApp& app = model.app();
  Statistics stats;
  View view;
  view.statistics = stats.available();
  view.driver = ReadDriver();
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
    group.failover = FailoverOf(view.driver, group);
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

}  // namespace pairwayctl
