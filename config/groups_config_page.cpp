// The "Configuration" page: template 107, its data exchange, the notifications it handles and
// the way it shows the editor's controls.
#include "groups_config_page.h"

#include <algorithm>
#include <vector>

using pairway::ui::CDataExchange;
using pairway::ui::ControlKind;
using pairway::ui::CPropertyPage;
using pairway::ui::CWnd;
using pairway::ui::DialogControl;
using pairway::ui::DialogTemplate;
using pairway::ui::NotifyEntry;

namespace {

// The decorations every dialog of the library carries: the banner (control 1057) and the picture
// of the ports.
constexpr int kBannerControl = 1057;
constexpr UINT kBannerBitmap = 151;
constexpr UINT kPortsBitmap = 137;

// The six labelled connection types, padded with blanks as the page's resource holds them; the
// page knows them only by position.
const char* const kConnectionTypeItems[] = {
    "Autodetect Default Connection    ",
    "10 Mbps UTP/Half Duplex          ",
    "10 Mbps UTP/Full Duplex          ",
    "100 Mbps/Half Duplex             ",
    "100 Mbps/Full Duplex             ",
    "THIN                             ",
    nullptr,
};

const DialogControl kControls[] = {
    {IDC_STATIC, ControlKind::kText, "Available Corvane NIC Ports:", 7, 7, 138, 8},
    {IDC_AVAILABLE_PORTS, ControlKind::kListBox, nullptr, 7, 18, 85, 92,
     LBS_EXTENDEDSEL | WS_VSCROLL | WS_TABSTOP},
    {IDC_ADD_PORTS, ControlKind::kPushButton, "Add ->", 97, 40, 48, 14, WS_TABSTOP},
    {IDC_REMOVE_PORTS, ControlKind::kPushButton, "<- Remove", 97, 62, 48, 14, WS_TABSTOP},
    {IDC_STATIC, ControlKind::kText, "Group Ports:", 150, 7, 85, 8},
    {IDC_GROUP_PORTS, ControlKind::kListBox, nullptr, 150, 18, 85, 92,
     LBS_EXTENDEDSEL | WS_VSCROLL | WS_TABSTOP},
    {kBannerControl, ControlKind::kBitmap, nullptr, 242, 7, 47, 40, 0, kBannerBitmap},
    {IDC_STATIC, ControlKind::kBitmap, nullptr, 242, 56, 47, 54, 0, kPortsBitmap},
    {IDC_STATIC, ControlKind::kText, "Connection Types:", 7, 118, 85, 8},
    {IDC_CONNECTION_TYPES, ControlKind::kComboBox, nullptr, 7, 129, 138, 80,
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, kConnectionTypeItems},
    {IDC_STATIC, ControlKind::kGroupBox, nullptr, 150, 112, 139, 54},
    {IDC_STATIC, ControlKind::kText, "Group(s)", 156, 125, 40, 8},
    {IDC_GROUP_NAMES, ControlKind::kComboBox, nullptr, 200, 122, 83, 80,
     CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP},
    {IDC_STATIC, ControlKind::kText, "Link Check Timeout:", 156, 147, 80, 8},
    {IDC_LINK_CHECK_TIMEOUT, ControlKind::kEdit, nullptr, 240, 145, 30, 12,
     ES_AUTOHSCROLL | WS_TABSTOP},
};

const DialogTemplate kTemplate{IDD_GROUPS_CONFIG, "Configuration", 296, 173, kControls};

// Help topics by the control that has the keyboard focus.
struct HelpTopic {
  int control;
  DWORD context;
};
const HelpTopic kHelpTopics[] = {
    {IDOK, 19},
    {IDCANCEL, 20},
    {IDHELP, 1},
    {IDC_GROUP_NAMES, 18},
    {IDC_CONNECTION_TYPES, 5},
    {IDC_ADD_PORTS, 11},
    {IDC_REMOVE_PORTS, 12},
    {IDC_LINK_CHECK_TIMEOUT, 13},
    {IDC_AVAILABLE_PORTS, 9},
    {IDC_GROUP_PORTS, 10},
    {pairway::ui::ID_APPLY_NOW, 21},
};
constexpr DWORD kGeneralHelpContext = 1;

// Only the time-out's digits can be typed; control characters (Backspace) always pass.
constexpr WORD kDigitsOnly = kCharClassDigit;

std::vector<int> SelectedItems(const pairway::ui::CListBox& list) {
  std::vector<int> selected(static_cast<size_t>(std::max(list.GetSelCount(), 0)));
  int count = list.GetSelItems(static_cast<int>(selected.size()), selected.data());
  selected.resize(static_cast<size_t>(std::max(count, 0)));
  return selected;
}

// Refills a list only when its items changed, so the person's scroll position stays otherwise.
template <typename List>
bool ShowItems(List& list, const std::vector<std::string>& items,
               int (List::*text_of)(int, std::string&) const) {
  bool same = list.GetCount() == static_cast<int>(items.size());
  for (size_t i = 0; same && i < items.size(); ++i) {
    std::string text;
    (list.*text_of)(static_cast<int>(i), text);
    same = text == items[i];
  }
  if (same) return false;
  list.ResetContent();
  for (const std::string& item : items) list.AddString(item.c_str());
  return true;
}

void ShowSelection(pairway::ui::CListBox& list, const std::vector<int>& selection) {
  if (SelectedItems(list) == selection) return;
  list.SetSel(-1, FALSE);
  for (int item : selection) list.SetSel(item, TRUE);
}

}  // namespace

