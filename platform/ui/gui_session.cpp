// A Qt application made on demand for the life of a scope.
#include <QApplication>

#include <stdlib.h>

#include "pairway/ui/gui_session.h"
#include "pairway/ui/ui_sink.h"

namespace pairway::ui {
namespace {

// QApplication keeps references to argc and argv for its whole life, so they live here.
char program_name[] = "pairway";
char platform_option[] = "-platform";
char offscreen_platform[] = "offscreen";
char* arguments[] = {program_name, platform_option, offscreen_platform, nullptr};
int argument_count = 1;

}  // namespace

GuiSession::GuiSession() {
  if (QCoreApplication::instance() != nullptr) return;
  // Where nobody can see a window, draw offscreen rather than fail to find a display; a platform
  // chosen through QT_QPA_PLATFORM is left to Qt.
  const char* chosen = getenv("QT_QPA_PLATFORM");
  bool headless = IsHeadless() && (chosen == nullptr || *chosen == '\0');
  argument_count = headless ? 3 : 1;
  owned_ = std::make_unique<QApplication>(argument_count, arguments);
}

GuiSession::~GuiSession() = default;

}  // namespace pairway::ui
