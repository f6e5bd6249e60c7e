// The active-backup rules (active_backup.h).
#include "active_backup.h"

namespace pairway::driver {

ActiveBackup::ActiveBackup(const std::vector<bool>& links, uint32_t timeout_s, int64_t now_ms)
    : timeout_s_(timeout_s) {
  for (bool up : links) members_.push_back({up, now_ms});
  active_ = FirstUp();
}

int ActiveBackup::FirstUp() const {
  for (size_t i = 0; i < members_.size(); ++i) {
    if (members_[i].up) return static_cast<int>(i);
  }
  return -1;
}

void ActiveBackup::SetLink(size_t member, bool up, int64_t now_ms) {
  if (member >= members_.size() || members_[member].up == up) return;
  members_[member] = {up, now_ms};
  ++link_changes_;
}

void ActiveBackup::SetTimeout(uint32_t timeout_s) { timeout_s_ = timeout_s; }

bool ActiveBackup::Advance(int64_t now_ms) {
  if (active_ < 0) {
    active_ = FirstUp();
    return active_ >= 0;
  }
  const Member& current = members_[static_cast<size_t>(active_)];
  if (!current.up) {
    if (now_ms - current.since_ms < timeout_ms()) return false;
    active_ = FirstUp();
    if (active_ >= 0) ++failovers_;
    return true;
  }
  const Member& head = members_.front();
  if (active_ != 0 && head.up && now_ms - head.since_ms >= timeout_ms()) {
    active_ = 0;
    ++failbacks_;
    return true;
  }
  return false;
}

std::optional<int64_t> ActiveBackup::NextDeadline() const {
  if (active_ < 0) {
    const int first = FirstUp();
    if (first < 0) return std::nullopt;
    return members_[static_cast<size_t>(first)].since_ms;
  }
  const Member& current = members_[static_cast<size_t>(active_)];
  if (!current.up) return current.since_ms + timeout_ms();
  if (active_ != 0 && members_.front().up) return members_.front().since_ms + timeout_ms();
  return std::nullopt;
}

}  // namespace pairway::driver
