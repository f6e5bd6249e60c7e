// The rules of the groups configuration page: moving ports between groups, naming groups, the
// time-out and the connection types, and what Apply writes.
//
// Sections: helpers; initialisation and activation; selections and connection types; Add; Remove;
// choosing and typing a group; Apply.
#include "groups_editor.h"

#include <ctype.h>

#include <algorithm>
#include <set>

namespace {

const char kDefaultGroupPrefix[] = "Group";
const size_t kDefaultGroupPrefixLength = sizeof(kDefaultGroupPrefix) - 1;

// A stored connection type as a position of the six-entry list; -1 (no selection) for a value the
// list does not offer.
int ListPosition(DWORD connection_type) {
  int position = CGroupsConfigApp::IndexFromConnectionType(connection_type);
  return position < kLabelledConnectionTypes ? position : -1;
}

// The value of the leading sign and digits of a time-out text, 0 when there are none. Taken
// modulo 2^32, so any stored value shown as its decimal text is written back unchanged.
DWORD TimeoutValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  DWORD value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<DWORD>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

// A card title without its group annotation: cut before the first '<', trailing blanks removed.
std::string TitleWithoutGroup(const std::string& title) {
  std::string cut = title.substr(0, title.find('<'));
  while (!cut.empty() && isspace(static_cast<unsigned char>(cut.back()))) cut.pop_back();
  return cut;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  CGroupsConfigApp::SortPortNames(&names);
  return names;
}

std::vector<std::string> Joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

std::vector<std::string> Texts(const std::vector<std::string>& items,
                               const std::vector<int>& positions) {
  std::vector<std::string> texts;
  for (int position : positions) {
    if (position >= 0 && static_cast<size_t>(position) < items.size()) {
      texts.push_back(items[position]);
    }
  }
  return texts;
}

// Port lists hold each port once, by its exact name.
int FindPort(const std::vector<std::string>& items, const std::string& port) {
  auto found = std::find(items.begin(), items.end(), port);
  return found != items.end() ? static_cast<int>(found - items.begin()) : -1;
}

GroupRecord* FindGroup(CGroupsConfigApp* app, const std::string& name) {
  for (auto& group : app->m_groups) {
    if (group->m_name == name) return group.get();
  }
  return nullptr;
}

// The first group holding `port`, and the port's position in it.
GroupRecord* GroupHolding(CGroupsConfigApp* app, const std::string& port, size_t* position) {
  for (auto& group : app->m_groups) {
    auto found = std::find(group->m_ports.begin(), group->m_ports.end(), port);
    if (found != group->m_ports.end()) {
      *position = static_cast<size_t>(found - group->m_ports.begin());
      return group.get();
    }
  }
  return nullptr;
}

StandalonePortRecord* FindStandalone(CGroupsConfigApp* app, const std::string& port) {
  for (auto& record : app->m_standalonePorts) {
    if (record->m_name == port) return record.get();
  }
  return nullptr;
}

// The connection type a port has in the model: in its stand-alone record or in the first group
// that holds it; 0 when neither knows the port.
DWORD StandaloneType(CGroupsConfigApp* app, const std::string& port) {
  StandalonePortRecord* record = FindStandalone(app, port);
  return record != nullptr ? record->m_connectionType : 0;
}
DWORD GroupType(CGroupsConfigApp* app, const std::string& port) {
  size_t position = 0;
  GroupRecord* group = GroupHolding(app, port, &position);
  return group != nullptr ? group->m_connectionTypes[position] : 0;
}

// The number a default group name carries: the leading digits among the (at most) two characters
// after "Group"; -1 for a name that is no default name.
int DefaultGroupNumber(const std::string& name) {
  if (name.compare(0, kDefaultGroupPrefixLength, kDefaultGroupPrefix) != 0) return -1;
  int number = 0;
  for (size_t i = kDefaultGroupPrefixLength; i < name.size() && i < kDefaultGroupPrefixLength + 2 &&
                                             isdigit(static_cast<unsigned char>(name[i]));
       ++i) {
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

}  // namespace

int FindPrefix(const std::vector<std::string>& items, const std::string& prefix) {
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string& item = items[i];
    if (item.size() < prefix.size()) continue;
    bool match = std::equal(prefix.begin(), prefix.end(), item.begin(), [](char a, char b) {
      return tolower(static_cast<unsigned char>(a)) == tolower(static_cast<unsigned char>(b));
    });
    if (match) return static_cast<int>(i);
  }
  return -1;
}

CGroupsEditor::CGroupsEditor(CGroupsConfigApp* app) : m_app(app) {}

void CGroupsEditor::MarkDirty() {
  m_app->m_pageDirty = 1;
  m_pageModified = true;
}

// Text set by the program is no change of the person's.
void CGroupsEditor::SetTimeoutText(const std::string& text) {
  m_controls.timeout_text = text;
  m_controls.timeout_modified = false;
}

// ---- Initialisation and activation ----

void CGroupsEditor::OnInitDialog() {
  m_app->m_pageDirty = 0;
  m_app->m_appliedChanges = 0;
  m_pageModified = false;
  GroupsPageControls& c = m_controls;
  c = GroupsPageControls();
  c.connection_type = 0;
  c.group_names.push_back(AGGCFG_CREATE_NEW_GROUP);
  m_strTimeout = AGGCFG_DEFAULT_TIMEOUT;
  SetTimeoutText(AGGCFG_DEFAULT_TIMEOUT);

  // The group holding the port the caller asked about is shown, with that port selected.
  int shown_port = -1;
  for (const auto& group : m_app->m_groups) {
    c.group_names.push_back(group->m_name);
    if (group->m_currentPort.empty()) continue;
    for (size_t i = 0; i < group->m_ports.size(); ++i) {
      c.group_ports.push_back(group->m_ports[i]);
      if (group->m_ports[i] != group->m_currentPort) continue;
      SetTimeoutText(group->m_timeout);
      shown_port = static_cast<int>(c.group_ports.size()) - 1;
      c.group_choice = static_cast<int>(c.group_names.size()) - 1;
      c.connection_type = ListPosition(group->m_connectionTypes[i]);
    }
  }
  if (shown_port >= 0) c.group_port_selection.push_back(shown_port);
  c.group_text = c.group_choice >= 0 ? c.group_names[c.group_choice] : "";
  m_strGroupName = c.group_text;

  for (const auto& record : m_app->m_standalonePorts) {
    c.available.push_back(record->m_name);
    if (record->m_selected) {
      c.available_selection.push_back(static_cast<int>(c.available.size()) - 1);
      c.connection_type = ListPosition(record->m_connectionType);
    }
  }
  c.timeout_read_only = c.group_ports.empty();
}

void CGroupsEditor::OnSetActive() { m_pageModified = m_app->m_pageDirty != 0; }

void CGroupsEditor::OnKillActive() { m_pageModified = false; }

// ---- Selections and connection types ----

void CGroupsEditor::OnAvailableSelectionChanged() {
  std::vector<std::string> names = Texts(m_controls.available, m_controls.available_selection);
  if (!names.empty()) m_controls.connection_type = ListPosition(StandaloneType(m_app, names[0]));
}

void CGroupsEditor::OnGroupPortSelectionChanged() {
  std::vector<std::string> names = Texts(m_controls.group_ports, m_controls.group_port_selection);
  if (!names.empty()) m_controls.connection_type = ListPosition(GroupType(m_app, names[0]));
}

void CGroupsEditor::OnConnectionTypeChanged() { MarkDirty(); }

// Closing the list with nothing chosen gives the selected ports the code 0, the first labelled
// code after autodetect, as the list's "no position" has always meant.
void CGroupsEditor::OnConnectionTypeListClosed() {
  int position = m_controls.connection_type;
  DWORD type = position >= 0 ? CGroupsConfigApp::ConnectionTypeFromIndex(position) : 0;
  for (const std::string& name : Texts(m_controls.available, m_controls.available_selection)) {
    StandalonePortRecord* record = FindStandalone(m_app, name);
    if (record != nullptr) record->m_connectionType = type;
  }
  for (const std::string& name : Texts(m_controls.group_ports, m_controls.group_port_selection)) {
    size_t i = 0;
    GroupRecord* group = GroupHolding(m_app, name, &i);
    if (group != nullptr) group->m_connectionTypes[i] = type;
  }
}

// ---- Add ----

GroupNameField CGroupsEditor::OnAdd() {
  std::vector<std::string> names = Texts(m_controls.available, m_controls.available_selection);
  if (names.empty()) {
    m_app->DoMessageBox(" Port Not Selected!!! ", MB_OK | MB_ICONEXCLAMATION, 0);
    return GroupNameField::kLeave;
  }
  // A backup's own address would go on answering beside the group's: it has to go.
  std::string with_address = m_app->ListPortsWithIpAddress(names);
  if (!with_address.empty()) {
    std::string question =
        "This action will remove IP Address for following Port(s)\n" + with_address;
    if (m_app->DoMessageBox(question.c_str(), MB_OKCANCEL | MB_ICONEXCLAMATION, 0) != IDOK) {
      return GroupNameField::kLeave;
    }
  }
  RemoveIpSettingsOf(names);

  if (!m_controls.group_ports.empty()) {
    m_strGroupName = m_controls.group_text;
  } else {
    m_strGroupName = kDefaultGroupPrefix + std::to_string(NextDefaultGroupNumber());
    m_controls.group_text = m_strGroupName;
  }
  if (!CreateGroup(names)) {
    GroupRecord* group = FindGroup(m_app, m_strGroupName);
    if (group != nullptr) AddToGroup(group, names);
  }
  MarkDirty();
  m_controls.timeout_read_only = false;
  return GroupNameField::kSelectAndFocus;
}

void CGroupsEditor::RemoveIpSettingsOf(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (!m_app->HasIpAddress(name)) continue;
    m_app->RemoveIpSettings(name);
    m_app->m_appliedChanges += 1;
  }
  for (const std::string& port : Sorted(m_controls.group_ports)) {
    if (m_app->HasIpAddress(port)) m_app->RemoveIpSettings(port);
  }
}

