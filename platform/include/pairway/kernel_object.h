// kernel_object.h: the process-wide handle table behind every kernel HANDLE.
//
// Each family of the layer that hands out HANDLEs (events, threads and processes here; files and
// devices elsewhere) derives its object from KernelObject and registers it with InsertHandle. The
// table owns one reference per open handle; CloseHandle drops it, and the object dies when the
// last reference (a handle, a running thread, a caller's shared_ptr) goes.
//
// Handle values are small multiples of 4 cast to pointers, as on the platform. They are never
// NULL or INVALID_HANDLE_VALUE, stay below 0x80000000 (where the registry's predefined keys live)
// and are not reused immediately: a value closed is handed out again only after the counter has
// gone round the whole range, so a stale handle fails instead of reaching a newer object.
//
// All calls are safe from any thread.
#ifndef PAIRWAY_KERNEL_OBJECT_H
#define PAIRWAY_KERNEL_OBJECT_H

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "pairway/api.h"
#include "windef.h"

namespace pairway {

// The base of every object behind a kernel HANDLE. Objects that can be waited on override Wait.
class PAIRWAY_API KernelObject {
 public:
  virtual ~KernelObject();

  // False for objects that cannot be waited on (files, devices): WaitForSingleObject then fails
  // with ERROR_INVALID_HANDLE.
  virtual bool Waitable() const { return false; }

  // Blocks until the object is signalled (true) or `milliseconds` passed (false); INFINITE waits
  // forever. An auto-reset object consumes the signal it returns true for. Called only when
  // Waitable() is true.
  virtual bool Wait(DWORD milliseconds);
};

// A waitable flag: the state of events, threads and processes. A manual-reset signal stays set
// until Reset; an auto-reset one releases exactly one waiter per Set.
class PAIRWAY_API Signal : public KernelObject {
 public:
  Signal(bool manual_reset, bool initially_set);

  bool Waitable() const override { return true; }
  bool Wait(DWORD milliseconds) override;

  void Set();
  void Reset();
  // The state without waiting or consuming it.
  bool IsSet() const;

 private:
  const bool manual_reset_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;  // guarded by mutex_
};

// Registers an object and returns its new handle; NULL (with ERROR_NOT_ENOUGH_MEMORY) only when
// every handle value is in use or `object` is null.
PAIRWAY_API HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind an open handle; null when the handle is not open.
PAIRWAY_API std::shared_ptr<KernelObject> LookupObject(HANDLE handle);

// The object behind an open handle as a T; null when the handle is not open or holds another
// kind of object. Does not set the last error: the caller reports ERROR_INVALID_HANDLE.
template <typename T>
std::shared_ptr<T> LookupHandle(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupObject(handle));
}

// Drops the table's reference for `handle`; false when it was not open. CloseHandle is this plus
// the last error.
PAIRWAY_API bool EraseHandle(HANDLE handle);

}  // namespace pairway

#endif  // PAIRWAY_KERNEL_OBJECT_H
