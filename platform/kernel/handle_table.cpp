// The process-wide handle table, CloseHandle and WaitForSingleObject.
#include "pairway/kernel_object.h"

#include <windows.h>

#include <cstdint>
#include <map>

namespace pairway {
namespace {

// Handle values run 4, 8, ..., kLastValue, then round again, skipping values still open.
constexpr uintptr_t kStep = 4;
constexpr uintptr_t kLastValue = 0x7FFFFFFC;

class HandleTable {
 public:
  HANDLE Insert(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(mutex_);
    if (objects_.size() >= kLastValue / kStep) return nullptr;
    do {
      next_ = next_ >= kLastValue ? kStep : next_ + kStep;
    } while (objects_.count(next_) != 0);
    objects_.emplace(next_, std::move(object));
    return reinterpret_cast<HANDLE>(next_);
  }

  std::shared_ptr<KernelObject> Lookup(HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
  }

  // Returns the erased object so that its destructor runs outside the lock: a destructor may
  // itself close handles.
  std::shared_ptr<KernelObject> Erase(HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == objects_.end()) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(it->second);
    objects_.erase(it);
    return object;
  }

 private:
  std::mutex mutex_;
  uintptr_t next_ = 0;                                          // guarded by mutex_
  std::map<uintptr_t, std::shared_ptr<KernelObject>> objects_;  // guarded by mutex_
};

// Never destroyed: threads still running at exit may close their handles after static
// destructors have run.
HandleTable& Table() {
  static HandleTable* table = new HandleTable;
  return *table;
}

}  // namespace

KernelObject::~KernelObject() = default;

bool KernelObject::Wait(DWORD) { return false; }

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HANDLE handle = object ? Table().Insert(std::move(object)) : nullptr;
  if (handle == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return handle;
}

std::shared_ptr<KernelObject> LookupObject(HANDLE handle) { return Table().Lookup(handle); }

bool EraseHandle(HANDLE handle) { return Table().Erase(handle) != nullptr; }

}  // namespace pairway

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!pairway::EraseHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<pairway::KernelObject> object = pairway::LookupObject(hHandle);
  if (!object || !object->Waitable()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