// A group is made only under a name that begins no listed name: a typed name that is the start
// of an existing group's name is taken as a slip, not as a new group.
bool CGroupsEditor::CreateGroup(const std::vector<std::string>& names) {
  if (m_strGroupName.empty() || FindPrefix(m_controls.group_names, m_strGroupName) >= 0) {
    return false;
  }
  // A group the list cannot name could never be chosen again: it is not made.
  if (static_cast<int>(m_controls.group_names.size()) >= m_controls.group_names_limit) {
    m_app->DoMessageBox("New Group Name Not Added", MB_OK | MB_ICONEXCLAMATION, 0);
    return false;
  }
  m_controls.group_names.push_back(m_strGroupName);
  auto group = std::make_unique<GroupRecord>();
  group->m_name = m_strGroupName;
  GroupRecord* record = group.get();
  m_app->m_groups.push_back(std::move(group));
  AddToGroup(record, names);
  return true;
}

void CGroupsEditor::AddToGroup(GroupRecord* group, const std::vector<std::string>& names) {
  group->m_timeout = m_controls.timeout_text;
  for (const std::string& name : names) {
    group->m_ports.push_back(name);
    group->m_connectionTypes.push_back(StandaloneType(m_app, name));
  }
  ShowAddedPorts(names);
}

// The group-ports list gains the ports (it keeps what it showed, even ports of another group);
// the available list and the stand-alone records lose them.
void CGroupsEditor::ShowAddedPorts(const std::vector<std::string>& names) {
  m_controls.group_ports = Sorted(Joined(m_controls.group_ports, names));
  m_controls.group_port_selection.clear();
  for (const std::string& name : names) {
    int position = FindPort(m_controls.available, name);
    if (position < 0) continue;
    m_controls.available.erase(m_controls.available.begin() + position);
    auto& records = m_app->m_standalonePorts;
    auto record = std::find_if(records.begin(), records.end(),
                               [&](const auto& r) { return r->m_name == name; });
    if (record != records.end()) records.erase(record);
  }
  m_controls.available_selection.clear();
}

