// The emulated ports' state files, shared by the processes of a root.
//
// The files are the state: <root>/nic/<SERVICE>.state, replaced whole (a temporary file renamed
// over the old one) under the exclusive lock of <root>/nic/.lock, so a reader sees the old or the
// new state, never a mix, and a writer killed at any step leaves one of the two. A process keeps
// what it parsed, stamped with the root's shared change counters (nic_state_changes.h), and
// answers from it for as long as the counters say that no write came since; a query on a port
// that did not change thus costs a few memory loads instead of a read and a parse.
#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <list>
#include <mutex>
#include <system_error>
#include <type_traits>
#include <unordered_map>

#include "devices/nic_state_changes.h"
#include "devices/nic_state_store.h"

namespace pairway {
namespace {

namespace fs = std::filesystem;

// Roots whose ports a process keeps at once; a test process goes through many roots in turn.
constexpr size_t kKeptRoots = 8;

bool ValidServiceName(std::string_view service) {
  return !service.empty() && service.size() < 64 &&
         std::all_of(service.begin(), service.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

std::string Upper(std::string_view service) {
  std::string upper(service);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

fs::path NicDir(const fs::path& root) { return root / "nic"; }
fs::path StatePath(const fs::path& root, const std::string& upper) {
  return NicDir(root) / (upper + ".state");
}

uint64_t InstanceOf(std::string_view service) {
  size_t digits = service.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(service[digits - 1]))) --digits;
  const std::string_view number = service.substr(digits).substr(0, 18);
  uint64_t instance = 0;
  std::from_chars(number.data(), number.data() + number.size(), instance);
  return instance;
}

// The whole file; false when it cannot be read (ERROR_FILE_NOT_FOUND in *status).
bool ReadFile(const fs::path& path, std::string* text, DWORD* status) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *status = ERROR_FILE_NOT_FOUND;
    return false;
  }
  char buffer[4096];
  ssize_t n;
  text->clear();
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text->append(buffer, static_cast<size_t>(n));
  close(fd);
  if (n < 0) *status = ERROR_FILE_NOT_FOUND;
  return n == 0;
}

DWORD ParseStateFile(const fs::path& root, const std::string& upper, NicState* state) {
  std::string text;
  DWORD status = ERROR_SUCCESS;
  if (!ReadFile(StatePath(root, upper), &text, &status)) return status;
  return ParseNicStateFile(text, state) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

std::vector<std::string> ScanPorts(const fs::path& root) {
  std::vector<std::string> services;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(NicDir(root), ec)) {
    const fs::path& path = entry.path();
    if (path.extension() == ".state" && ValidServiceName(path.stem().string()))
      services.push_back(path.stem().string());
  }
  std::sort(services.begin(), services.end(), [](const std::string& a, const std::string& b) {
    const uint64_t ia = InstanceOf(a), ib = InstanceOf(b);
    return ia != ib ? ia < ib : a < b;
  });
  return services;
}

// ---- What a process keeps --------------------------------------------------------------------

template <typename T>
struct Kept {
  NicStamp stamp;
  std::shared_ptr<const T> value;
};

struct KeptRoot {
  std::string root;
  // Null: nothing is kept (nic_state_changes.h rule 4). Shared with writers under way, so that
  // a root dropped from the list meanwhile keeps its mapping until they are done.
  std::shared_ptr<NicStateChanges> changes;
  bool unwritable = false;  // the counters exist but are not ours to raise
  std::unordered_map<std::string, Kept<NicState>> ports;  // by upper-case service name
  Kept<std::vector<std::string>> list;
};

class Keeper {
 public:
  static Keeper& Instance() {
    static Keeper* keeper = new Keeper;  // used until the process ends
    return *keeper;
  }

  // The kept value of `service` ("" for the list) when it is current; the stamp to keep a
  // fresh read under otherwise.
  template <typename T>
  std::shared_ptr<const T> Find(const fs::path& root, const std::string& service, NicStamp* stamp) {
    std::lock_guard<std::mutex> lock(mutex_);
    KeptRoot& kept = Root(root);
    *stamp = NicStamp();
    if (!kept.changes) return nullptr;
    const Kept<T>& entry = Entry<T>(kept, service);
    if (entry.value && kept.changes->Current(entry.stamp, service)) return entry.value;
    *stamp = kept.changes->Stamp(service);
    return nullptr;
  }

  template <typename T>
  void Keep(const fs::path& root, const std::string& service, const NicStamp& stamp,
            std::shared_ptr<const T> value) {
    if (!stamp.valid) return;
    std::lock_guard<std::mutex> lock(mutex_);
    Entry<T>(Root(root), service) = {stamp, std::move(value)};
  }

  // Runs `write` between the two halves of a write (nic_state_changes.h rule 1); the caller
  // holds the folder's lock. ERROR_ACCESS_DENIED, with nothing written, when the counters
  // exist but this process may not raise them.
  DWORD Write(const fs::path& root, const std::string& service, bool ports_changed,
              const std::function<DWORD()>& write) {
    std::shared_ptr<NicStateChanges> changes;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      KeptRoot& kept = Root(root);
      if (kept.unwritable || (kept.changes && !kept.changes->writable()))
        return ERROR_ACCESS_DENIED;
      changes = kept.changes;
    }
    if (changes != nullptr) changes->BeginWrite();
    const DWORD status = write();
    if (changes != nullptr) changes->EndWrite(service, ports_changed);
    return status;
  }

