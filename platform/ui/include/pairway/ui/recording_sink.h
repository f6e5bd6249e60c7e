// recording_sink.h: a sink that keeps every request and answers from a script, for tests and for
// scripted runs that drive the dialogs without a person.
#ifndef PAIRWAY_UI_RECORDING_SINK_H
#define PAIRWAY_UI_RECORDING_SINK_H

#include <deque>
#include <mutex>
#include <vector>

#include "pairway/ui/ui_sink.h"

namespace pairway::ui {

// Answers each message box with the next scripted answer, or with the box's default button when
// the script has run out. Safe to call from any thread; read the records once the dialogs closed.
class PAIRWAY_API RecordingSink : public UiSink {
 public:
  // Queues the answer to the next box that has no answer yet.
  void Answer(int button);

  int OnMessageBox(const MessageBoxRequest& request) override;
  void OnHelp(const HelpRequest& request) override;
  void OnBeep(UINT type) override;

  std::vector<MessageBoxRequest> boxes() const;
  std::vector<HelpRequest> help() const;
  std::vector<UINT> beeps() const;

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::vector<MessageBoxRequest> boxes_;
  std::vector<HelpRequest> help_;
  std::vector<UINT> beeps_;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_RECORDING_SINK_H