int CGroupsEditor::NextDefaultGroupNumber() const {
  std::set<int> taken;
  for (const auto& group : m_app->m_groups) {
    int number = DefaultGroupNumber(group->m_name);
    if (number >= 0) taken.insert(number);
  }
  // A name that begins a listed name would form no group (see CreateGroup): skip it as well.
  int number = 1;
  while (taken.count(number) != 0 ||
         FindPrefix(m_controls.group_names, kDefaultGroupPrefix + std::to_string(number)) >= 0) {
    ++number;
  }
  return number;
}

// ---- Remove ----

GroupNameField CGroupsEditor::OnRemove() {
  std::vector<std::string> names = Texts(m_controls.group_ports, m_controls.group_port_selection);
  if (names.empty()) {
    m_app->DoMessageBox(" Port Not Selected!!! ", MB_OK | MB_ICONEXCLAMATION, 0);
    return GroupNameField::kSelectText;
  }
  std::vector<std::string> emptied_groups;
  for (const std::string& name : names) {
    // By exact name: a prefix search would take TREVAN10 for TREVAN1 in a list not yet sorted.
    int position = FindPort(m_controls.group_ports, name);
    if (position < 0) continue;
    m_controls.group_ports.erase(m_controls.group_ports.begin() + position);
    auto record = std::make_unique<StandalonePortRecord>();
    record->m_name = name;
    record->m_connectionType = GroupType(m_app, name);
    m_app->m_standalonePorts.push_back(std::move(record));
    std::string emptied = TakeOutOfGroup(name);
    if (!emptied.empty()) emptied_groups.push_back(emptied);
  }
  m_controls.group_port_selection.clear();
  // A port that leaves a group takes back no address; the group's remaining ports keep none.
  RemoveIpSettingsOf(names);
  m_controls.available = Sorted(Joined(m_controls.available, names));
  m_controls.available_selection.clear();
  MarkDirty();

  if (m_controls.group_ports.empty()) {
    // The names of the groups that are gone leave the list (the exact names: a group named
    // Group1 must not take Group10 with it; item 0 is never a group).
    for (const std::string& gone : emptied_groups) {
      auto& items = m_controls.group_names;
      auto item = std::find(items.begin() + 1, items.end(), gone);
      if (item != items.end()) items.erase(item);
    }
    m_controls.group_choice = -1;
    m_controls.group_text.clear();
  }
  return GroupNameField::kLeave;
}

