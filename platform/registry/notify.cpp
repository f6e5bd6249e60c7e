// Change notification; the protocol is described in notify.h.
#include "notify.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

#include "hive.h"
#include "pairway/machine_root.h"

namespace pairway::registry {
namespace {

constexpr const char kNotifyFile[] = "registry.notify";
constexpr int kGuardMs = 1000;

std::filesystem::path NotifyFile(const std::filesystem::path& hive_file) {
  return hive_file.parent_path() / kNotifyFile;
}

// Whether a change matching the watch happened past the handle's position; moves the position
// to the newest change either way, since every change up to it has now been considered.
// Caller holds the session and the handle's watch_mutex.
DWORD CheckChanges(Hive& hive, KeyHandle& handle, bool subtree, DWORD filter, bool* changed) {
  Transaction txn(hive, false);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  Statement range(hive.db(), "SELECT coalesce(min(seq),0), coalesce(max(seq),0) FROM changes");
  if (range.Step() != SQLITE_ROW) return ErrorFromSqlite(range.prepare_rc());
  int64_t oldest = range.Int(0);
  int64_t newest = range.Int(1);
  if (!handle.armed) {
    handle.armed = true;
    handle.last_seq = newest;
    *changed = false;
    return ERROR_SUCCESS;
  }
  if (newest <= handle.last_seq) {
    *changed = false;
    return ERROR_SUCCESS;
  }
  if (oldest > handle.last_seq + 1) {
    *changed = true;  // rule 5
  } else {
    Statement match(hive.db(),
                    "SELECT 1 FROM changes WHERE seq > ?1 AND"
                    " (((kind & ?2) != 0 AND"
                    "   (path = ?3 OR (?4 AND substr(path, 1, length(?3) + 1) = ?3 || '\\')))"
                    "  OR ((kind & ?5) != 0 AND path = ?3))"
                    " LIMIT 1");
    match.Bind(1, handle.last_seq).Bind(2, static_cast<int64_t>(filter));
    match.Bind(3, handle.path).Bind(4, static_cast<int64_t>(subtree ? 1 : 0));
    match.Bind(5, static_cast<int64_t>(kKeyDeleted));
    int rc = match.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    *changed = rc == SQLITE_ROW;
  }
  handle.last_seq = newest;
  return ERROR_SUCCESS;
}

// CheckChanges for a handle of the session's hive; ERROR_INVALID_HANDLE for a handle of a hive
// the process no longer has open.
DWORD CheckHandle(Session& session, KeyHandle& handle, bool subtree, DWORD filter, bool* changed) {
  if (!handle.predefined && handle.generation != session.generation()) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::mutex> lock(handle.watch_mutex);
  return CheckChanges(session.hive(), handle, subtree, filter, changed);
}

// Whether `change` is one the watch reports (the same test as CheckChanges' query).
bool Matches(const LoggedChange& change, const KeyHandle& handle, bool subtree, DWORD filter) {
  if ((change.kind & kKeyDeleted) != 0 && change.path == handle.path) return true;
  if ((change.kind & filter) == 0) return false;
  if (change.path == handle.path) return true;
  return subtree && change.path.size() > handle.path.size() &&
         change.path.compare(0, handle.path.size(), handle.path) == 0 &&
         change.path[handle.path.size()] == '\\';
}

// An inotify descriptor watching the root for step 2 of the protocol.
class RootWatch {
 public:
  explicit RootWatch(const std::filesystem::path& hive_file)
      : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (fd_ >= 0) {
      inotify_add_watch(fd_, hive_file.parent_path().c_str(), IN_MODIFY | IN_CREATE | IN_MOVED_TO);
    }
  }
  ~RootWatch() {
    if (fd_ >= 0) close(fd_);
  }
  RootWatch(const RootWatch&) = delete;
  RootWatch& operator=(const RootWatch&) = delete;

  int fd() const { return fd_; }

  // Reads the pending events; true when one concerned the notify file.
  bool Drain() {
    alignas(inotify_event) char buffer[4096];
    bool relevant = false;
    ssize_t n;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
      for (char* p = buffer; p < buffer + n;) {
        auto* event = reinterpret_cast<inotify_event*>(p);
        if (event->len > 0 && std::strcmp(event->name, kNotifyFile) == 0) relevant = true;
        p += sizeof(inotify_event) + event->len;
      }
    }
    return relevant;
  }

 private:
  int fd_;
};

// ---- Asynchronous watches ---------------------------------------------------------------------

struct AsyncWatch {
  std::shared_ptr<KeyHandle> handle;
  bool subtree;
  DWORD filter;
  HANDLE event;
};

// One thread per process serves every asynchronous watch. It lives until the process ends.
//
// Every armed asynchronous watch of the process is in watches_ until it fires or its handle
// closes, so a write of this process finds all of them (Deliver). The thread checks them holding
// the session, then mutex_: the order in which a committing writer holds them too.
class Notifier {
 public:
  static Notifier& Instance() {
    static Notifier* instance = Made(new Notifier);
    return *instance;
  }
  // The notifier if a watch ever made it; a process that never watches gets no thread.
  static Notifier* Existing() { return made_.load(std::memory_order_acquire); }

  // Caller holds the session: no write of this process comes between its check and this.
  void Add(AsyncWatch watch) {
    watch.handle->ClosedFd();  // made now, so the thread's poll includes it from the start
    {
      std::lock_guard<std::mutex> lock(mutex_);
      watches_.push_back(std::move(watch));
    }
    Wake();
  }

