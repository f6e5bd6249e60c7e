// The new-hardware dialog: its template, its handlers and its help.
#include "new_hardware_dlg.h"

#include <vector>

#include "groups_config_app.h"
#include "help_contexts.h"
#include "resource_ids.h"

using pairway::ui::CDataExchange;
using pairway::ui::ControlKind;
using pairway::ui::DialogControl;
using pairway::ui::DialogTemplate;
using pairway::ui::NotifyEntry;

namespace {

const DialogControl kNewHardwareControls[] = {
    {IDOK, ControlKind::kPushButton, "OK", 118, 172, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, ControlKind::kPushButton, "Cancel", 172, 172, 50, 14, WS_TABSTOP},
    {IDC_NEW_HW_APPLY, ControlKind::kPushButton, "Apply", 226, 172, 50, 14, WS_TABSTOP},
    {IDC_NEW_HW_HELP, ControlKind::kPushButton, "Help", 280, 172, 50, 14, WS_TABSTOP},
    {IDC_NEW_HW_TYPES, ControlKind::kComboBox, nullptr, 80, 30, 150, 90,
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, kNewHardwareTypeItems},
    {IDC_NEW_HW_PORTS, ControlKind::kListBox, nullptr, 14, 74, 316, 88,
     LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP},
    {IDC_NEW_HW_BANNER, ControlKind::kBitmap, nullptr, 7, 7, 64, 15, 0, IDB_BANNER},
    {IDC_STATIC, ControlKind::kBitmap, nullptr, 298, 5, 32, 30, 0, IDB_PORTS_PICTURE},
    {IDC_STATIC, ControlKind::kText, "Select Connection Types here or on the next screen.", 80, 11,
     200, 8},
    {IDC_STATIC, ControlKind::kText, "Connection Types:", 14, 32, 62, 8},
    {IDC_STATIC, ControlKind::kGroupBox, " New Corvane NIC Ports Available: ", 7, 50, 330, 118},
    {IDC_STATIC, ControlKind::kText, "Port", 16, 63, 36, 8},
    {IDC_STATIC, ControlKind::kText, "Connection Types", 56, 63, 80, 8},
    {IDC_STATIC, ControlKind::kText, "PCI Bus", 200, 63, 40, 8},
    {IDC_STATIC, ControlKind::kText, "PCI Slot", 262, 63, 40, 8},
};

const NotifyEntry<CNewHardwareDlg> kHandlers[] = {
    {IDC_NEW_HW_TYPES, CBN_CLOSEUP, &CNewHardwareDlg::OnCloseupConnectionTypes},
    {IDC_NEW_HW_TYPES, CBN_SELCHANGE, &CNewHardwareDlg::OnSelchangeConnectionTypes},
    {IDC_NEW_HW_PORTS, LBN_SELCHANGE, &CNewHardwareDlg::OnSelchangePorts},
    {IDC_NEW_HW_APPLY, BN_CLICKED, &CNewHardwareDlg::OnApply},
    {IDC_NEW_HW_HELP, BN_CLICKED, &CNewHardwareDlg::OnHelpButton},
};

const HelpContext kHelpContexts[] = {
    {IDOK, 19},
    {IDCANCEL, 20},
    {IDC_NEW_HW_HELP, 2},
    {IDC_NEW_HW_APPLY, 21},
    {IDC_NEW_HW_TYPES, 5},
    {IDC_NEW_HW_PORTS, 17},
};
constexpr DWORD kDialogHelpContext = 2;

}  // namespace

const DialogTemplate kNewHardwareTemplate{IDD_NEW_HARDWARE, "Corvane New Hardware Found", 344, 192,
                                          kNewHardwareControls};

CNewHardwareDlg::CNewHardwareDlg(pairway::ui::CWnd* parent)
    : CDialog(kNewHardwareTemplate, parent), m_editor(&theApp) {
  MapHandlers(this, kHandlers);
}

void CNewHardwareDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_NEW_HW_APPLY, m_applyButton);
  DDX_Control(pDX, IDC_NEW_HW_TYPES, m_connectionTypes);
  DDX_Control(pDX, IDC_NEW_HW_PORTS, m_portList);
}

BOOL CNewHardwareDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_editor.Start();
  m_applyButton.EnableWindow(FALSE);
  const NewPortsControls& shown = m_editor.controls();
  m_connectionTypes.SetCurSel(shown.connection_type);
  for (const std::string& row : shown.rows) m_portList.AddString(row.c_str());
  for (int row : shown.row_selection) m_portList.SetSel(row, TRUE);
  return TRUE;
}

void CNewHardwareDlg::TakeChoices() {
  NewPortsControls& choices = m_editor.controls();
  choices.connection_type = m_connectionTypes.GetCurSel();
  std::vector<int> selected(static_cast<size_t>(std::max(m_portList.GetSelCount(), 0)));
  const int count = m_portList.GetSelItems(static_cast<int>(selected.size()), selected.data());
  selected.resize(static_cast<size_t>(std::max(count, 0)));
  choices.row_selection = selected;
}

void CNewHardwareDlg::OnCloseupConnectionTypes() {
  TakeChoices();
  const std::vector<int> changed = m_editor.controls().row_selection;
  m_editor.ApplyConnectionType();
  // Each changed row is replaced, as the list's own rows are: deleted, then inserted anew.
  for (int row : changed) {
    m_portList.DeleteString(static_cast<UINT>(row));
    m_portList.InsertString(row, m_editor.controls().rows[static_cast<size_t>(row)].c_str());
  }
}

void CNewHardwareDlg::OnSelchangeConnectionTypes() {
  m_editor.TypeSelectionChanged();
  m_applyButton.EnableWindow(m_editor.controls().apply_enabled);
}

void CNewHardwareDlg::OnSelchangePorts() {
  m_editor.PortSelectionChanged();
  m_applyButton.EnableWindow(m_editor.controls().apply_enabled);
}

void CNewHardwareDlg::OnApply() {
  m_editor.Apply();
  m_applyButton.EnableWindow(m_editor.controls().apply_enabled);
}

void CNewHardwareDlg::OnOK() {
  m_editor.Save();
  CDialog::OnOK();
}

void CNewHardwareDlg::OnHelpButton() { theApp.WinHelp(kDialogHelpContext, HELP_CONTEXT); }

LRESULT CNewHardwareDlg::OnCommandHelp(WPARAM, LPARAM) {
  theApp.WinHelp(GetHelpContext(), HELP_CONTEXT);
  return TRUE;
}

LRESULT CNewHardwareDlg::OnHelpHitTest(WPARAM, LPARAM) { return kGeneralHelpContext; }

DWORD CNewHardwareDlg::GetHelpContext() const { return HelpContextOfFocus(kHelpContexts); }
