// active_backup.h: which member of a group carries its traffic, by the active-backup rules.
//
// Member 0 is the group's head (its primary); the others follow in the order they take over
// (the configuration puts the highest instance number first). With T the link check time-out:
//   1. At the start, and whenever no member is active, the first member in order whose link is
//      up becomes active at once (there is no traffic to keep where it is).
//   2. When the active member's link has been down for T (0: at once), the head becomes active
//      if its link is up, else the first backup in order whose link is up (a failover); with no
//      link anywhere, none is active: the group is down until a link comes back (rule 1).
//   3. While a backup is active and its link is up, the head takes the traffic back once its own
//      link has been up for T without a break (a failback). Another backup never takes over from
//      a backup that works.
//   4. A link that drops and comes back within T changes nothing but the link change count.
//   5. A new time-out applies at once to the waits under way: the wait's start stays when the
//      link changed, only its length changes.
// Times are milliseconds of a monotonic clock the caller passes in; nothing here reads a clock,
// so tests run the rules on a fake one.
#ifndef PAIRWAY_DRIVER_ACTIVE_BACKUP_H
#define PAIRWAY_DRIVER_ACTIVE_BACKUP_H

#include <cstdint>
#include <optional>
#include <vector>

namespace pairway::driver {

class ActiveBackup {
 public:
  // `links`: each member's link now (up or not), in member order.
  ActiveBackup(const std::vector<bool>& links, uint32_t timeout_s, int64_t now_ms);

  // A member's link changed (a report of the same state is ignored). Counts a link change.
  void SetLink(size_t member, bool up, int64_t now_ms);
  void SetTimeout(uint32_t timeout_s);

  // Applies the rules at `now_ms`; true when the active member changed.
  bool Advance(int64_t now_ms);
  // When Advance next has something to decide; nullopt while nothing waits for the time-out.
  std::optional<int64_t> NextDeadline() const;

  int active() const { return active_; }  // -1: none
  bool link(size_t member) const { return members_[member].up; }
  size_t size() const { return members_.size(); }
  uint64_t failovers() const { return failovers_; }
  uint64_t failbacks() const { return failbacks_; }
  uint64_t link_changes() const { return link_changes_; }

 private:
  struct Member {
    bool up = false;
    int64_t since_ms = 0;  // when the link last changed
  };
  int FirstUp() const;
  int64_t timeout_ms() const { return int64_t{timeout_s_} * 1000; }

  std::vector<Member> members_;
  uint32_t timeout_s_;
  int active_ = -1;
  uint64_t failovers_ = 0;
  uint64_t failbacks_ = 0;
  uint64_t link_changes_ = 0;
};

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_ACTIVE_BACKUP_H
