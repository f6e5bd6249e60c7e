// wnd.h: CWnd, the base of every window of the dialog framework, and the way notifications reach
// named handler functions.
//
// A window of the framework wraps one Qt widget. Dialogs, property sheets and pages make their
// widgets themselves; a control (list box, edit, ...) is a widget that a dialog built from its
// template, and a control object is *attached* to it: by DDX_Control or SubclassDlgItem for a
// member of the dialog, or by the dialog itself for a control nobody bound (what GetDlgItem then
// returns). Exactly one object is attached to a control at a time; the last one attached gets the
// control's notifications and key strokes.
//
// Notifications. A control tells its parent window what happened as the platform's WM_COMMAND
// and WM_NOTIFY do: the parent's OnCommand(MAKEWPARAM(id, code), lParam) is called, and the
// default OnCommand calls the handler that SetHandler registered for (id, code). Handlers are
// named member functions, registered from the window's constructor or from a table:
//
//   static const NotifyEntry<CMyPage> kHandlers[] = {
//       {1006, BN_CLICKED, &CMyPage::OnAdd},
//       {1003, CBN_CLOSEUP, &CMyPage::OnCloseupGroups},
//   };
//   MapHandlers(this, kHandlers);
//
// A notification fires when the platform's control would send it: list and combo box selection
// changes, combo edit changes and button clicks only on a person's input (or the framework's
// own simulation of it, such as a test's click), never on the program's own calls; EN_CHANGE
// and TVN_SELCHANGED also on the program's changes.
//
// Threads. Windows belong to the GUI thread (the one that runs the dialogs). The members marked
// "any thread" may be called from a worker: they run on the GUI thread while the caller waits,
// as a message sent to a window of another thread does; the GUI thread must keep dispatching
// meanwhile (see gui_thread.h). Everything else is for the GUI thread only.
#ifndef PAIRWAY_UI_WND_H
#define PAIRWAY_UI_WND_H

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "pairway/api.h"
#include "windef.h"
#include "winuser.h"

class QObject;
class QWidget;

namespace pairway::ui {

class CWnd;

// One row of a handler table: notification `code` of control `id` calls `handler` on the window.
template <class Window>
struct NotifyEntry {
  int id;
  UINT code;
  void (Window::*handler)();
};

class PAIRWAY_API CWnd {
 public:
  using Handler = std::function<void()>;

  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // The window's widget; owned by the window (or by the widget tree it was put in), null until
  // the window was created or attached and again after it was destroyed or detached.
  QWidget* widget() const { return widget_; }
  // True while the window has a widget (the platform's "m_hWnd != NULL").
  bool IsWindow() const { return widget_ != nullptr; }
  // The window's handle, as messages carry it: stands for the widget; null without one.
  HWND GetSafeHwnd() const { return reinterpret_cast<HWND>(widget_); }

  // The help context of the window's current state, for the application's help command; 0 when
  // the window has none. A property sheet answers for its active page, a page by its focused
  // control.
  virtual DWORD GetHelpContext() const;

  // ---- Window state (GUI thread) ----
  // The control id given by the dialog template; 0 for a window that is no control.
  int GetDlgCtrlID() const { return ctrl_id_; }
  // The window this one sits in: a control's dialog or page, a page's property sheet; null for
  // a top-level window.
  CWnd* GetParent() const { return parent_; }
  // Returns whether the window was disabled before.
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  // SW_HIDE, SW_SHOW or SW_SHOWNORMAL; returns whether the window was visible before.
  BOOL ShowWindow(int command);
  BOOL IsWindowVisible() const;
  // Gives the window the keyboard focus; returns the window that had it, or null.
  CWnd* SetFocus();
  // The framework window whose widget has the keyboard focus (a combo box for its edit field),
  // or null when the focus is outside the framework's windows.
  static CWnd* GetFocus();