 private:
  // The root's entry, most recently used first. Caller holds mutex_.
  KeptRoot& Root(const fs::path& root) {
    auto it = std::find_if(roots_.begin(), roots_.end(),
                           [&](const KeptRoot& kept) { return kept.root == root.native(); });
    if (it == roots_.end()) {
      roots_.emplace_front();
      roots_.front().root = root.native();
      if (roots_.size() > kKeptRoots) roots_.pop_back();
    } else if (it != roots_.begin()) {
      roots_.splice(roots_.begin(), roots_, it);
    }
    KeptRoot& kept = roots_.front();
    // Tried again on every use until it works: the run folder may come later.
    if (!kept.changes) kept.changes = NicStateChanges::Open(root, &kept.unwritable);
    return kept;
  }

  template <typename T>
  static Kept<T>& Entry(KeptRoot& kept, const std::string& service) {
    if constexpr (std::is_same_v<T, NicState>) {
      return kept.ports[service];
    } else {
      return kept.list;
    }
  }

  std::mutex mutex_;
  std::list<KeptRoot> roots_;  // guarded by mutex_
};

// The folder's lock, held for the life of the object.
class FolderLock {
 public:
  explicit FolderLock(const fs::path& root) {
    std::error_code ec;
    fs::create_directories(NicDir(root), ec);
    fd_ = open((NicDir(root) / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Replaces the state file; the caller holds the folder's lock.
DWORD ReplaceStateFile(const fs::path& root, const std::string& upper, const NicState& state) {
  const fs::path path = StatePath(root, upper);
  const fs::path temporary = path.string() + ".tmp" + std::to_string(getpid());
  const std::string text = NicStateFileText(state);
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool written =
      fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) written = close(fd) == 0 && written;
  if (!written) {
    unlink(temporary.c_str());
    return ERROR_WRITE_FAULT;
  }
  const bool existed = access(path.c_str(), F_OK) == 0;
  return Keeper::Instance().Write(root, upper, !existed, [&]() -> DWORD {
    if (rename(temporary.c_str(), path.c_str()) == 0) return ERROR_SUCCESS;
    unlink(temporary.c_str());
    return ERROR_WRITE_FAULT;
  });
}

}  // namespace

std::shared_ptr<const NicState> LoadNicState(const fs::path& root, std::string_view service,
                                             DWORD* status) {
  if (!ValidServiceName(service)) {
    *status = ERROR_INVALID_NAME;
    return nullptr;
  }
  const std::string upper = Upper(service);
  Keeper& keeper = Keeper::Instance();
  NicStamp stamp;
  if (auto kept = keeper.Find<NicState>(root, upper, &stamp)) {
    *status = ERROR_SUCCESS;
    return kept;
  }
  auto state = std::make_shared<NicState>();
  *status = ParseStateFile(root, upper, state.get());
  if (*status != ERROR_SUCCESS) return nullptr;  // failures are never kept: the file may come
  keeper.Keep<NicState>(root, upper, stamp, state);
  return state;
}

std::shared_ptr<const std::vector<std::string>> LoadNicPorts(const fs::path& root) {
  Keeper& keeper = Keeper::Instance();
  NicStamp stamp;
  if (auto kept = keeper.Find<std::vector<std::string>>(root, "", &stamp)) return kept;
  auto list = std::make_shared<const std::vector<std::string>>(ScanPorts(root));
  keeper.Keep<std::vector<std::string>>(root, "", stamp, list);
  return list;
}

DWORD ReadNicState(const fs::path& root, std::string_view service, NicState* state) {
  DWORD status = ERROR_SUCCESS;
  std::shared_ptr<const NicState> loaded = LoadNicState(root, service, &status);
  if (loaded) *state = *loaded;
  return status;
}

DWORD WriteNicState(const fs::path& root, std::string_view service, const NicState& state) {
  if (!ValidServiceName(service)) return ERROR_INVALID_NAME;
  FolderLock lock(root);
  if (!lock.held()) return ERROR_WRITE_FAULT;
  return ReplaceStateFile(root, Upper(service), state);
}

DWORD UpdateNicState(const fs::path& root, std::string_view service,
                     const std::function<DWORD(NicState*)>& change) {
  if (!ValidServiceName(service)) return ERROR_INVALID_NAME;
  const std::string upper = Upper(service);
  FolderLock lock(root);
  if (!lock.held()) return ERROR_WRITE_FAULT;
  // The file itself, not what this process kept: a damaged file must be reported, not replaced.
  NicState state;
  DWORD status = ParseStateFile(root, upper, &state);
  if (status == ERROR_FILE_NOT_FOUND) {
    state = DefaultNicState(static_cast<int>(InstanceOf(upper) & 0xFFFF));
    status = ERROR_SUCCESS;
  }
  if (status == ERROR_SUCCESS) status = change(&state);
  if (status == ERROR_SUCCESS) status = ReplaceStateFile(root, upper, state);
  return status;
}

DWORD RemoveNicState(const fs::path& root, std::string_view service) {
  if (!ValidServiceName(service)) return ERROR_INVALID_NAME;
  const std::string upper = Upper(service);
  const fs::path path = StatePath(root, upper);
  if (access(path.c_str(), F_OK) != 0) return ERROR_FILE_NOT_FOUND;  // and no folder is made
  FolderLock lock(root);
  if (!lock.held()) return ERROR_WRITE_FAULT;
  if (access(path.c_str(), F_OK) != 0) return ERROR_FILE_NOT_FOUND;
  return Keeper::Instance().Write(root, upper, true, [&]() -> DWORD {
    return unlink(path.c_str()) == 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

std::vector<std::string> ListNicPorts(const fs::path& root) { return *LoadNicPorts(root); }

}  // namespace pairway
