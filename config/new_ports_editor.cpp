// The new-hardware dialog's rules: rows, the connection type choice and saving the ports.
#include "new_ports_editor.h"

#include <algorithm>
#include <set>

#include "registry_layout.h"

const char* const kNewHardwareTypeItems[kLabelledConnectionTypes + 1] = {
    "Autodetect Default Connection     ",
    "10 Mbps UTP/Half Duplex            ",
    "10 Mbps UTP/Full Duplex            ",
    "100 Mbps/Half Duplex                ",
    "100 Mbps/Full Duplex                ",
    "THIN                                        ",
    nullptr,
};

namespace {

std::string PadTo(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string WithoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace

CNewPortsEditor::CNewPortsEditor(CGroupsConfigApp* app) : m_app(app) {}

void CNewPortsEditor::Start() {
  m_typeChosen = false;
  m_portsChosen = false;
  m_app->m_appliedChanges = 0;
  m_controls = NewPortsControls();
  for (const auto& record : m_app->m_standalonePorts) {
    const char* label = CGroupsConfigApp::ConnectionTypeLabel(
        CGroupsConfigApp::IndexFromConnectionType(record->m_connectionType));
    m_controls.rows.push_back(BuildRow(*record, label != nullptr ? label : ""));
  }
  if (!m_controls.rows.empty()) m_controls.row_selection = {0};
}

void CNewPortsEditor::TypeSelectionChanged() {
  if (m_portsChosen) m_controls.apply_enabled = true;
  m_typeChosen = true;
}

void CNewPortsEditor::PortSelectionChanged() {
  if (m_typeChosen) m_controls.apply_enabled = true;
  m_portsChosen = true;
}

void CNewPortsEditor::ApplyConnectionType() {
  const int position = std::clamp(m_controls.connection_type, 0, kLabelledConnectionTypes - 1);
  const std::string label = kNewHardwareTypeItems[position];
  for (int row : m_controls.row_selection) {
    if (row < 0 || row >= static_cast<int>(m_controls.rows.size())) continue;
    StandalonePortRecord* record = FindRecord(RowInstanceName(m_controls.rows[row]));
    if (record == nullptr) {
      m_controls.rows[row].clear();
      continue;
    }
    record->m_connectionType = CGroupsConfigApp::ConnectionTypeFromIndex(position);
    m_controls.rows[row] = BuildRow(*record, label);
  }
  m_controls.row_selection.clear();
}

int CNewPortsEditor::Apply() {
  m_controls.apply_enabled = false;
  m_typeChosen = false;
  m_portsChosen = false;
  const int saved = Save();
  // Only a save counts: the caller learns from the count that the registry changed.
  if (saved) m_app->m_appliedChanges++;
  return saved;
}

int CNewPortsEditor::Save() {
  if (m_app->m_standalonePorts.empty()) {
    m_app->DoMessageBox("No Stand Alone Ports To Save!!!", MB_OK, 0);
    return 0;
  }
  CAdapterRegistry* registry = m_app->m_registry;
  for (const auto& record : m_app->m_standalonePorts) {
    const std::string& name = record->m_name;
    // A value that could not be read is no code of the driver's and is never written back.
    if (record->m_connectionType != kConnectionTypeUnknown) {
      registry->SetParam(kRegConnectionType, name, record->m_connectionType);
    }
    DWORD index = 0;
    if (registry->GetParam(kRegAdapterIndex, name, &index)) continue;
    registry->SetParam(kRegAdapterIndex, name, static_cast<DWORD>(NextFreeAdapterIndex()));
    m_app->EnablePortBindings(name);
  }
  return 1;
}

int CNewPortsEditor::NextFreeAdapterIndex() {
  int* table = m_app->m_registry->adapter_indexes();
  std::set<int> used;
  for (int slot = 0; slot < kAdapterIndexSlots; ++slot) {
    if (table[slot] >= 0 && table[slot] < ADAPTER_INDEX_COUNT) used.insert(table[slot]);
  }
  int free = 0;
  while (free < ADAPTER_INDEX_COUNT && used.count(free) != 0) ++free;
  if (free == ADAPTER_INDEX_COUNT) return ADAPTER_INDEX_OVERFLOW;
  // Rebuilt from the indexes in use rather than written into a free slot: a table whose slots
  // hold repeated or overflow indexes has no free slot, yet must not lose an index in use.
  used.insert(free);
  std::fill(table, table + kAdapterIndexSlots, kNoAdapterIndex);
  std::copy(used.begin(), used.end(), table);
  return free;
}

std::string CNewPortsEditor::BuildRow(const StandalonePortRecord& record,
                                      const std::string& label) {
  return PadTo(record.m_name, kRowNameWidth) + PadTo(label, kRowTypeWidth) +
         PadTo(record.m_busText, kRowBusWidth) + record.m_slotText;
}

std::string CNewPortsEditor::RowInstanceName(const std::string& row) {
  const size_t length = sizeof(TREVAN_PRODUCT_NAME) - 1 + 2;
  return WithoutTrailingBlanks(row.substr(0, std::min(length, row.size())));
}

StandalonePortRecord* CNewPortsEditor::FindRecord(const std::string& name) const {
  for (const auto& record : m_app->m_standalonePorts) {
    if (record->m_name == name) return record.get();
  }
  return nullptr;
}
