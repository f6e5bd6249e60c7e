// pairwayctl.h: the verbs of pairwayctl and what they share.
//
// pairwayctl configures port groups and connection types without a desktop. It never carries rules
// of its own: every change is made by the configuration library's own code (the groups page's
// editor and the new-hardware dialog's save) on the library's application object, as the sheet
// would make it, and the statistics come from the statistics library the status page asks.
#ifndef PAIRWAYCTL_PAIRWAYCTL_H
#define PAIRWAYCTL_PAIRWAYCTL_H

#include <string>
#include <vector>

namespace pairwayctl {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;  // the library refused, or a question was not confirmed
constexpr int kExitUsage = 2;    // bad command line
constexpr int kExitFailure = 3;  // no machine root, or the registry failed

class ChangeSummary;

struct Options {
  bool dry_run = false;  // print the registry changes, write nothing
  bool json = false;     // JSON instead of a table (show) or a summary of the change
  bool yes = false;      // answer the library's questions with yes
  // With --json, where a verb that changes something reports what it did; not owned.
  ChangeSummary* summary = nullptr;
};

using Args = std::vector<std::string>;

int RunShow(const Options& options, const Args& args);
int RunWatch(const Options& options, const Args& args);
int RunPort(const Options& options, const Args& args);
int RunGroup(const Options& options, const Args& args);

// Prints "pairwayctl: <what>" on standard error (and keeps it for the change summary) and returns
// `code`.
int Fail(int code, const std::string& what);

// "TREVAN3" for "3", "TREVAN3" or "trevan3"; empty when `text` names no port.
std::string PortName(const std::string& text);

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_PAIRWAYCTL_H
