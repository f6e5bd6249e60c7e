// win_app.h: the application object and the window base of the dialog framework.
//
// A library built on the framework keeps exactly one application object, a static object of a class
// derived from CWinApp: it exists from the moment the library is loaded until it is unloaded, and
// it is what every message box, help request and command of the library goes through. The entry
// points of the library point m_pMainWnd at the window they show for as long as it is shown.
//
// The framework does not touch Qt when an application object is made or destroyed: a library may
// be loaded into a process that has no Qt application (or no display) at all. Qt is needed only
// while a window is shown (see gui_session.h).
#ifndef PAIRWAY_UI_WIN_APP_H
#define PAIRWAY_UI_WIN_APP_H

#include <string>

#include "pairway/api.h"
#include "windef.h"

class QWidget;

namespace pairway::ui {

// The help command, as the framework's standard Help buttons and F1 send it.
inline constexpr UINT ID_HELP = 0xE146;

// Base of every window of the framework (dialogs, property sheets, pages, controls). The derived
// window that makes the Qt widget decides its lifetime; widget() is null before it is made and
// must be reset by that window when the widget goes.
//
// Threads: a window is used on the thread that runs the dialogs (the GUI thread) only.
class PAIRWAY_API CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // The window's widget; owned by the window (or by the widget tree it was put in), null until
  // the window was created.
  QWidget* widget() const { return widget_; }

  // The help context of the window's current state, for the application's help command; 0 when
  // the window has none. A property sheet answers for its active page, a page by its focused
  // control.
  virtual DWORD GetHelpContext() const;

 protected:
  void set_widget(QWidget* widget) { widget_ = widget; }

 private:
  QWidget* widget_ = nullptr;
};

// The application object.
//
// Lifetime: one static instance per library; pointers given to it (m_pMainWnd) are borrowed and
// must be cleared by whoever set them before the window dies.
// Threads: used on the thread that runs the library's dialogs, except DoMessageBox, which any
// thread may call (the box is shown on the GUI thread while the caller waits).
class PAIRWAY_API CWinApp {
 public:
  // `app_name` is the application's title, the caption of every message box. Copied.
  explicit CWinApp(const char* app_name);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The window the entry point currently shows, or null. Borrowed.
  CWnd* m_pMainWnd = nullptr;

  const char* app_name() const { return app_name_.c_str(); }
  // The help file: the library's path as the system sees it (an NT path inside the machine root,
  // else the host path) with its extension replaced by ".HLP"; empty when SetHelpFileFromModule
  // was not called or found no library. Worked out on each call, so it follows the current root.
  std::string help_file_path() const;

  // Shows `prompt` in a message box captioned with the application title and returns the button
  // pressed (IDOK, IDCANCEL, ...). A box asked for with only an OK button and no icon gets the
  // exclamation icon, so that a bare report never looks like a mere notice. `help_id` is kept
  // for the help button of the box (0: none).
  virtual int DoMessageBox(const char* prompt, UINT type, UINT help_id);

  // Asks for help: `command` is HELP_CONTEXT (data = context number), HELP_INDEX, ... on the
  // application's help file. Goes to the UI sink.
  void WinHelp(ULONG_PTR data, UINT command);

  // The framework's help handler: asks the main window for its current help context and shows
  // that topic (HELP_CONTEXT), or the help file's index when the window names none.
  void OnHelp();

  // Command routing: returns TRUE when the application handled command `id`. The base handles
  // nothing; a derived application routes the commands it wants (such as ID_HELP to OnHelp).
  virtual BOOL OnCmdMsg(UINT id);

 protected:
  // Names the library whose help file the application uses by `address`, any function or object
  // inside it. Safe to call from a static constructor.
  void SetHelpFileFromModule(const void* address);

 private:
  std::string app_name_;
  std::string module_path_;  // host path of the library, empty when unknown
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_WIN_APP_H
