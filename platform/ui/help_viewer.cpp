// The help window and the reading of help files.
#include "help_viewer.h"

#include <QApplication>
#include <QPointer>
#include <QTextBrowser>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "pairway/machine_root.h"
#include "widgets.h"
#include "winerror.h"
#include "winuser.h"

namespace pairway::ui {
namespace {

// Parses "[number] title"; false for any other line.
bool ParseTopicLine(const std::string& line, unsigned long* context, std::string* title) {
  if (line.size() < 3 || line[0] != '[') return false;
  char* end = nullptr;
  unsigned long number = strtoul(line.c_str() + 1, &end, 10);
  if (end == line.c_str() + 1 || *end != ']') return false;
  *context = number;
  std::string rest(end + 1);
  size_t first = rest.find_first_not_of(' ');
  *title = first == std::string::npos ? std::string() : rest.substr(first);
  return true;
}

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

QPointer<QTextBrowser>& HelpWindow() {
  static QPointer<QTextBrowser> window;
  return window;
}

}  // namespace

std::optional<HelpTopic> FindHelpTopic(const std::string& file_text, unsigned long context) {
  std::istringstream lines(file_text);
  std::string line;
  std::optional<HelpTopic> contents, wanted;
  HelpTopic* current = nullptr;
  HelpTopic reading;
  auto finish = [&] {
    if (current == nullptr) return;
    if (!contents || reading.context < contents->context) contents = reading;
    if (reading.context == context && !wanted) wanted = reading;
  };
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == ';') continue;
    unsigned long number = 0;
    std::string title;
    if (ParseTopicLine(line, &number, &title)) {
      finish();
      reading = HelpTopic{number, title, {}};
      current = &reading;
    } else if (current != nullptr) {
      current->body += line + "\n";
    }
  }
  finish();
  if (context != 0 && wanted) return wanted;
  return contents;
}

std::optional<std::string> ReadHelpFile(const HelpRequest& request) {
  std::filesystem::path host;
  if (!request.help_file.empty() && MapNtPath(request.help_file, &host) == ERROR_SUCCESS) {
    if (auto text = ReadWhole(host)) return text;
  }
  if (!request.host_help_file.empty()) return ReadWhole(request.host_help_file);
  return std::nullopt;
}

void ShowHelp(const HelpRequest& request) {
  QPointer<QTextBrowser>& window = HelpWindow();
  if (request.command == HELP_QUIT) {
    if (window != nullptr) window->close();
    return;
  }
  unsigned long context = request.command == HELP_CONTEXT ? request.data : 0;
  std::optional<std::string> file = ReadHelpFile(request);
  std::optional<HelpTopic> topic = file ? FindHelpTopic(*file, context) : std::nullopt;
  if (window == nullptr) {
    // A child window of the dialog that asked, so that it goes when the dialog goes.
    window = new QTextBrowser(QApplication::activeModalWidget());
    window->setWindowFlags(Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(420, 300);
  }
  if (topic) {
    window->setWindowTitle(ToQt(topic->title));
    window->setPlainText(ToQt(topic->title + "\n\n" + topic->body));
  } else {
    window->setWindowTitle(QStringLiteral("Help"));
    window->setPlainText(ToQt("The help file " + request.help_file + " is not available."));
  }
  window->show();
  window->raise();
}

}  // namespace pairway::ui
