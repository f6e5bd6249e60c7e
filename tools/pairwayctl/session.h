// session.h: one change of the configuration, whole or not at all.
//
// A Session loads the library's configuration model from the registry as the entry points do and
// runs everything the command does inside one registry transaction. Finish commits it only when
// the library accepted the change and this is not a dry run; otherwise nothing reaches the
// registry, not even the IP settings that the page deletes at once. A dry run prints, instead, the
// changes it would have made (registry_changes.h). With --json the session fills the command's
// change summary (change_summary.h) instead of printing.
#ifndef PAIRWAYCTL_SESSION_H
#define PAIRWAYCTL_SESSION_H

#include <memory>
#include <string>
#include <vector>

#include "console_sink.h"
#include "groups_config_app.h"
#include "pairway/registry_batch.h"
#include "pairwayctl.h"
#include "reg_tree.h"

namespace pairwayctl {

// The library's configuration model for as long as the object lives, loaded from the registry as
// the entry points load it, and freed as they free it.
class LoadedModel {
 public:
  // What the model holds: the groups and stand-alone ports (as for the sheet), or the ports the
  // new-hardware dialog lists (every port without a connection type).
  enum Kind { kGroups, kUntypedPorts };

  explicit LoadedModel(Kind kind);
  ~LoadedModel();
  LoadedModel(const LoadedModel&) = delete;
  LoadedModel& operator=(const LoadedModel&) = delete;

  CGroupsConfigApp& app() { return theApp; }
};

class Session {
 public:
  // `consent` answers the library's questions (see console_sink.h).
  Session(const Options& options, LoadedModel::Kind model, bool consent);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // False when the machine root or the registry cannot be used; Finish then reports it.
  bool ok() const { return ok_; }
  CGroupsConfigApp& app() { return theApp; }

  // Names the groups and ports the change summary shows after the change (with --json).
  void Report(const std::vector<std::string>& groups, const std::vector<std::string>& ports);

  // Ends the change: commits it when the library refused nothing and `refused` is false, prints
  // it on a dry run. Returns the exit code. The model is freed: app() must not be used after.
  int Finish(bool refused = false);

 private:
  Options options_;
  std::unique_ptr<pairway::RegistryBatch> batch_;
  ConsoleSink sink_;
  std::vector<pairway::reg::KeySection> before_;
  std::unique_ptr<LoadedModel> model_;
  bool ok_ = false;
};

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_SESSION_H
