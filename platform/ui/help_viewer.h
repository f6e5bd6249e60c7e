// help_viewer.h: the framework's own help files and the window that shows their topics.
//
// A library's help file is a text file beside it (NAME.HLP), one topic per context number:
//
//   ; comment lines start with a semicolon
//   [19] OK
//   Saves every change and closes the window.
//   [20] Cancel
//   ...
//
// A topic runs from its "[number] title" line to the next one; the topic with the lowest number
// is the contents, shown for HELP_INDEX and for a context the file does not have.
#ifndef PAIRWAY_UI_HELP_VIEWER_H
#define PAIRWAY_UI_HELP_VIEWER_H

#include <optional>
#include <string>

#include "pairway/ui/ui_sink.h"

namespace pairway::ui {

struct HelpTopic {
  unsigned long context = 0;
  std::string title;
  std::string body;
};

// The topic for `context` in the text of a help file; the contents topic when there is no such
// topic or `context` is 0; nullopt when the file has no topic at all.
PAIRWAY_API std::optional<HelpTopic> FindHelpTopic(const std::string& file_text,
                                                   unsigned long context);

// The text of the request's help file: the file in the machine root, else the one beside the
// library; nullopt when neither can be read.
PAIRWAY_API std::optional<std::string> ReadHelpFile(const HelpRequest& request);

// Shows the requested topic in the help window (made on first use, next to the active dialog),
// or a note that the help file is missing. HELP_QUIT closes the window. GUI thread only.
void ShowHelp(const HelpRequest& request);

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_HELP_VIEWER_H
