// event_loop.h: one thread's loop over readable descriptors and named timers.
//
// The service manager does everything on one thread: a descriptor that becomes readable (the
// listening socket, a client, a service's channel, the signalfd) or a time-out that runs out (a
// start, a control, the shutdown) calls its callback, one at a time, so no callback needs a
// lock. The loop is epoll plus a short list of timers; the daemon has a handful of timers at any
// moment, so the list is searched, not kept in a heap.
//
// What callbacks may rely on:
//   - A callback may watch and unwatch descriptors, set and cancel timers, and stop the loop.
//   - Once Unwatch(fd) or CancelTimer(name) has returned, that callback is not called again,
//     even when its descriptor was already reported readable or its timer already due in the
//     pass that is running.
//   - SetTimer with a name in use replaces that timer: only the new deadline fires.
//   - Timers that are due together fire in the order of their deadlines. A timer set by a
//     callback fires in a later pass, never in the one that set it, even with no delay.
//   - After Stop, no further callback runs and Run returns.
//
// Not thread-safe: every call is made on the thread that runs the loop.
#ifndef PAIRWAY_TOOLS_SCM_EVENT_LOOP_H
#define PAIRWAY_TOOLS_SCM_EVENT_LOOP_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "unique_fd.h"

namespace pairway::scm {

class EventLoop {
 public:
  using Callback = std::function<void()>;

  EventLoop() = default;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Makes the epoll set. False, with errno set, when it cannot be made.
  [[nodiscard]] bool Open();

  // Calls `on_readable` whenever `fd` is readable (level-triggered: until it has been read).
  // False, with errno set, when epoll refuses the descriptor (EEXIST: it is watched already).
  // The loop does not own `fd`; Unwatch it before closing it.
  [[nodiscard]] bool Watch(int fd, Callback on_readable);
  // Stops watching `fd`; nothing when it is not watched.
  void Unwatch(int fd);

  // Calls `fire` once, `delay` from now, unless cancelled or replaced first.
  void SetTimer(const std::string& name, std::chrono::milliseconds delay, Callback fire);
  void CancelTimer(const std::string& name);
  bool HasTimer(const std::string& name) const;

  // Serves descriptors and timers until Stop. False, with errno set, when waiting failed; the
  // loop is then still usable.
  [[nodiscard]] bool Run();
  // Ends Run after the callback that called it; before Run, Run returns at once.
  void Stop() { stopped_ = true; }

 private:
  struct Watched {
    int fd;
    Callback on_readable;
  };
  struct Timer {
    std::string name;
    std::chrono::steady_clock::time_point when;
    uint64_t serial;  // timers set during a pass have a serial at or above the pass's
    Callback fire;
  };

  int MillisecondsToNextTimer() const;
  void Dispatch(uint64_t id);
  void FireDueTimers();

  UniqueFd epoll_;
  std::map<uint64_t, Watched> watched_;  // by the id epoll reports
  std::map<int, uint64_t> ids_;          // descriptor -> id
  uint64_t next_id_ = 1;
  std::vector<Timer> timers_;
  uint64_t next_serial_ = 0;
  bool stopped_ = false;
};

}  // namespace pairway::scm

#endif  // PAIRWAY_TOOLS_SCM_EVENT_LOOP_H
