#include "event_loop.h"

#include <errno.h>
#include <sys/epoll.h>

#include <algorithm>

namespace pairway::scm {

bool EventLoop::Open() {
  epoll_ = UniqueFd(epoll_create1(EPOLL_CLOEXEC));
  return epoll_.valid();
}

bool EventLoop::Watch(int fd, Callback on_readable) {
  uint64_t id = next_id_++;
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = id;
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0) return false;
  watched_[id] = Watched{fd, std::move(on_readable)};
  ids_[fd] = id;
  return true;
}

void EventLoop::Unwatch(int fd) {
  auto it = ids_.find(fd);
  if (it == ids_.end()) return;
  // A descriptor closed already has left the set by itself; the error is of no interest then.
  epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
  watched_.erase(it->second);
  ids_.erase(it);
}

void EventLoop::SetTimer(const std::string& name, std::chrono::milliseconds delay, Callback fire) {
  CancelTimer(name);
  timers_.push_back(
      {name, std::chrono::steady_clock::now() + delay, next_serial_++, std::move(fire)});
}

void EventLoop::CancelTimer(const std::string& name) {
  std::erase_if(timers_, [&](const Timer& timer) { return timer.name == name; });
}

bool EventLoop::HasTimer(const std::string& name) const {
  return std::any_of(timers_.begin(), timers_.end(),
                     [&](const Timer& timer) { return timer.name == name; });
}

bool EventLoop::Run() {
  while (!stopped_) {
    epoll_event events[32];
    int n = epoll_wait(epoll_.get(), events, 32, MillisecondsToNextTimer());
    if (n < 0 && errno != EINTR) return false;
    for (int i = 0; i < n && !stopped_; ++i) Dispatch(events[i].data.u64);
    if (!stopped_) FireDueTimers();
  }
  return true;
}

int EventLoop::MillisecondsToNextTimer() const {
  if (timers_.empty()) return -1;
  auto next = std::min_element(timers_.begin(), timers_.end(),
                               [](const Timer& a, const Timer& b) { return a.when < b.when; });
  auto wait =
      std::chrono::ceil<std::chrono::milliseconds>(next->when - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<int64_t>(wait.count(), 0, 60000));
}

void EventLoop::Dispatch(uint64_t id) {
  auto it = watched_.find(id);
  if (it == watched_.end()) return;  // unwatched earlier in this pass
  // A copy: the callback may unwatch its own descriptor, which destroys the stored one.
  Callback on_readable = it->second.on_readable;
  on_readable();
}

void EventLoop::FireDueTimers() {
  const auto now = std::chrono::steady_clock::now();
  const uint64_t pass = next_serial_;
  while (!stopped_) {
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->when <= now && it->serial < pass && (due == timers_.end() || it->when < due->when))
        due = it;
    }
    if (due == timers_.end()) return;
    // Out of the list before it runs: a timer may set itself again.
    Callback fire = std::move(due->fire);
    timers_.erase(due);
    fire();
  }
}

}  // namespace pairway::scm