  // A write of this process committed `changes`: signals every watch they concern before the
  // writing call returns. Caller holds the session.
  void Deliver(const std::vector<LoggedChange>& changes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = watches_.begin(); it != watches_.end();) {
      if (Concerns(changes, *it)) {
        SetEvent(it->event);
        it = watches_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  Notifier() {
    if (pipe2(wake_fd_, O_CLOEXEC | O_NONBLOCK) != 0) wake_fd_[0] = wake_fd_[1] = -1;
    std::thread([this] { Run(); }).detach();
  }

  void Wake() {
    uint64_t one = 1;
    if (write(wake_fd_[1], &one, 1) < 0) {
      // The pipe is full: the thread has a wake-up pending already.
    }
  }

  // Whether the watch fires for `changes`; if so its position moves past them, as a check of
  // the log would have moved it.
  static bool Concerns(const std::vector<LoggedChange>& changes, const AsyncWatch& watch) {
    KeyHandle& handle = *watch.handle;
    std::lock_guard<std::mutex> lock(handle.watch_mutex);
    bool fires = false;
    int64_t newest = handle.last_seq;
    for (const LoggedChange& change : changes) {
      if (change.seq <= handle.last_seq) continue;
      fires = fires || Matches(change, handle, watch.subtree, watch.filter);
      newest = std::max(newest, change.seq);
    }
    if (fires) handle.last_seq = newest;
    return fires;
  }

  void Run() {
    std::unique_ptr<RootWatch> root_watch;
    std::filesystem::path watched;
    bool check = true;
    for (;;) {
      if (check) {
        std::filesystem::path hive_file = CheckAll();
        if (!hive_file.empty() && hive_file != watched) {
          root_watch = std::make_unique<RootWatch>(hive_file);
          watched = hive_file;
          continue;  // check again: a change may have come before the watch existed
        }
      }
      std::vector<pollfd> fds = {{wake_fd_[0], POLLIN, 0},
                                 {root_watch ? root_watch->fd() : -1, POLLIN, 0}};
      AddClosedFds(&fds);
      // Only an announcement, a new or closed watch, or the guard's time-out calls for a look at
      // the log: the root's other files (the hive's own writes among them) change all the time.
      check = poll(fds.data(), fds.size(), kGuardMs) <= 0;
      char drain[64];
      while (read(wake_fd_[0], drain, sizeof drain) > 0) check = true;
      if (root_watch && root_watch->Drain()) check = true;
      for (size_t i = 2; i < fds.size(); ++i) check = check || (fds[i].revents & POLLIN) != 0;
    }
  }

  // A handle closed while its watch waits wakes the thread through its ClosedFd().
  void AddClosedFds(std::vector<pollfd>* fds) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const AsyncWatch& watch : watches_) fds->push_back({watch.handle->ClosedFd(), POLLIN, 0});
  }

  // Signals and drops every watch that saw a change or whose handle closed; returns the hive
  // file of the current root (empty when there is none).
  std::filesystem::path CheckAll() {
    Session session;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = watches_.begin(); it != watches_.end();) {
      if (Fired(session, *it)) {
        SetEvent(it->event);
        it = watches_.erase(it);
      } else {
        ++it;
      }
    }
    return session.status() == ERROR_SUCCESS ? session.hive().file() : std::filesystem::path();
  }

  static bool Fired(Session& session, const AsyncWatch& watch) {
    // As on the platform, closing the key signals the event: a waiter must not sleep on.
    if (watch.handle->Closed()) return true;
    if (session.status() != ERROR_SUCCESS) return true;
    bool changed = false;
    DWORD error = CheckHandle(session, *watch.handle, watch.subtree, watch.filter, &changed);
    return error != ERROR_SUCCESS || changed;
  }

  static Notifier* Made(Notifier* notifier) {
    made_.store(notifier, std::memory_order_release);
    return notifier;
  }

  static inline std::atomic<Notifier*> made_{nullptr};
  std::mutex mutex_;
  std::vector<AsyncWatch> watches_;  // guarded by mutex_
  int wake_fd_[2];
};

}  // namespace

int OpenAnnouncements(const std::filesystem::path& hive_file) {
  return open(NotifyFile(hive_file).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
}

void PublishChanges(Hive& hive, const std::vector<LoggedChange>& changes) {
  if (Notifier* notifier = Notifier::Existing()) notifier->Deliver(changes);
  if (hive.notify_fd() >= 0 && pwrite(hive.notify_fd(), "!", 1, 0) < 0) {
    // Waiters fall back on their guard time for a lost announcement.
  }
}

DWORD WaitForChange(const std::shared_ptr<KeyHandle>& handle, bool subtree, DWORD filter) {
  // The wait is an asynchronous watch with an event of its own: the process's notification
  // thread (one inotify descriptor for all its waits, kept open) or a write of this process
  // signals it, and so does closing the handle.
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  DWORD error = WatchForChange(handle, subtree, filter, event);
  if (error == ERROR_SUCCESS) WaitForSingleObject(event, INFINITE);
  CloseHandle(event);
  return error;
}

DWORD WatchForChange(const std::shared_ptr<KeyHandle>& handle, bool subtree, DWORD filter,
                     HANDLE event) {
  // Arming starts from a clear event: only a change from now on (or one the armed watch has
  // not reported yet) signals it.
  ResetEvent(event);
  Session session;
  if (session.status() != ERROR_SUCCESS) return session.status();
  bool changed = false;
  DWORD error = CheckHandle(session, *handle, subtree, filter, &changed);
  if (error != ERROR_SUCCESS) return error;
  if (changed) {
    SetEvent(event);
    return ERROR_SUCCESS;
  }
  Notifier::Instance().Add({handle, subtree, filter, event});
  return ERROR_SUCCESS;
}

}  // namespace pairway::registry