// Takes `port` out of the first group holding it (its last occurrence there). Returns the group's
// name when that was its last port and the group is gone, else "".
std::string CGroupsEditor::TakeOutOfGroup(const std::string& port) {
  auto& groups = m_app->m_groups;
  for (auto group = groups.begin(); group != groups.end(); ++group) {
    auto& ports = (*group)->m_ports;
    auto found = std::find(ports.rbegin(), ports.rend(), port);
    if (found == ports.rend()) continue;
    size_t position = static_cast<size_t>(ports.rend() - found) - 1;
    ports.erase(ports.begin() + position);
    (*group)->m_connectionTypes.erase((*group)->m_connectionTypes.begin() + position);
    if (!ports.empty()) return "";
    std::string name = (*group)->m_name;
    groups.erase(group);
    return name;
  }
  return "";
}

// ---- Choosing and typing a group ----

void CGroupsEditor::OnGroupListClosed() {
  GroupsPageControls& c = m_controls;
  std::string name;
  if (c.group_choice >= 0 && static_cast<size_t>(c.group_choice) < c.group_names.size()) {
    m_strGroupName = c.group_names[c.group_choice];
    c.group_text = m_strGroupName;
    c.timeout_read_only = false;
    name = m_strGroupName;
  }
  if (name == AGGCFG_CREATE_NEW_GROUP) {
    c.group_choice = -1;
    c.group_text.clear();
    m_strTimeout = AGGCFG_DEFAULT_TIMEOUT;
    SetTimeoutText(AGGCFG_DEFAULT_TIMEOUT);
    c.timeout_modified = true;
    c.timeout_read_only = true;
  }
  if (m_app->m_groups.empty()) return;
  c.group_ports.clear();
  c.group_port_selection.clear();
  GroupRecord* group = FindGroup(m_app, name);
  if (group == nullptr) return;
  SetTimeoutText(group->m_timeout);
  c.group_ports = Sorted(group->m_ports);
}

void CGroupsEditor::OnGroupTextEdited() {
  if (m_app->m_pageDirty == 0) MarkDirty();
}

