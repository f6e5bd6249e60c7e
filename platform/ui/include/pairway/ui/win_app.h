// win_app.h: the application object of the dialog framework (the window base is in wnd.h).
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
#include "pairway/ui/wnd.h"
#include "windef.h"
#include "winuser.h"

namespace pairway::ui {

// The help command, as the framework's standard Help buttons and F1 send it.
inline constexpr UINT ID_HELP = 0xE146;

// One image of a library: resource `id` is drawn from the image file `path` (PNG, BMP, ICO, ...),
// a file path or a Qt resource path (":/aggcfg/bitmap137.png") of files compiled into the library.
struct ImageResource {
  UINT id;
  const char* path;
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
  // The help file beside the library as built (links resolved), as the host sees it; empty when
  // unknown. A help viewer falls back to it when the machine root holds no help file.
  std::string host_help_file_path() const;

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

  // ---- Images ----
  // Names the library's images. The table is borrowed and must live as long as the application
  // object (a static table); call it from the derived application's constructor.
  void SetImageResources(const ImageResource* table, size_t count);
  // The file of image `id`, or null when the table has none.
  const char* ImagePath(UINT id) const;
  // The icon of resource `id`, or null when the table names none or the file cannot be read.
  // Icons are kept by the framework for the life of the process: never free them.
  HICON LoadIcon(UINT id) const;

 protected:
  // Names the library whose help file the application uses by `address`, any function or object
  // inside it. Safe to call from a static constructor.
  void SetHelpFileFromModule(const void* address);

 private:
  std::string app_name_;
  std::string module_path_;  // host path of the library, empty when unknown
  const ImageResource* images_ = nullptr;
  size_t image_count_ = 0;
};

// The application object of the library that runs the dialogs: the most recently made one that
// still exists (one per library; a process normally has one). Null when there is none.
PAIRWAY_API CWinApp* AfxGetApp();

// A message box of the application (CWinApp::DoMessageBox), captioned with its title; without an
// application, captioned with nothing. Any thread.
PAIRWAY_API int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT help_id = 0);

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_WIN_APP_H
