// groups_config_page.h: the "Configuration" page of the port aggregation sheet, where a person
// forms port groups, names them, sets their link check time-out and chooses connection types.
//
// The page is the windows of the rules in CGroupsEditor (groups_editor.h): each handler copies
// what the person changed in the controls into the editor, calls the editor's operation and shows
// the editor's controls again. The editor edits the configuration model of the application object
// (theApp), which the entry point loaded before the sheet was shown.
//
// Template 107, "Configuration":
//   1021  list box, extended selection   "Available Corvane NIC Ports:"
//   1022  list box, extended selection   "Group Ports:"
//   1006  button "Add ->"                1007  button "<- Remove"
//   1004  drop-down list                 "Connection Types:" (the six labelled types)
//   1003  editable drop-down, 20 chars   "Group(s)"
//   1011  digits-only edit, 3 chars      "Link Check Timeout:"
//
// Ownership: a member of CGroupsConfigSheet; its control objects are attached while the sheet is
// shown. Threads: the thread that runs the sheet.
#ifndef AGGCFG_GROUPS_CONFIG_PAGE_H
#define AGGCFG_GROUPS_CONFIG_PAGE_H

#include <windows.h>

#include "char_filter_edit.h"
#include "groups_editor.h"
#include "pairway/ui/controls.h"
#include "pairway/ui/property_sheet.h"

// Dialog template and control ids of the page.
constexpr UINT IDD_GROUPS_CONFIG = 107;
constexpr int IDC_GROUP_NAMES = 1003;
constexpr int IDC_CONNECTION_TYPES = 1004;
constexpr int IDC_ADD_PORTS = 1006;
constexpr int IDC_REMOVE_PORTS = 1007;
constexpr int IDC_LINK_CHECK_TIMEOUT = 1011;
constexpr int IDC_AVAILABLE_PORTS = 1021;
constexpr int IDC_GROUP_PORTS = 1022;

class CGroupsConfigPage : public pairway::ui::CPropertyPage {
 public:
  CGroupsConfigPage();
  ~CGroupsConfigPage() override;

  // The page's rules and what its controls show; for the sheet's callers and tests.
  CGroupsEditor& editor() { return m_editor; }

  void DoDataExchange(pairway::ui::CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  BOOL OnApply() override;
  BOOL OnSetActive() override;
  BOOL OnKillActive() override;
  // F1 and the sheet's Help button: the help topic of the focused control.
  LRESULT OnCommandHelp(WPARAM wParam, LPARAM lParam) override;
  // Shift+F1: the page's general topic wherever the person points.
  LRESULT OnHelpHitTest(WPARAM wParam, LPARAM lParam) override;
  DWORD GetHelpContext() const override;

 private:
  void OnAdd();
  void OnRemove();
  void OnCloseupGroupNames();
  void OnEditchangeGroupNames();
  void OnCloseupConnectionTypes();
  void OnSelchangeConnectionTypes();
  void OnChangeTimeout();
  void OnSelchangeAvailablePorts();
  void OnSelchangeGroupPorts();

  // Runs one operation of the editor between reading and showing the controls. Notifications
  // that the page's own changes to the controls raise are not the person's and run nothing.
  template <typename Operation>
  void Run(Operation operation);
  void ReadControls();
  void ShowControls();
  void FocusGroupName(GroupNameField action);

  // Members in the order the page's controls are bound.
  CCharFilterEdit m_timeoutEdit;
  pairway::ui::CListBox m_groupPortsList;
  pairway::ui::CListBox m_availableList;
  pairway::ui::CComboBox m_groupCombo;
  pairway::ui::CComboBox m_connectionTypeList;
  CGroupsEditor m_editor;
  bool m_showing = false;
};

#endif  // AGGCFG_GROUPS_CONFIG_PAGE_H
