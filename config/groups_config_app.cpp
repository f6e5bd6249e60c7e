// The application object, the connection type table and the loaders of the configuration model.
#include "groups_config_app.h"

#include "registry_layout.h"
#include "resource_ids.h"

CGroupsConfigApp theApp;

namespace {

struct ConnectionTypeRow {
  DWORD value;
  const char* label;  // null for the codes no list offers
};

// The list positions of the connection type lists and the "ConnectionType" values they store.
// The order is the order the lists show; the driver knows the unlabelled codes, no list offers
// them, and a port configured with one shows no selection.
const ConnectionTypeRow kConnectionTypes[kConnectionTypeCount] = {
    {CONNECTION_AUTODETECT, "Autodetect Default Connection"},
    {CONNECTION_10_HALF, "10 Mbps UTP/Half Duplex"},
    {CONNECTION_10_FULL, "10 Mbps UTP/Full Duplex"},
    {CONNECTION_100_HALF, "100 Mbps/Half Duplex"},
    {CONNECTION_100_FULL, "100 Mbps/Full Duplex"},
    {CONNECTION_THIN_COAX, "THIN"},
    {CONNECTION_UNLABELLED_259, nullptr},
    {CONNECTION_UNLABELLED_15, nullptr},
    {CONNECTION_UNLABELLED_271, nullptr},
    {CONNECTION_UNLABELLED_2, nullptr},
    {CONNECTION_UNLABELLED_1, nullptr},
};

// A driver parameter as decimal text, or "Error" when it cannot be read.
std::string ParamText(CAdapterRegistry* registry, int id, const std::string& port) {
  DWORD value = 0;
  return registry->GetParam(id, port, &value) ? std::to_string(value) : "Error";
}

}  // namespace

CGroupsConfigApp::CGroupsConfigApp() : CWinApp(AGGCFG_APP_TITLE) {
  SetHelpFileFromModule(this);
  SetImageResources(kImageResources, kImageResourceCount);
}

CGroupsConfigApp::~CGroupsConfigApp() = default;

BOOL CGroupsConfigApp::OnCmdMsg(UINT id) {
  if (id == pairway::ui::ID_HELP) {
    OnHelp();
    return TRUE;
  }
  return CWinApp::OnCmdMsg(id);
}

DWORD CGroupsConfigApp::ConnectionTypeFromIndex(int position) {
  if (position < 0 || position >= kConnectionTypeCount) return kConnectionTypes[0].value;
  return kConnectionTypes[position].value;
}

int CGroupsConfigApp::IndexFromConnectionType(DWORD value) {
  for (int position = 0; position < kConnectionTypeCount; ++position) {
    if (kConnectionTypes[position].value == value) return position;
  }
  return kConnectionTypeCount;
}

const char* CGroupsConfigApp::ConnectionTypeLabel(int position) {
  if (position < 0 || position >= kConnectionTypeCount) return nullptr;
  return kConnectionTypes[position].label;
}

void CGroupsConfigApp::LoadConfiguration(const std::string& current) {
  for (const auto& entry : m_registry->entries()) {
    const std::string& port = entry->m_instanceName;
    DWORD value = 0;
    if (m_registry->GetParam(kRegLinkCheckTimeOut, port, &value)) {
      AddGroupFromPrimary(port, current, value);
    } else if (!m_registry->GetParam(kRegPrimaryIndex, port, &value)) {
      AddStandalonePort(port, current, false);
    }
  }
}

void CGroupsConfigApp::LoadUntypedPorts() {
  for (const auto& entry : m_registry->entries()) {
    DWORD type = 0;
    if (!m_registry->GetParam(kRegConnectionType, entry->m_instanceName, &type)) {
      AddStandalonePort(entry->m_instanceName, "", true);
    }
  }
}

void CGroupsConfigApp::LoadTypedPort(const std::string& name) {
  const CAdapterEntry* entry = m_registry->FindEntry(name);
  DWORD type = 0;
  if (entry != nullptr && m_registry->GetParam(kRegConnectionType, name, &type)) {
    AddStandalonePort(name, name, false);
  }
}

void CGroupsConfigApp::AddStandalonePort(const std::string& port, const std::string& current,
                                         bool autodetect) {
  auto record = std::make_unique<StandalonePortRecord>();
  record->m_name = port;
  record->m_selected = 0;
  record->m_busText = ParamText(m_registry, kRegBusNumber, port);
  record->m_slotText = ParamText(m_registry, kRegSlotNumber, port);
  if (autodetect) {
    record->m_connectionTypeText = ConnectionTypeLabel(0);
    record->m_connectionType = ConnectionTypeFromIndex(0);
  } else {
    DWORD type = kConnectionTypeUnknown;
    m_registry->GetParam(kRegConnectionType, port, &type);
    record->m_connectionType = type;
    record->m_selected = port == current ? 1 : 0;
  }
  m_standalonePorts.push_back(std::move(record));
}

void CGroupsConfigApp::AddGroupFromPrimary(const std::string& primary, const std::string& current,
                                           DWORD timeout) {
  auto record = std::make_unique<GroupRecord>();
  m_registry->GetGroupName(kRegGroupName, primary, &record->m_name);
  record->m_timeout = std::to_string(timeout);
  // A primary without a readable "AdapterIndex" can have no backups: nothing can name it.
  DWORD index = 0;
  if (m_registry->GetParam(kRegAdapterIndex, primary, &index)) {
    record->m_ports = BackupsOf(index, primary);
  }
  record->m_ports.push_back(primary);
  for (const std::string& port : record->m_ports) {
    if (port == current) record->m_currentPort = port;
    DWORD type = kConnectionTypeUnknown;
    m_registry->GetParam(kRegConnectionType, port, &type);
    record->m_connectionTypes.push_back(type);
  }
  m_groups.push_back(std::move(record));
}

std::vector<std::string> CGroupsConfigApp::BackupsOf(DWORD index, const std::string& primary) {
  std::vector<std::string> backups;
  for (const auto& entry : m_registry->entries()) {
    const std::string& port = entry->m_instanceName;
    DWORD value = 0;
    if (port == primary || !m_registry->GetParam(kRegPrimaryIndex, port, &value) ||
        value != index) {
      continue;
    }
    // A port that also carries "LinkCheckTimeOut" heads a group of its own; counting it as a
    // backup too would put it in two groups and let a role change of one group undo the other.
    if (m_registry->GetParam(kRegLinkCheckTimeOut, port, &value)) continue;
    backups.push_back(port);
  }
  return backups;
}

void CGroupsConfigApp::FreeStandalonePorts() { m_standalonePorts.clear(); }

void CGroupsConfigApp::FreeGroups() { m_groups.clear(); }
