// volatile_keys.h: keys made with REG_OPTION_VOLATILE, which last until the machine root's next
// boot, and what a boot is for a hive.
//
// BOOT
//
//   The platform keeps volatile keys in memory, so they are gone when the machine starts again.
//   A machine root has no such moment of its own (the service manager may be started and stopped
//   any number of times, or not at all), so a hive boots when it is opened while no process has
//   it open: the machine is "up" for as long as some process (the service manager, a service, a
//   tool) holds the hive. Every process that has the hive open holds a shared lock of the file
//   "registry.open" beside it; a process that opens the hive first tries the lock exclusively,
//   and when it gets it nobody else has the hive open: it removes every volatile key with its
//   values, then turns its lock into a shared one. Others block on their shared lock meanwhile,
//   so no process sees a volatile key of the previous boot. A process that dies drops its lock
//   with it, so a crash counts as closing.
//
// LAYOUT
//
//   volatile(id INTEGER PRIMARY KEY)   the ids of the volatile keys (hive.h's keys.id). A hive
//   made before this table existed gets it on its first open by a process that may write it;
//   until then it has no volatile keys.
//
// RULES
//
//   1. Every key below a volatile key is volatile (RegCreateKeyExA refuses a non-volatile one
//      with ERROR_CHILD_MUST_BE_VOLATILE), so a boot removes whole subtrees and never leaves a
//      key without its parent.
//   2. A key's volatility is fixed when it is made: opening an existing key with or without
//      REG_OPTION_VOLATILE does not change it.
#ifndef PAIRWAY_REGISTRY_VOLATILE_KEYS_H
#define PAIRWAY_REGISTRY_VOLATILE_KEYS_H

#include <filesystem>

#include <windows.h>

#include "hive.h"

namespace pairway::registry {

// The shared lock of the processes that have a hive open.
class HiveUsers {
 public:
  // Joins the users of `hive_file`. *first is true when no other process had it open: the caller
  // then holds the lock exclusively and must call Share() once it has booted the hive. Without a
  // lock file (a root that cannot be written), *first is false and nothing is held.
  static std::unique_ptr<HiveUsers> Join(const std::filesystem::path& hive_file, bool* first);
  ~HiveUsers();
  HiveUsers(const HiveUsers&) = delete;
  HiveUsers& operator=(const HiveUsers&) = delete;

  void Share();

 private:
  explicit HiveUsers(int fd) : fd_(fd) {}
  int fd_;
};

// Makes the table where a hive lacks it; does nothing on a read-only hive.
DWORD EnsureVolatileTable(Hive& hive);
// The boot: removes every volatile key and its values, in one transaction of its own.
DWORD DropVolatileKeys(Hive& hive);

// Inside a registry call's transaction:
DWORD IsVolatileKey(Hive& hive, int64_t id, bool* is_volatile);
DWORD MarkVolatileKey(Hive& hive, int64_t id);
DWORD ForgetVolatileKey(Hive& hive, int64_t id);

}  // namespace pairway::registry

#endif  // PAIRWAY_REGISTRY_VOLATILE_KEYS_H
