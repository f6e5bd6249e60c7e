// running_group.h: one group the driver runs: its members' links, the active-backup rules, and
// (for a group of Linux interfaces) the data path that makes the active member carry the frames.
//
// A member is up, down or missing (its interface or emulated state is not there, or cannot be
// a member: loopback, not Ethernet). A Linux group's data path holds the members that are there;
// when a member comes or goes, NeedsRebuild() turns true and the engine makes the group again.
// An emulated group has no data path: its simulated traffic follows the active port (the
// "traffic" of the active port's state is on, the others' off, while any of them had it on).
//
// Threads: the daemon's one thread.
#ifndef PAIRWAY_DRIVER_TREVAN_RUNNING_GROUP_H
#define PAIRWAY_DRIVER_TREVAN_RUNNING_GROUP_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "active_backup.h"
#include "data_path.h"
#include "failover_state.h"
#include "group_model.h"
#include "link_watch.h"

namespace pairway::driver {

struct GroupCounts {
  uint64_t failovers = 0;
  uint64_t failbacks = 0;
  uint64_t link_changes = 0;
};

struct GroupContext {
  std::filesystem::path root;
  std::filesystem::path journal;  // the data paths' journal folder
  LinkWatch* watch = nullptr;     // the emulated or the interface watch, as the group needs
  std::function<void(const std::string&)> log;
};

class RunningGroup {
 public:
  // `ifname`: the group interface's name (empty for an emulated group). `carried`: the counts
  // of the group this one replaces.
  RunningGroup(GroupConfig config, std::string ifname, GroupContext context, GroupCounts carried);
  // Takes the group apart (the data path gives the members back) and stops watching them.
  ~RunningGroup();
  RunningGroup(const RunningGroup&) = delete;
  RunningGroup& operator=(const RunningGroup&) = delete;

  // Watches the members, makes the data path, makes the first active member active.
  void Start(int64_t now_ms);
  // A change reported by the watch; false when `change.key` is none of this group's.
  bool OnLink(const LinkChange& change, int64_t now_ms);
  // Applies the rules; true when anything the state shows changed.
  bool Advance(int64_t now_ms);
  std::optional<int64_t> NextDeadline() const;
  // The kernel picks the active member (a bond): the loop reads its choice every so often.
  bool kernel_chooses() const { return path_ && path_->monitors_links(); }
  // False for a Linux group whose interface could not be made (it waits for another try).
  bool made() const { return config_.emulated || path_ != nullptr; }
  // Takes a changed name, time-out or address list without taking the group apart.
  void Update(const GroupConfig& config);
  bool NeedsRebuild() const { return needs_rebuild_; }
  // Counts a failover the rules did not see: the group was made again and another port took over.
  void CountFailover() { ++extra_counts_.failovers; }

  const GroupConfig& config() const { return config_; }
  const std::string& ifname() const { return ifname_; }
  GroupCounts counts() const;
  GroupStatus Status() const;
  std::vector<RejectedPort> unusable() const;  // members refused at run time, with the reason

 private:
  std::string KeyOf(size_t member) const;
  void ApplyActive();
  void FollowTraffic();
  void CheckMember(size_t member);

  GroupConfig config_;
  const std::string ifname_;
  const GroupContext context_;
  const GroupCounts carried_;
  std::vector<MemberLink> links_;
  std::vector<std::string> unusable_;  // by member; empty when usable
  std::vector<int> path_index_;        // by member: its place in the data path, -1 none
  std::unique_ptr<DataPath> path_;
  std::string backend_;
  std::optional<ActiveBackup> machine_;
  int applied_ = -1;          // the member the host carries the traffic through now
  GroupCounts extra_counts_;  // changes made outside the rules (the kernel bond's own)
  bool traffic_ = false;      // the group carries simulated traffic
  int traffic_on_ = -1;       // the member the driver last left it on
  bool needs_rebuild_ = false;
};

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_TREVAN_RUNNING_GROUP_H
