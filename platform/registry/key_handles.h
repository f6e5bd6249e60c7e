// key_handles.h: the process's open registry keys (HKEY values).
//
// An HKEY names a KeyHandle: which key of which hive it opened, with which rights, and the
// handle's change watch. Values are multiples of 4 from 0x40000000 upwards, apart from kernel
// HANDLEs and below the predefined keys (0x80000000...), and are not reused while the counter
// has not gone round. The predefined keys HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are always
// open with every right; "closing" them does nothing.
//
// All calls are safe from any thread.
#ifndef PAIRWAY_REGISTRY_KEY_HANDLES_H
#define PAIRWAY_REGISTRY_KEY_HANDLES_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <windows.h>

namespace pairway::registry {

struct KeyHandle {
  KeyHandle(int64_t id, std::string folded_path, REGSAM rights, uint64_t hive_generation,
            bool is_predefined);
  ~KeyHandle();

  const int64_t key_id;
  const std::string path;  // folded full path, as keys.path
  const REGSAM access;
  const uint64_t generation;  // the hive it belongs to; 0 for predefined keys (any hive)
  const bool predefined;

  // The change watch (see notify.h). Armed by the first RegNotifyChangeKeyValue on the handle.
  std::mutex watch_mutex;
  bool armed = false;    // guarded by watch_mutex
  int64_t last_seq = 0;  // guarded by watch_mutex: every change up to this one was considered

  // An eventfd that is readable once the handle is closed, so that a poll on it ends waits; made
  // by the first watch that asks for it (most handles never have one), -1 when none could be.
  int ClosedFd();
  bool Closed();
  // Called once, by EraseKeyHandle.
  void MarkClosed();

 private:
  std::mutex close_mutex_;
  bool closed_ = false;  // guarded by close_mutex_
  int closed_fd_ = -1;   // guarded by close_mutex_
};

// Expands generic and MAXIMUM_ALLOWED rights into key rights.
REGSAM NormalizeAccess(REGSAM sam);

HKEY InsertKeyHandle(std::shared_ptr<KeyHandle> handle);
// Null when `key` is not an open key handle.
std::shared_ptr<KeyHandle> LookupKeyHandle(HKEY key);
// False when `key` was not open. Wakes waits on it.
bool EraseKeyHandle(HKEY key);

}  // namespace pairway::registry

#endif  // PAIRWAY_REGISTRY_KEY_HANDLES_H
