// console_sink.h: the message boxes of the configuration library, on a terminal.
//
// pairwayctl runs the page's and the dialog's own rules, which report refusals and ask questions
// in message boxes. While a ConsoleSink lives it receives every box: it prints the box on standard
// error; a report (" Port Not Selected!!! ", an empty time-out) marks the command as refused, so
// that it ends with exit code 1 and its changes are not committed; a question is answered with the
// consent the command obtained beforehand (AskConsent), so nobody is asked in the middle of a
// registry transaction.
#ifndef PAIRWAYCTL_CONSOLE_SINK_H
#define PAIRWAYCTL_CONSOLE_SINK_H

#include <string>

#include "pairway/ui/ui_sink.h"

namespace pairwayctl {

class ConsoleSink : public pairway::ui::UiSink {
 public:
  explicit ConsoleSink(bool consent);
  ~ConsoleSink() override;
  ConsoleSink(const ConsoleSink&) = delete;
  ConsoleSink& operator=(const ConsoleSink&) = delete;

  int OnMessageBox(const pairway::ui::MessageBoxRequest& request) override;
  void OnHelp(const pairway::ui::HelpRequest& request) override;

  // True once a box reported a refusal or a question was declined.
  bool refused() const { return refused_; }

 private:
  bool consent_;
  bool refused_ = false;
  pairway::ui::UiSink* previous_;
};

// Prints `question` as the library would ask it and returns the answer: yes with `assume_yes`
// (--yes), else a "y" typed on a terminal; no when nobody can answer.
bool AskConsent(const std::string& caption, const std::string& question, bool assume_yes);

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_CONSOLE_SINK_H
