// The sink seam: the current sink, the default sink and the hop to the GUI thread.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "help_viewer.h"
#include "pairway/unattended.h"
#include "pairway/ui/gui_session.h"
#include "pairway/ui/gui_thread.h"
#include "pairway/ui/recording_sink.h"
#include "pairway/ui/ui_sink.h"
#include "pairway/ui/win_app.h"
#include "widgets.h"
#include "winuser.h"

namespace pairway::ui {
namespace {

bool HasValue(const char* name) {
  const char* value = getenv(name);
  return value != nullptr && *value != '\0';
}

// The buttons of each MB_ type, in the order MB_DEFBUTTONn counts them.
struct ButtonSet {
  int buttons[3];
  int count;
};

ButtonSet ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, IDCANCEL}, 2};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, IDRETRY, IDIGNORE}, 3};
    case MB_YESNOCANCEL:
      return {{IDYES, IDNO, IDCANCEL}, 3};
    case MB_YESNO:
      return {{IDYES, IDNO}, 2};
    case MB_RETRYCANCEL:
      return {{IDRETRY, IDCANCEL}, 2};
    default:
      return {{IDOK}, 1};
  }
}

QMessageBox::StandardButton QtButton(int id) {
  switch (id) {
    case IDCANCEL:
      return QMessageBox::Cancel;
    case IDABORT:
      return QMessageBox::Abort;
    case IDRETRY:
      return QMessageBox::Retry;
    case IDIGNORE:
      return QMessageBox::Ignore;
    case IDYES:
      return QMessageBox::Yes;
    case IDNO:
      return QMessageBox::No;
    default:
      return QMessageBox::Ok;
  }
}

QMessageBox::Icon QtIcon(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONASTERISK:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// Shows a real box for a person and waits for the answer. Closing the box without a button
// answers Cancel where the box has one, else its default button, as the platform's boxes do.
int ShowQtBox(const MessageBoxRequest& request) {
  GuiSession session;
  QWidget* parent = request.owner != nullptr ? request.owner->widget() : nullptr;
  QMessageBox box(QtIcon(request.type), QString::fromLocal8Bit(request.caption.c_str()),
                  QString::fromLocal8Bit(request.text.c_str()), QMessageBox::NoButton, parent);
  ButtonSet set = ButtonsOf(request.type);
  int fallback = DefaultButton(request.type);
  for (int i = 0; i < set.count; ++i) {
    QPushButton* button = box.addButton(QtButton(set.buttons[i]));
    if (set.buttons[i] == fallback) box.setDefaultButton(button);
    if (set.buttons[i] == IDCANCEL) box.setEscapeButton(button);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (int i = 0; i < set.count && clicked != nullptr; ++i) {
    if (box.standardButton(clicked) == QtButton(set.buttons[i])) return set.buttons[i];
  }
  for (int i = 0; i < set.count; ++i) {
    if (set.buttons[i] == IDCANCEL) return IDCANCEL;
  }
  return fallback;
}

// Shows boxes to a person where there is a screen; where there is none, prints each box so that
// the run's log still tells what the library reported, and answers it as Enter would.
class DefaultSink : public UiSink {
 public:
  int OnMessageBox(const MessageBoxRequest& request) override {
    if (!IsHeadless()) return ShowQtBox(request);
    std::lock_guard<std::mutex> lock(mutex_);
    fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    fflush(stderr);
    return DefaultButton(request.type);
  }

  // A person sees the topic; a run without a screen logs the request.
  void OnHelp(const HelpRequest& request) override {
    if (!IsHeadless() && QApplication::instance() != nullptr) {
      ShowHelp(request);
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    fprintf(stderr, "help: %s, command %u, context %lu\n", request.help_file.c_str(),
            request.command, static_cast<unsigned long>(request.data));
    fflush(stderr);
  }

  void OnBeep(UINT type) override {
    (void)type;
    if (!IsHeadless() && QApplication::instance() != nullptr) QApplication::beep();
  }

 private:
  std::mutex mutex_;
};

DefaultSink default_sink;
std::atomic<UiSink*> current_sink{&default_sink};

}  // namespace

UiSink::~UiSink() = default;

void UiSink::OnBeep(UINT type) { (void)type; }

UiSink* SetUiSink(UiSink* sink) {
  UiSink* previous = current_sink.exchange(sink != nullptr ? sink : &default_sink);
  return previous == &default_sink ? nullptr : previous;
}

int RouteMessageBox(const MessageBoxRequest& request) {
  int answer = IDCANCEL;
  RunOnGuiThread([&] { answer = current_sink.load()->OnMessageBox(request); });
  return answer;
}

void RouteHelp(const HelpRequest& request) {
  RunOnGuiThread([&] { current_sink.load()->OnHelp(request); });
}

void RouteBeep(UINT type) {
  RunOnGuiThread([&] { current_sink.load()->OnBeep(type); });
}

int DefaultButton(UINT type) {
  ButtonSet set = ButtonsOf(type);
  UINT index = (type & MB_DEFMASK) >> 8;
  return index < static_cast<UINT>(set.count) ? set.buttons[index] : set.buttons[0];
}

bool NobodyToAnswer() {
  return current_sink.load() == &default_sink && !HasValue("DISPLAY") &&
         !HasValue("WAYLAND_DISPLAY");
}

bool RefuseWindowNobodyCanAnswer(const std::string& caption) {
  if (!NobodyToAnswer()) return false;
  std::string alternative = UnattendedAlternative();
  fprintf(stderr,
          "%s: there is no screen to show this window on (neither DISPLAY nor WAYLAND_DISPLAY "
          "is set); it was not shown and nothing was changed.\n",
          caption.c_str());
  if (!alternative.empty()) fprintf(stderr, "%s\n", alternative.c_str());
  fflush(stderr);
  return true;
}

bool IsHeadless() {
  if (QGuiApplication::instance() != nullptr) {
    QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
  }
  const char* qpa = getenv("QT_QPA_PLATFORM");
  if (qpa != nullptr && (strncmp(qpa, "offscreen", 9) == 0 || strncmp(qpa, "minimal", 7) == 0)) {
    return true;
  }
  return !HasValue("DISPLAY") && !HasValue("WAYLAND_DISPLAY");
}

void RecordingSink::Answer(int button) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(button);
}

int RecordingSink::OnMessageBox(const MessageBoxRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back(request);
  if (answers_.empty()) return DefaultButton(request.type);
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void RecordingSink::OnHelp(const HelpRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  help_.push_back(request);
}

void RecordingSink::OnBeep(UINT type) {
  std::lock_guard<std::mutex> lock(mutex_);
  beeps_.push_back(type);
}

std::vector<UINT> RecordingSink::beeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return beeps_;
}

std::vector<MessageBoxRequest> RecordingSink::boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<HelpRequest> RecordingSink::help() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return help_;
}

}  // namespace pairway::ui