void CGroupsEditor::OnTimeoutChanged() {
  if (!m_controls.timeout_modified) return;
  if (FindPrefix(m_controls.group_names, m_strGroupName) >= 0) {
    GroupRecord* group = FindGroup(m_app, m_strGroupName);
    if (group != nullptr) group->m_timeout = m_controls.timeout_text;
  }
  MarkDirty();
}

// ---- Apply ----

void CGroupsEditor::OnApply() {
  if (m_strTimeout.empty()) {
    m_app->DoMessageBox("Error ** Link Check Time Out Can Not Be Empty!! **",
                        MB_OK | MB_ICONEXCLAMATION, 0);
    return;
  }
  if (m_app->m_pageDirty == 0) return;
  m_app->m_appliedChanges += 1;
  m_app->m_pageDirty = 0;
  RenameShownGroup();
  SaveStandalonePorts();
  SaveGroups();
  m_controls.timeout_modified = true;
  if (m_controls.group_ports.empty()) m_controls.timeout_read_only = true;
}

// The shown group takes the typed name when that name begins no listed name. The shown group is
// the first whose ports, sorted, share a position counted from the end with the listed ports.
void CGroupsEditor::RenameShownGroup() {
  const std::vector<std::string>& listed = m_controls.group_ports;
  if (listed.empty()) return;
  GroupRecord* shown = nullptr;
  for (auto& group : m_app->m_groups) {
    std::vector<std::string> ports = Sorted(group->m_ports);
    for (size_t i = ports.size(), j = listed.size(); i > 0 && j > 0 && shown == nullptr; --i, --j) {
      if (ports[i - 1] == listed[j - 1]) shown = group.get();
    }
    if (shown != nullptr) break;
  }
  if (shown == nullptr || FindPrefix(m_controls.group_names, m_strGroupName) >= 0) return;
  // The old name is looked up exactly, past item 0: a prefix search would replace another
  // group's name (Group10 for Group1) or "<Create New Group>" for a group without a name.
  std::vector<std::string>& items = m_controls.group_names;
  auto item = std::find(items.begin() + 1, items.end(), shown->m_name);
  shown->m_name = m_strGroupName;
  if (item != items.end()) {
    *item = m_strGroupName;
  } else {
    items.push_back(m_strGroupName);
  }
}

void CGroupsEditor::SaveStandalonePorts() {
  CAdapterRegistry* registry = m_app->m_registry;
  for (const auto& record : m_app->m_standalonePorts) {
    std::string title;
    // A title that cannot be read is left as it is rather than overwritten with nothing.
    if (registry->GetTitle(kRegTitle, record->m_name, &title)) {
      registry->SetTitle(kRegTitle, record->m_name, TitleWithoutGroup(title));
    }
    m_app->MakeStandalone(record->m_name);
    if (record->m_connectionType != kConnectionTypeUnknown) {
      registry->SetParam(kRegConnectionType, record->m_name, record->m_connectionType);
    }
  }
}

// The highest-numbered port of each group becomes its primary (see ChoosePrimary).
void CGroupsEditor::SaveGroups() {
  CAdapterRegistry* registry = m_app->m_registry;
  for (const auto& group : m_app->m_groups) {
    std::string primary = CGroupsConfigApp::ChoosePrimary(group->m_ports);
    m_app->MakePrimary(primary, static_cast<int>(TimeoutValue(group->m_timeout)), group->m_name);
    AnnotateTitle(primary, group->m_name);
    for (size_t i = 0; i < group->m_ports.size(); ++i) {
      const std::string& port = group->m_ports[i];
      if (port != primary) {
        m_app->MakeBackup(primary, port);
        AnnotateTitle(port, group->m_name);
      }
      if (group->m_connectionTypes[i] != kConnectionTypeUnknown) {
        registry->SetParam(kRegConnectionType, port, group->m_connectionTypes[i]);
      }
    }
  }
}

void CGroupsEditor::AnnotateTitle(const std::string& port, const std::string& group_name) {
  std::string title;
  if (!m_app->m_registry->GetTitle(kRegTitle, port, &title)) return;
  m_app->m_registry->SetTitle(kRegTitle, port, TitleWithoutGroup(title) + " <" + group_name + ">");
}
