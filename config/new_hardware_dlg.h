// new_hardware_dlg.h: the dialog that asks for the connection types of newly installed ports
// (CNewHardwareDlg, dialog template 129). The rules are CNewPortsEditor's; the dialog shows what
// the editor holds and hands it the person's choices.
//
// Lifetime: made and run by the connection type entry point, as the application's main window,
// for one call. The application object's m_registry and m_standalonePorts must outlive it.
// Threads: the thread that runs the dialogs.
#ifndef AGGCFG_NEW_HARDWARE_DLG_H
#define AGGCFG_NEW_HARDWARE_DLG_H

#include <windows.h>

#include "new_ports_editor.h"
#include "pairway/ui/controls.h"
#include "pairway/ui/dialog.h"

enum : int {
  IDD_NEW_HARDWARE = 129,
  IDC_NEW_HW_HELP = 1004,
  IDC_NEW_HW_APPLY = 1005,
  IDC_NEW_HW_TYPES = 1006,
  IDC_NEW_HW_PORTS = 1007,
  IDC_NEW_HW_BANNER = 1057,
};
extern const pairway::ui::DialogTemplate kNewHardwareTemplate;

class CNewHardwareDlg : public pairway::ui::CDialog {
 public:
  explicit CNewHardwareDlg(pairway::ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  // Saves the ports and ends the dialog with OK, also when there was nothing to save.
  void OnOK() override;
  void DoDataExchange(pairway::ui::CDataExchange* pDX) override;
  LRESULT OnCommandHelp(WPARAM wParam, LPARAM lParam) override;
  LRESULT OnHelpHitTest(WPARAM wParam, LPARAM lParam) override;
  DWORD GetHelpContext() const override;

  pairway::ui::CButton m_applyButton;        // 1005
  pairway::ui::CComboBox m_connectionTypes;  // 1006
  pairway::ui::CListBox m_portList;          // 1007

  // ---- Handlers of the controls' notifications ----
  void OnCloseupConnectionTypes();
  void OnSelchangeConnectionTypes();
  void OnSelchangePorts();
  void OnApply();
  void OnHelpButton();

 private:
  // Copies the person's choices into the editor.
  void TakeChoices();

  CNewPortsEditor m_editor;
};

#endif  // AGGCFG_NEW_HARDWARE_DLG_H
