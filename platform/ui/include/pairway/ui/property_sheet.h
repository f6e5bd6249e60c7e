// property_sheet.h: a modal property sheet with its pages.
//
// The sheet shows its pages as tabs above the buttons OK (id 1), Cancel (id 2), Apply (id 12321)
// and Help (id 9). A page's widgets are built from its template the first time it becomes active;
// a page never shown has no widgets and takes no part in OK, Apply and Cancel (as on the
// platform, whose pages exist only once shown).
//
// The steps, in the order the platform's framework runs them:
//
//   showing        the first page (the one chosen at construction): OnInitDialog, OnSetActive
//   changing tabs  the current page's OnKillActive; FALSE keeps it current. Then the new page:
//                  OnInitDialog when first shown, OnSetActive
//   OK             the current page's OnKillActive (FALSE: the sheet stays open); every shown
//                  page's OnApply in page order (FALSE: the sheet stays open on that page); the
//                  sheet ends with IDOK
//   Apply          as OK, but the sheet stays open: every page's modified state is cleared, Apply
//                  is disabled and the current page gets OnSetActive again
//   Cancel         the current page's OnQueryCancel (FALSE: stays open); every shown page's
//                  OnReset; the sheet ends with IDCANCEL (Escape and closing the window alike)
//   Help, F1       the current page's OnCommandHelp; when it declines, the application's help
//                  command (CWinApp::OnCmdMsg(ID_HELP))
//
// Page defaults: OnSetActive exchanges members to controls (UpdateData(FALSE)) except the first
// time, since OnInitDialog just did; OnKillActive exchanges controls to members with the checks
// (UpdateData(TRUE)) and answers whether they passed; OnApply calls OnOK and answers TRUE; OnReset
// calls OnCancel; OnOK, OnCancel do nothing; OnQueryCancel answers TRUE.
//
// Apply is enabled while at least one page reports itself modified (SetModified).
//
// Ownership: pages are borrowed (usually members of the derived sheet) and must outlive the
// sheet's DoModal. Threads: GUI thread only.
#ifndef PAIRWAY_UI_PROPERTY_SHEET_H
#define PAIRWAY_UI_PROPERTY_SHEET_H

#include <memory>
#include <string>
#include <vector>

#include "pairway/api.h"
#include "pairway/ui/dialog.h"
#include "pairway/ui/wnd.h"

class QDialog;
class QPushButton;
class QTabWidget;

namespace pairway::ui {

// The Apply button's id.
inline constexpr int ID_APPLY_NOW = 12321;

class CPropertySheet;

class PAIRWAY_API CPropertyPage : public CDialog {
 public:
  // The tab shows the template's caption.
  explicit CPropertyPage(const DialogTemplate& dialog_template);
  ~CPropertyPage() override;

  virtual BOOL OnSetActive();
  virtual BOOL OnKillActive();
  virtual BOOL OnApply();
  virtual void OnReset();
  virtual BOOL OnQueryCancel();
  void OnOK() override;
  void OnCancel() override;

  // Marks the page modified (Apply enabled) or not (Apply disabled unless another page is).
  void SetModified(BOOL changed = TRUE);
  bool IsModified() const { return modified_; }
  // The sheet holding the page, or null before AddPage.
  CPropertySheet* GetSheet() const { return sheet_; }

  // A page is never shown on its own.
  INT_PTR DoModal() override;

 private:
  friend class CPropertySheet;
  CPropertySheet* sheet_ = nullptr;
  bool modified_ = false;
  bool first_set_active_ = true;
};

class PAIRWAY_API CPropertySheet : public CWnd {
 public:
  // `caption` is copied. The sheet opens on page `select_page`.
  explicit CPropertySheet(LPCSTR caption, CWnd* parent = nullptr, UINT select_page = 0);
  ~CPropertySheet() override;

  // Appends a page (before DoModal).
  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const;
  int GetPageIndex(const CPropertyPage* page) const;
  CPropertyPage* GetActivePage() const;
  int GetActiveIndex() const;
  // Switches as a tab click does (the current page may refuse); before DoModal it chooses the
  // first page. FALSE when refused or out of range.
  BOOL SetActivePage(int index);
  BOOL SetActivePage(CPropertyPage* page);

  // Shows the sheet modally; IDOK or IDCANCEL.
  INT_PTR DoModal();
  void EndDialog(int result);
  // Presses button IDOK, IDCANCEL, ID_APPLY_NOW or IDHELP as a click would (disabled: nothing).
  BOOL PressButton(int id);

  // The sheet's buttons by id; a page's controls are reached through the page.
  CWnd* GetDlgItem(int id) const override;
  // The active page's context.
  DWORD GetHelpContext() const override;

  // ---- Framework internals ----
  // Recomputes Apply from the pages' modified states.
  void UpdateApplyButton();

 private:
  class Buttons;
  // Makes page `index` current, asking the current one first; false when it refused.
  bool ChangePage(int index);
  void ShowPage(int index);
  void Ok();
  bool Apply();
  void Cancel();
  void Help();

  std::string caption_;
  CWnd* parent_window_;
  int start_page_;
  std::vector<CPropertyPage*> pages_;
  std::vector<bool> shown_;
  int active_ = -1;
  bool ended_ = false;
  int result_ = IDCANCEL;
  QDialog* dialog_widget_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  std::unique_ptr<Buttons> buttons_;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_PROPERTY_SHEET_H
