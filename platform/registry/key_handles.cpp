// The table of open registry keys; see key_handles.h.
#include "key_handles.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <unordered_map>

#include "hive.h"

namespace pairway::registry {
namespace {

constexpr uintptr_t kFirstValue = 0x40000000;
constexpr uintptr_t kLastValue = 0x7FFFFFFC;

struct Table {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<KeyHandle>> open;  // guarded by mutex
  uintptr_t next = kFirstValue;                                    // guarded by mutex
};

Table& table() {
  static Table* instance = new Table;  // lives until process exit, as handles may
  return *instance;
}

std::shared_ptr<KeyHandle> Predefined(HKEY key) {
  static const std::shared_ptr<KeyHandle> local_machine =
      std::make_shared<KeyHandle>(kLocalMachineId, "1", KEY_ALL_ACCESS, 0, true);
  static const std::shared_ptr<KeyHandle> current_user =
      std::make_shared<KeyHandle>(kCurrentUserId, "2", KEY_ALL_ACCESS, 0, true);
  if (key == HKEY_LOCAL_MACHINE) return local_machine;
  if (key == HKEY_CURRENT_USER) return current_user;
  return nullptr;
}

}  // namespace

KeyHandle::KeyHandle(int64_t id, std::string folded_path, REGSAM rights, uint64_t hive_generation,
                     bool is_predefined)
    : key_id(id),
      path(std::move(folded_path)),
      access(rights),
      generation(hive_generation),
      predefined(is_predefined) {}

KeyHandle::~KeyHandle() {
  if (closed_fd_ >= 0) close(closed_fd_);
}

int KeyHandle::ClosedFd() {
  std::lock_guard<std::mutex> lock(close_mutex_);
  if (closed_fd_ < 0) closed_fd_ = eventfd(closed_ ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
  return closed_fd_;
}

bool KeyHandle::Closed() {
  std::lock_guard<std::mutex> lock(close_mutex_);
  return closed_;
}

void KeyHandle::MarkClosed() {
  std::lock_guard<std::mutex> lock(close_mutex_);
  closed_ = true;
  uint64_t one = 1;
  if (closed_fd_ >= 0 && write(closed_fd_, &one, sizeof one) < 0) {
    // Nothing waits on a full eventfd's reader; the handle is gone either way.
  }
}

REGSAM NormalizeAccess(REGSAM sam) {
  REGSAM rights =
      sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (sam & (GENERIC_READ | GENERIC_EXECUTE)) rights |= KEY_READ;
  if (sam & GENERIC_WRITE) rights |= KEY_WRITE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) rights |= KEY_ALL_ACCESS;
  return rights;
}

HKEY InsertKeyHandle(std::shared_ptr<KeyHandle> handle) {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (uintptr_t tries = 0; tries < (kLastValue - kFirstValue) / 4; ++tries) {
    uintptr_t value = t.next;
    t.next = value >= kLastValue ? kFirstValue : value + 4;
    if (t.open.emplace(value, handle).second) return reinterpret_cast<HKEY>(value);
  }
  return nullptr;
}

std::shared_ptr<KeyHandle> LookupKeyHandle(HKEY key) {
  if (auto predefined = Predefined(key)) return predefined;
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.open.find(reinterpret_cast<uintptr_t>(key));
  return it == t.open.end() ? nullptr : it->second;
}

bool EraseKeyHandle(HKEY key) {
  if (Predefined(key)) return true;
  std::shared_ptr<KeyHandle> handle;
  {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.open.find(reinterpret_cast<uintptr_t>(key));
    if (it == t.open.end()) return false;
    handle = std::move(it->second);
    t.open.erase(it);
  }
  handle->MarkClosed();
  return true;
}

}  // namespace pairway::registry
