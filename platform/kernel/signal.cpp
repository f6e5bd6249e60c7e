// Signal: the waitable flag of events, threads and processes.
#include "pairway/kernel_object.h"

#include <windows.h>

namespace pairway {

Signal::Signal(bool manual_reset, bool initially_set)
    : manual_reset_(manual_reset), set_(initially_set) {}

bool Signal::Wait(DWORD milliseconds) {
  std::unique_lock lock(mutex_);
  auto is_set = [this] { return set_; };
  if (milliseconds == INFINITE) {
    changed_.wait(lock, is_set);
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), is_set)) {
    return false;
  }
  if (!manual_reset_) set_ = false;
  return true;
}

void Signal::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  // An auto-reset signal wakes one waiter: the first to take the lock consumes it, and any other
  // woken would only find it clear again, so one notification is enough.
  if (manual_reset_) {
    changed_.notify_all();
  } else {
    changed_.notify_one();
  }
}

void Signal::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Signal::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

}  // namespace pairway
