// Group membership operations: the role changes of ports, the choice of a group's primary and the
// ports' TCP/IP settings. Each acts on the registry at once through the registry model; failed
// writes are reported by the model itself.
#include <stddef.h>

#include <utility>

#include "groups_config_app.h"
#include "registry_layout.h"

namespace {

const size_t kPrefixLength = sizeof(TREVAN_PRODUCT_NAME) - 1;

// Instance numbers sorted ascending by adjacent exchanges, so equal numbers keep their order.
std::vector<int> SortedNumbers(const std::vector<std::string>& names) {
  std::vector<int> numbers;
  for (const std::string& name : names) numbers.push_back(CGroupsConfigApp::InstanceNumber(name));
  for (size_t pass = 1; pass < numbers.size(); ++pass) {
    for (size_t i = 0; i + pass < numbers.size(); ++i) {
      if (numbers[i + 1] < numbers[i]) std::swap(numbers[i], numbers[i + 1]);
    }
  }
  return numbers;
}

std::string NameOf(int number) { return TREVAN_PRODUCT_NAME + std::to_string(number); }

}  // namespace

int CGroupsConfigApp::InstanceNumber(const std::string& name) {
  if (name.compare(0, kPrefixLength, TREVAN_PRODUCT_NAME) != 0) return 0;
  int number = 0;
  for (size_t i = kPrefixLength; i < name.size() && i < kPrefixLength + 2; ++i) {
    if (name[i] < '0' || name[i] > '9') break;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

void CGroupsConfigApp::SortPortNames(std::vector<std::string>* names) {
  std::vector<int> numbers = SortedNumbers(*names);
  names->clear();
  for (int number : numbers) names->push_back(NameOf(number));
}

// The highest-numbered port heads the group, whichever port headed it before: the driver fails
// over from the primary to the backups, and a fixed rule lets every tool that looks at a group
// agree on its head without reading anything else.
std::string CGroupsConfigApp::ChoosePrimary(const std::vector<std::string>& names) {
  std::vector<int> numbers = SortedNumbers(names);
  return numbers.empty() ? std::string() : NameOf(numbers.back());
}

void CGroupsConfigApp::MakePrimary(const std::string& port, int timeout,
                                   const std::string& group_name) {
  m_registry->SetParam(kRegLinkCheckTimeOut, port, static_cast<DWORD>(timeout));
  m_registry->SetGroupName(kRegGroupName, port, group_name);
  m_registry->DeleteParam(kRegPrimaryIndex, port);
  EnablePortBindings(port);
}

void CGroupsConfigApp::MakeBackup(const std::string& primary, const std::string& port) {
  DWORD index = 0;
  if (!m_registry->GetParam(kRegAdapterIndex, primary, &index)) {
    // Nothing could name a primary without an index, so the port would end up bound to no group
    // with its bindings removed; it stays a port of its own instead.
    MakeStandalone(port);
    return;
  }
  m_registry->SetParam(kRegPrimaryIndex, port, index);
  m_registry->DeleteParam(kRegLinkCheckTimeOut, port);
  DisablePortBindings(port);
}

void CGroupsConfigApp::MakeStandalone(const std::string& port) {
  m_registry->DeleteParam(kRegLinkCheckTimeOut, port);
  m_registry->DeleteParam(kRegGroupName, port);
  EnablePortBindings(port);
  m_registry->DeleteParam(kRegPrimaryIndex, port);
}

void CGroupsConfigApp::EnablePortBindings(const std::string& port) {
  m_registry->WriteNetRule(kRegBindForm, port);
  m_registry->WriteNetRule(kRegClass, port);
  m_registry->WriteNetRule(kRegType, port);
}

void CGroupsConfigApp::DisablePortBindings(const std::string& port) {
  m_registry->DeleteNetRule(kRegBindForm, port);
  m_registry->DeleteNetRule(kRegClass, port);
  m_registry->DeleteNetRule(kRegType, port);
}

bool CGroupsConfigApp::HasIpAddress(const std::string& port) {
  DWORD ignored = 0;
  return m_registry->GetTcpipValue(kRegIpAddress, port, &ignored) != 0;
}

void CGroupsConfigApp::RemoveIpSettings(const std::string& port) {
  m_registry->DeleteTcpipValue(kRegDefaultGateway, port);
  m_registry->DeleteTcpipValue(kRegIpAddress, port);
  m_registry->DeleteTcpipValue(kRegSubnetMask, port);
  m_registry->DeleteTcpipValue(kRegEnableDhcp, port);
}

std::string CGroupsConfigApp::ListPortsWithIpAddress(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    if (HasIpAddress(name)) list += name + "\n";
  }
  return list;
}

// Called before the card of `port` is removed from the system. A backup keeps its own values; the
// TCP/IP settings of its primary are cleared. A primary hands its group, with the group's name and
// time-out, to the highest-numbered backup, whose fellow backups then follow the new primary, and
// becomes a port of its own. A port carrying both marks is treated as both, backup first.
void CGroupsConfigApp::RemovePortLinks(const std::string& port) {
  DWORD value = 0;
  if (m_registry->GetParam(kRegPrimaryIndex, port, &value)) {
    for (const auto& entry : m_registry->entries()) {
      DWORD index = 0;
      if (m_registry->GetParam(kRegAdapterIndex, entry->m_instanceName, &index) && index == value) {
        if (HasIpAddress(entry->m_instanceName)) RemoveIpSettings(entry->m_instanceName);
        break;
      }
    }
  }
  DWORD timeout = 0;
  DWORD index = 0;
  if (m_registry->GetParam(kRegLinkCheckTimeOut, port, &timeout) &&
      m_registry->GetParam(kRegAdapterIndex, port, &index)) {
    std::string group_name;
    m_registry->GetGroupName(kRegGroupName, port, &group_name);
    std::vector<std::string> backups = BackupsOf(index, port);
    if (!backups.empty()) {
      std::string primary = ChoosePrimary(backups);
      MakePrimary(primary, static_cast<int>(timeout), group_name);
      for (const std::string& backup : backups) {
        if (backup != primary) MakeBackup(primary, backup);
      }
    }
    MakeStandalone(port);
  }
}
