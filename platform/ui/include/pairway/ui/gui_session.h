// gui_session.h: a Qt application for as long as a window is shown.
//
// The libraries of the system are called by hosts that know nothing of Qt (the network setup,
// scripts). A window needs a QApplication on the calling thread; a GuiSession makes one when the
// process has none and deletes it again at the end of the scope, so the host is left as it was.
// Where nobody can see a window (IsHeadless), the application draws offscreen.
#ifndef PAIRWAY_UI_GUI_SESSION_H
#define PAIRWAY_UI_GUI_SESSION_H

#include <memory>

#include "pairway/api.h"

class QApplication;

namespace pairway::ui {

// Threads: make it on the thread that will run the windows; it must end on the same thread.
// Sessions nest: only the outermost one that found no application makes (and deletes) it.
class PAIRWAY_API GuiSession {
 public:
  GuiSession();
  ~GuiSession();
  GuiSession(const GuiSession&) = delete;
  GuiSession& operator=(const GuiSession&) = delete;

  // True when this session made the application (the process had none).
  bool owns_application() const { return owned_ != nullptr; }

 private:
  std::unique_ptr<QApplication> owned_;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_GUI_SESSION_H
