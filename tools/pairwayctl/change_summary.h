// change_summary.h: what a verb that changes the machine did, for --json.
//
// With --json, `port type` and the `group` verbs print one JSON object on standard output
// whatever the outcome, with these keys (only ever added to, never renamed):
//   command           the verb: "port type", "group create", "group add", "group remove",
//                     "group rename", "group timeout"
//   result            "done", "refused", "usage" or "failure" (exit codes 0, 1, 2, 3)
//   exit_code         the exit code
//   dry_run           true with --dry-run: nothing was written; the rest tells what would be
//   written           true once the change is in the registry
//   groups            the groups the command named or made, after the change, as `show --json`
//                     gives them
//   groups_removed    the names the command named that no group has after it (a group whose
//                     last ports left it, the old name of a renamed group)
//   ports             the ports the command named, after the change, as `show --json` gives them
//   registry_changes  one entry per key: {"key", "change" ("created", "changed" or "deleted"),
//                     "values_set": [names], "values_deleted": [names]}
//   messages          what pairwayctl printed on standard error: the library's reports and
//                     questions, and pairwayctl's own errors
//   driver_notified   true when the running driver TREVAN took the news of the written change
//                     (SERVICE_CONTROL_PARAMCHANGE); false when nothing was written, no driver
//                     runs (it reads the change at its start) or it could not be told
// A command that was refused or failed has empty groups, ports and registry_changes.
#ifndef PAIRWAYCTL_CHANGE_SUMMARY_H
#define PAIRWAYCTL_CHANGE_SUMMARY_H

#include <string>
#include <vector>

#include "json_view.h"
#include "registry_changes.h"
#include "view.h"

namespace pairwayctl {

class ChangeSummary {
 public:
  ChangeSummary(std::string command, bool dry_run);

  // The groups and ports the command acts on; Describe shows them as they are after it.
  void Name(const std::vector<std::string>& groups, const std::vector<std::string>& ports);
  // What the change did, seen inside its registry transaction before it is committed.
  void Describe(const std::vector<KeyChange>& changes, const View& after);
  void MarkWritten() { written_ = true; }
  void MarkDriverNotified() { driver_notified_ = true; }

  // The summary of a command that ended with exit code `code`.
  Json ToJson(int code) const;

 private:
  std::string command_;
  bool dry_run_;
  bool written_ = false;
  bool driver_notified_ = false;
  std::vector<std::string> group_names_;
  std::vector<std::string> port_names_;
  Json groups_ = Json::array();
  Json groups_removed_ = Json::array();
  Json ports_ = Json::array();
  Json registry_changes_ = Json::array();
};

// Records a line pairwayctl printed on standard error, for the summary's "messages".
void NoteMessage(const std::string& text);

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_CHANGE_SUMMARY_H
