// dialog.h: modal dialogs built from a template, and data exchange between a dialog's controls
// and its members.
//
// The steps, as the platform's framework runs them:
//
//   DoModal       builds the widgets from the template, calls OnInitDialog, runs the modal loop
//                 until EndDialog, destroys the widgets and returns the EndDialog result.
//   OnInitDialog  base: UpdateData(FALSE) (members to controls); TRUE lets the framework put the
//                 focus on the first control that takes it.
//   OnOK          base (OK button, id 1, or Return on the default button): UpdateData(TRUE) and,
//                 when it passes, EndDialog(IDOK).
//   OnCancel      base (Cancel button, id 2, Escape, closing the window): EndDialog(IDCANCEL).
//
// Data exchange. DoDataExchange lists the dialog's members with the DDX_ and DDV_ calls below;
// UpdateData(FALSE) moves members to controls, UpdateData(TRUE) moves controls to members and
// checks them. A check that fails shows its message through the application's message box, puts
// the focus on the offending control and stops the exchange: the calls after it do nothing and
// UpdateData returns FALSE. (The platform's framework stops by throwing; ours does not throw.)
//
// Ownership: the dialog owns its widgets while it is shown; control objects that are members of
// the dialog are attached to them and detached when the widgets go. The parent window is
// borrowed and must outlive DoModal.
// Threads: GUI thread only (DoModal makes a Qt application on the calling thread when the
// process has none, see gui_session.h).
#ifndef PAIRWAY_UI_DIALOG_H
#define PAIRWAY_UI_DIALOG_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pairway/api.h"
#include "pairway/ui/dialog_template.h"
#include "pairway/ui/wnd.h"

class QDialog;

namespace pairway::ui {

class CDialog;

// One run of DoDataExchange.
class PAIRWAY_API CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL save_and_validate);

  BOOL m_bSaveAndValidate;  // TRUE: controls to members, with checks; FALSE: members to controls
  CDialog* m_pDlgWnd;       // the dialog being exchanged

  // Names the control that the following DDV_ checks are about.
  void PrepareCtrl(int id);
  void PrepareEditCtrl(int id);
  // Stops the exchange after a failed check: the focus goes to the last prepared control (its
  // text selected when it is an edit) and every later DDX_/DDV_ call does nothing.
  void Fail();
  bool failed() const { return failed_; }
  int last_control() const { return last_control_; }
  bool last_control_is_edit() const { return last_is_edit_; }

 private:
  int last_control_ = 0;
  bool last_is_edit_ = false;
  bool failed_ = false;
};

// Attaches `control` to the dialog's control `id` on the first exchange (later ones leave it).
PAIRWAY_API void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// Exchanges `value` with the window text of control `id` (an edit, or a combo box's edit field).
PAIRWAY_API void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// Saving: fails with "Please enter no more than %1 characters." (%1 = max_chars) when `value`
// is longer. Every exchange that passes also limits the input of the last control to max_chars,
// when that control is an edit (as the platform's EM_LIMITTEXT; a combo box keeps its own limit).
PAIRWAY_API void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int max_chars);

class PAIRWAY_API CDialog : public CWnd {
 public:
  // `dialog_template` is borrowed and must outlive the dialog (a static table). `parent` may be
  // null.
  explicit CDialog(const DialogTemplate& dialog_template, CWnd* parent = nullptr);
  ~CDialog() override;

  // Runs the dialog modally; returns the value given to EndDialog (IDOK, IDCANCEL, ...), or -1
  // when the dialog could not be made.
  virtual INT_PTR DoModal();
  // Ends the modal loop with `result` once the current handler returns.
  void EndDialog(int result);

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* pDX);
  // FALSE when a check failed (see above).
  BOOL UpdateData(BOOL save_and_validate = TRUE);

  CWnd* GetDlgItem(int id) const override;
  // Moves the focus to `control`, selecting all of an edit's text, as the dialog manager does.
  void GotoDlgCtrl(CWnd* control);

  // Handlers first; then the standard buttons: BN_CLICKED of IDOK calls OnOK, of IDCANCEL
  // OnCancel.
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  const DialogTemplate& dialog_template() const { return template_; }

  // ---- Framework internals ----
  // Builds the template's controls into `host` (sized to the template) and attaches a default
  // object to each control with an id. The property sheet uses it for its pages.
  void CreateControls(QWidget* host);
  // Detaches every control object; the widgets go with their host.
  void DetachControls();
  // The help command of a dialog or page: F1 and Help buttons end here (OnCommandHelp, then the
  // application's help command).
  void RunHelpCommand();

 protected:
  void OnChildDetached(CWnd* child) override;
  // Where the dialog's keyboard help and modal loop live; null while not shown.
  QDialog* dialog_widget() const { return dialog_widget_; }

 private:
  friend class CWnd;
  // Makes `child` the object attached to control `id`; returns the widget, or null when the
  // dialog has no such control.
  QWidget* AdoptControl(int id, CWnd* child);

  const DialogTemplate& template_;
  CWnd* parent_window_;
  QDialog* dialog_widget_ = nullptr;
  bool ended_ = false;
  int result_ = -1;
  std::map<int, QWidget*> control_widgets_;
  std::map<int, CWnd*> attached_;
  std::vector<std::unique_ptr<CWnd>> default_controls_;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_DIALOG_H
