// ui_sink.h: the one seam through which every message box and help request of the dialog
// framework passes.
//
// The system's libraries ask questions ("remove the IP settings?") and report failures in message
// boxes, and open help topics. A person answers them at a desktop; a test, a script or a run with
// no screen cannot. So the framework never shows a box or a help topic itself: it hands each
// request to the current sink, and the sink decides. Tests install a sink that records the requests
// and answers them; the default sink shows real boxes where a person can see them and prints them
// where nobody can.
//
// Threads. The framework calls the sink on the thread that owns the Qt application object when one
// exists (a worker that asks for a box blocks until the GUI thread has the answer), otherwise on
// the asking thread. Installing a sink is not synchronised with requests in flight: install it
// before any dialog runs and remove it after the last one closed.
#ifndef PAIRWAY_UI_UI_SINK_H
#define PAIRWAY_UI_UI_SINK_H

#include <string>

#include "pairway/api.h"
#include "windef.h"

namespace pairway::ui {

class CWnd;

// One message box as the caller asked for it. `type` holds the MB_* button, icon and default
// button flags after the framework's own rules were applied (see CWinApp::DoMessageBox).
struct MessageBoxRequest {
  const CWnd* owner = nullptr;  // the window the box belongs to; null for none
  std::string caption;
  std::string text;
  UINT type = 0;
};

// One help request: `command` is HELP_CONTEXT, HELP_INDEX, ...; `data` the context number.
struct HelpRequest {
  std::string help_file;  // NT path of the help file
  // The same file beside the library as the host sees it, for a viewer when the machine root has
  // no copy; empty when unknown.
  std::string host_help_file;
  UINT command = 0;
  ULONG_PTR data = 0;
};

class PAIRWAY_API UiSink {
 public:
  virtual ~UiSink();
  // Returns the button pressed: IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, IDABORT or IDIGNORE.
  virtual int OnMessageBox(const MessageBoxRequest& request) = 0;
  virtual void OnHelp(const HelpRequest& request) = 0;
  // MessageBeep(type). The base does nothing; the default sink sounds the bell for a person.
  virtual void OnBeep(UINT type);
};

// Makes `sink` the current sink and returns the previous one; null restores the default sink. The
// caller keeps ownership and keeps the sink alive until it is replaced.
PAIRWAY_API UiSink* SetUiSink(UiSink* sink);

// Hands a request to the current sink (on the GUI thread, see above) and returns its answer.
PAIRWAY_API int RouteMessageBox(const MessageBoxRequest& request);
PAIRWAY_API void RouteHelp(const HelpRequest& request);
PAIRWAY_API void RouteBeep(UINT type);

// The button that a box of this MB_* type answers when nobody presses anything: the one that
// MB_DEFBUTTONn names among the type's buttons, the first when n is out of range.
PAIRWAY_API int DefaultButton(UINT type);

// True where no person can see a window: no DISPLAY and no WAYLAND_DISPLAY, or Qt told to draw
// offscreen (QT_QPA_PLATFORM offscreen or minimal).
PAIRWAY_API bool IsHeadless();

// True where a modal window would wait for nobody: the default sink is in use (no program
// answers the framework's requests itself) and there is no screen (neither DISPLAY nor
// WAYLAND_DISPLAY). Qt's offscreen platform alone does not count: a program that drives its own
// windows offscreen installs a sink of its own.
PAIRWAY_API bool NobodyToAnswer();

// Installs a sink for the life of the object and puts the previous one back afterwards.
class PAIRWAY_API ScopedUiSink {
 public:
  explicit ScopedUiSink(UiSink* sink) : previous_(SetUiSink(sink)) {}
  ~ScopedUiSink() { SetUiSink(previous_); }
  ScopedUiSink(const ScopedUiSink&) = delete;
  ScopedUiSink& operator=(const ScopedUiSink&) = delete;

 private:
  UiSink* previous_;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_UI_SINK_H