  // ---- Text (any thread) ----
  // The caption of a dialog, the text of a button, static or edit, the edit field of a combo box.
  // Setting an edit's text clears its modify flag and sends EN_CHANGE, as the platform does.
  void SetWindowText(LPCSTR text);
  // Copies at most max_count - 1 characters and a terminator; returns the characters copied.
  int GetWindowText(LPSTR buffer, int max_count) const;
  void GetWindowText(std::string& text) const;
  int GetWindowTextLength() const;

  // ---- Children and notifications ----
  // The control with `id` of a dialog or page (the object attached to it), else null.
  virtual CWnd* GetDlgItem(int id) const;
  // Attaches this object to control `id` of `parent` (a dialog or page that is shown), taking the
  // control over from whatever object was attached. FALSE when the parent has no such control.
  // Attaching the object again to the control it has is harmless (TRUE).
  BOOL SubclassDlgItem(UINT id, CWnd* parent);

  // Registers the handler for notification `code` of control `id` (replacing an earlier one).
  void SetHandler(int id, UINT code, Handler handler);
  // Delivers a WM_COMMAND to this window as SendMessage would: wParam holds the control id in
  // its low word and the notification code in its high word. Returns 1 when OnCommand handled
  // it, else 0.
  LRESULT SendCommand(WPARAM wParam, LPARAM lParam);

  // ---- Overridables ----
  // WM_COMMAND: calls the handler registered for (LOWORD(wParam), HIWORD(wParam)); TRUE when
  // there was one. lParam is the control's handle.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  // WM_NOTIFY (notification codes that need more than 16 bits, such as TVN_SELCHANGED): lParam
  // points to an NMHDR; calls the handler registered for (idFrom, code); TRUE when there was
  // one. *result is the answer to the control (0 unless a handler set it).
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // The framework's command-help message (F1, a sheet's Help button): TRUE when the window
  // showed help itself; FALSE lets the application's help command run (CWinApp::OnHelp).
  virtual LRESULT OnCommandHelp(WPARAM wParam, LPARAM lParam);
  // The help-mode hit test (Shift+F1, then a click at client point lParam): the help context
  // for that point, 0 for none.
  virtual LRESULT OnHelpHitTest(WPARAM wParam, LPARAM lParam);

  // ---- Framework internals (used by the dialogs that make and attach controls) ----
  // Makes this object the one attached to `widget`, the control `id` inside `parent`.
  void Attach(QWidget* widget, int id, CWnd* parent);
  // Lets go of the widget (which lives on); null widget afterwards.
  void Detach();
  // The object attached to `widget`, or null.
  static CWnd* FromWidget(const QWidget* widget);

 protected:
  // Gives a window that makes its own widget (a dialog, a sheet) that widget, or null when it
  // goes; FromWidget finds the window by it.
  void set_widget(QWidget* widget);
  // Names the window this one sits in, for a window that is no control (a property page).
  void set_parent(CWnd* parent) { parent_ = parent; }
  // Called after Attach, with widget() set: a control connects the widget's signals here, with
  // link() as their context so that Detach cuts them.
  virtual void OnAttached();
  // Tells the parent (code) about this control: a WM_COMMAND for codes of 16 bits, else a
  // WM_NOTIFY.
  void NotifyParent(UINT code);
  // The context object of the current attachment; null while detached.
  QObject* link() const { return link_.get(); }
  // A parent forgets a child that is detached or destroyed before the parent's window.
  virtual void OnChildDetached(CWnd* child);

 private:
  QWidget* widget_ = nullptr;
  int ctrl_id_ = 0;
  CWnd* parent_ = nullptr;
  std::unique_ptr<QObject> link_;
  std::map<std::pair<int, UINT>, Handler> handlers_;
};

// Registers every row of `table` on `window`.
template <class Window, size_t N>
void MapHandlers(Window* window, const NotifyEntry<Window> (&table)[N]) {
  for (const NotifyEntry<Window>& entry : table) {
    auto handler = entry.handler;
    window->SetHandler(entry.id, entry.code, [window, handler] { (window->*handler)(); });
  }
}

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_WND_H