CGroupsConfigPage::CGroupsConfigPage() : CPropertyPage(kTemplate), m_editor(&theApp) {
  static const NotifyEntry<CGroupsConfigPage> kHandlers[] = {
      {IDC_ADD_PORTS, BN_CLICKED, &CGroupsConfigPage::OnAdd},
      {IDC_REMOVE_PORTS, BN_CLICKED, &CGroupsConfigPage::OnRemove},
      {IDC_GROUP_NAMES, CBN_CLOSEUP, &CGroupsConfigPage::OnCloseupGroupNames},
      {IDC_GROUP_NAMES, CBN_EDITCHANGE, &CGroupsConfigPage::OnEditchangeGroupNames},
      {IDC_CONNECTION_TYPES, CBN_CLOSEUP, &CGroupsConfigPage::OnCloseupConnectionTypes},
      {IDC_CONNECTION_TYPES, CBN_SELCHANGE, &CGroupsConfigPage::OnSelchangeConnectionTypes},
      {IDC_LINK_CHECK_TIMEOUT, EN_CHANGE, &CGroupsConfigPage::OnChangeTimeout},
      {IDC_AVAILABLE_PORTS, LBN_SELCHANGE, &CGroupsConfigPage::OnSelchangeAvailablePorts},
      {IDC_GROUP_PORTS, LBN_SELCHANGE, &CGroupsConfigPage::OnSelchangeGroupPorts},
  };
  MapHandlers(this, kHandlers);
}

CGroupsConfigPage::~CGroupsConfigPage() = default;

void CGroupsConfigPage::DoDataExchange(CDataExchange* pDX) {
  CPropertyPage::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LINK_CHECK_TIMEOUT, m_timeoutEdit);
  DDX_Control(pDX, IDC_GROUP_PORTS, m_groupPortsList);
  DDX_Control(pDX, IDC_AVAILABLE_PORTS, m_availableList);
  DDX_Control(pDX, IDC_GROUP_NAMES, m_groupCombo);
  DDX_Control(pDX, IDC_CONNECTION_TYPES, m_connectionTypeList);
  DDX_Text(pDX, IDC_LINK_CHECK_TIMEOUT, m_editor.m_strTimeout);
  DDV_MaxChars(pDX, m_editor.m_strTimeout, kTimeoutLimit);
  DDX_Text(pDX, IDC_GROUP_NAMES, m_editor.m_strGroupName);
  DDV_MaxChars(pDX, m_editor.m_strGroupName, kGroupNameLimit);
}

BOOL CGroupsConfigPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  m_groupCombo.LimitText(kGroupNameLimit);
  m_timeoutEdit.SubclassEdit(IDC_LINK_CHECK_TIMEOUT, this, kDigitsOnly);
  Run([this] { m_editor.OnInitDialog(); });
  return TRUE;
}

BOOL CGroupsConfigPage::OnSetActive() {
  BOOL result = CPropertyPage::OnSetActive();
  m_editor.OnSetActive();
  SetModified(m_editor.page_modified());
  return result;
}

BOOL CGroupsConfigPage::OnKillActive() {
  m_editor.OnKillActive();
  SetModified(m_editor.page_modified());
  return CPropertyPage::OnKillActive();
}

BOOL CGroupsConfigPage::OnApply() {
  Run([this] { m_editor.OnApply(); });
  return CPropertyPage::OnApply();
}

void CGroupsConfigPage::OnAdd() {
  GroupNameField field = GroupNameField::kLeave;
  Run([&] { field = m_editor.OnAdd(); });
  FocusGroupName(field);
}

