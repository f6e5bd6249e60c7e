// engine.h: the failover engine of the driver service: the groups it runs, on one thread.
//
// Start order (teardown runs in reverse, in Stop):
//   1. the root's driver lock and state file (StatePublisher): one driver per root;
//   2. the clean-up of what an earlier driver of the root left on the host (its journal);
//   3. the link watches: emulated ports always, Linux interfaces when a group needs them;
//   4. the groups, from the registry (Reconfigure), again at every PARAMCHANGE.
//
// Reconfigure re-forms only what changed: a group whose configuration is the same keeps running
// untouched (a failover under way goes on); one whose addresses, name or time-out alone changed
// is updated in place; one whose members changed is taken apart and made again, keeping its
// counts; groups that went are taken apart before new ones are made, so a port can move
// from one group to another in one step.
//
// The loop asks fds() and WaitMs() what to wait for, then calls Tick() whenever a descriptor
// is readable or the wait ran out. Every change is published at once.
#ifndef PAIRWAY_DRIVER_TREVAN_ENGINE_H
#define PAIRWAY_DRIVER_TREVAN_ENGINE_H

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "failover_state.h"
#include "group_model.h"
#include "link_watch.h"
#include "running_group.h"

namespace pairway::driver {

class Engine {
 public:
  using Log = std::function<void(const std::string&)>;
  Engine(std::filesystem::path root, Log log);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Steps 1 to 3. False with *error when the driver cannot run (another driver holds the root).
  [[nodiscard]] bool Start(std::string* error);
  // Reads the groups from the registry and makes the host follow (step 4).
  void Reconfigure();
  // Descriptors that wake the loop, and how long it may sleep (-1: until one is readable).
  std::vector<int> fds() const;
  int WaitMs() const;
  // Reads the link changes, applies the rules, publishes what changed.
  void Tick();
  // Takes every group apart and withdraws the publication.
  void Stop();

 private:
  LinkWatch* WatchFor(bool emulated);
  void OnLinkChange(bool emulated, const LinkChange& change);
  void Publish();
  std::string ChooseInterfaceName(const GroupConfig& config, const RunningGroup* old) const;

  const std::filesystem::path root_;
  const Log log_;
  std::unique_ptr<StatePublisher> publisher_;
  FailoverState state_;
  std::string published_;  // the last publication's text, without its time
  std::unique_ptr<LinkWatch> emulated_watch_;
  std::unique_ptr<LinkWatch> interface_watch_;  // made when a Linux group first needs it
  std::map<std::string, std::unique_ptr<RunningGroup>> groups_;  // by head
  std::vector<RejectedPort> rejected_;
  int64_t started_ = 0;
};

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_TREVAN_ENGINE_H
