#include "console_sink.h"

#include <stdio.h>
#include <unistd.h>
#include <windows.h>

#include "change_summary.h"

namespace pairwayctl {

ConsoleSink::ConsoleSink(bool consent)
    : consent_(consent), previous_(pairway::ui::SetUiSink(this)) {}

ConsoleSink::~ConsoleSink() { pairway::ui::SetUiSink(previous_); }

int ConsoleSink::OnMessageBox(const pairway::ui::MessageBoxRequest& request) {
  fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
  NoteMessage(request.text);
  UINT buttons = request.type & MB_TYPEMASK;
  if (buttons == MB_OKCANCEL) {
    if (!consent_) refused_ = true;
    return consent_ ? IDOK : IDCANCEL;
  }
  if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
    if (!consent_) refused_ = true;
    return consent_ ? IDYES : IDNO;
  }
  // A bare report of the library always says that it did not do what was asked.
  refused_ = true;
  return IDOK;
}

void ConsoleSink::OnHelp(const pairway::ui::HelpRequest&) {}

bool AskConsent(const std::string& caption, const std::string& question, bool assume_yes) {
  fprintf(stderr, "%s: %s\n", caption.c_str(), question.c_str());
  NoteMessage(question);
  if (assume_yes) return true;
  if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) {
    fprintf(stderr, "Not confirmed: nothing was changed (give --yes to go on).\n");
    NoteMessage("Not confirmed: nothing was changed (give --yes to go on).");
    return false;
  }
  fprintf(stderr, "Go on? [y/N] ");
  fflush(stderr);
  char line[16] = "";
  bool yes = fgets(line, sizeof line, stdin) != nullptr && (line[0] == 'y' || line[0] == 'Y');
  if (!yes) fprintf(stderr, "Nothing was changed.\n");
  return yes;
}

}  // namespace pairwayctl