void CGroupsConfigPage::OnRemove() {
  GroupNameField field = GroupNameField::kLeave;
  Run([&] { field = m_editor.OnRemove(); });
  FocusGroupName(field);
}

void CGroupsConfigPage::OnCloseupGroupNames() {
  Run([this] { m_editor.OnGroupListClosed(); });
}

void CGroupsConfigPage::OnEditchangeGroupNames() {
  Run([this] { m_editor.OnGroupTextEdited(); });
}

void CGroupsConfigPage::OnCloseupConnectionTypes() {
  Run([this] { m_editor.OnConnectionTypeListClosed(); });
}

void CGroupsConfigPage::OnSelchangeConnectionTypes() {
  Run([this] { m_editor.OnConnectionTypeChanged(); });
}

void CGroupsConfigPage::OnChangeTimeout() {
  Run([this] { m_editor.OnTimeoutChanged(); });
}

void CGroupsConfigPage::OnSelchangeAvailablePorts() {
  Run([this] { m_editor.OnAvailableSelectionChanged(); });
}

void CGroupsConfigPage::OnSelchangeGroupPorts() {
  Run([this] { m_editor.OnGroupPortSelectionChanged(); });
}

template <typename Operation>
void CGroupsConfigPage::Run(Operation operation) {
  if (m_showing) return;
  ReadControls();
  operation();
  ShowControls();
}

void CGroupsConfigPage::ReadControls() {
  GroupsPageControls& c = m_editor.controls();
  c.available_selection = SelectedItems(m_availableList);
  c.group_port_selection = SelectedItems(m_groupPortsList);
  c.group_choice = m_groupCombo.GetCurSel();
  c.group_names_limit = m_groupCombo.GetItemLimit();
  m_groupCombo.GetWindowText(c.group_text);
  c.connection_type = m_connectionTypeList.GetCurSel();
  m_timeoutEdit.GetWindowText(c.timeout_text);
  c.timeout_modified = m_timeoutEdit.GetModify() != FALSE;
}

void CGroupsConfigPage::ShowControls() {
  m_showing = true;
  const GroupsPageControls& c = m_editor.controls();
  using pairway::ui::CComboBox;
  using pairway::ui::CListBox;
  if (ShowItems<CListBox>(m_availableList, c.available, &CListBox::GetText)) {
    m_availableList.SetCaretIndex(0);
  }
  ShowSelection(m_availableList, c.available_selection);
  if (ShowItems<CListBox>(m_groupPortsList, c.group_ports, &CListBox::GetText)) {
    m_groupPortsList.SetCaretIndex(0);
  }
  ShowSelection(m_groupPortsList, c.group_port_selection);
  ShowItems<CComboBox>(m_groupCombo, c.group_names, &CComboBox::GetLBText);
  if (m_groupCombo.GetCurSel() != c.group_choice) m_groupCombo.SetCurSel(c.group_choice);
  std::string text;
  m_groupCombo.GetWindowText(text);
  if (text != c.group_text) m_groupCombo.SetWindowText(c.group_text.c_str());
  if (m_connectionTypeList.GetCurSel() != c.connection_type) {
    m_connectionTypeList.SetCurSel(c.connection_type);
  }
  m_timeoutEdit.GetWindowText(text);
  if (text != c.timeout_text) m_timeoutEdit.SetWindowText(c.timeout_text.c_str());
  m_timeoutEdit.SetModify(c.timeout_modified ? TRUE : FALSE);
  m_timeoutEdit.SetReadOnly(c.timeout_read_only ? TRUE : FALSE);
  SetModified(m_editor.page_modified());
  m_showing = false;
}

void CGroupsConfigPage::FocusGroupName(GroupNameField field) {
  if (field == GroupNameField::kLeave) return;
  m_groupCombo.SetEditSel(0, -1);
  if (field == GroupNameField::kSelectAndFocus) m_groupCombo.SetFocus();
}

DWORD CGroupsConfigPage::GetHelpContext() const {
  CWnd* focus = CWnd::GetFocus();
  int id = focus != nullptr ? focus->GetDlgCtrlID() : 0;
  for (const HelpTopic& topic : kHelpTopics) {
    if (topic.control == id) return topic.context;
  }
  return kGeneralHelpContext;
}

LRESULT CGroupsConfigPage::OnCommandHelp(WPARAM, LPARAM) {
  theApp.WinHelp(GetHelpContext(), HELP_CONTEXT);
  return TRUE;
}

LRESULT CGroupsConfigPage::OnHelpHitTest(WPARAM, LPARAM) { return kGeneralHelpContext; }
