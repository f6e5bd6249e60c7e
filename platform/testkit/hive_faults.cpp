// The refusing hive: a VFS that forwards to SQLite's own, shows each write and sync to the test's
// filter first, and fails what the filter fails; RefuseHiveWritesAfter's filter fails the WAL
// writes of transactions past an allowance.
//
// A transaction reaches the WAL as frames, each a 24-byte header written on its own and then a
// page. The header of a transaction's last frame holds the database size after the commit (bytes
// 4 to 7, big-endian), every other frame's holds 0; so counting headers with a non-zero size
// (each followed by its page, which is let through too) counts committed registry writes. Once the
// allowance is used up every write to a WAL fails, which fails that transaction at its first frame,
// before its commit frame: SQLite rolls it back and the hive is as it was.
#include "hive_faults.h"

#include <sqlite3.h>

#include <atomic>

namespace pairway::testing {
namespace {

// Writes still allowed: -1 for no limit.
std::atomic<int> writes_allowed{-1};
std::atomic<int (*)(const HiveFileOperation&)> file_filter{nullptr};
// The last WAL write let through was a commit frame's header: its page comes next.
std::atomic<bool> commit_page_next{false};
sqlite3_vfs* real_vfs = nullptr;

constexpr int kWalHeaderSize = 32;
constexpr int kFrameHeaderSize = 24;

struct FaultFile {
  sqlite3_file base;
  bool wal;
  sqlite3_file* real;  // lives right after this struct, in the same allocation
};

FaultFile* Fault(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file); }
sqlite3_file* Real(sqlite3_file* file) { return Fault(file)->real; }

bool IsCommitFrameHeader(const void* data, int amount, sqlite3_int64 offset) {
  if (amount != kFrameHeaderSize || offset < kWalHeaderSize) return false;
  const unsigned char* header = static_cast<const unsigned char*>(data);
  return (header[4] | header[5] | header[6] | header[7]) != 0;
}

// The allowance of RefuseHiveWritesAfter, as a filter. A transaction counts once the page of its
// commit frame, written right after the frame's header, is through.
int CountCommits(const HiveFileOperation& op) {
  if (!op.wal || op.sync) return SQLITE_OK;
  if (commit_page_next.exchange(false)) {
    int allowed = writes_allowed.load();
    if (allowed > 0) writes_allowed = allowed - 1;
    return SQLITE_OK;
  }
  if (writes_allowed.load() == 0) return SQLITE_IOERR_WRITE;
  if (IsCommitFrameHeader(op.data, op.amount, op.offset)) commit_page_next = true;
  return SQLITE_OK;
}

int Filtered(sqlite3_file* file, bool sync, const void* data, int amount, sqlite3_int64 offset) {
  int (*filter)(const HiveFileOperation&) = file_filter.load();
  if (filter == nullptr) return SQLITE_OK;
  return filter({Fault(file)->wal, sync, data, amount, offset});
}

int FaultWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  int rc = Filtered(file, false, data, amount, offset);
  if (rc != SQLITE_OK) return rc;
  return Real(file)->pMethods->xWrite(Real(file), data, amount, offset);
}

int FaultSync(sqlite3_file* file, int flags) {
  int rc = Filtered(file, true, nullptr, 0, 0);
  if (rc != SQLITE_OK) return rc;
  return Real(file)->pMethods->xSync(Real(file), flags);
}

int FaultClose(sqlite3_file* file) {
  int rc = Real(file)->pMethods->xClose(Real(file));
  file->pMethods = nullptr;
  return rc;
}

// Every other method forwards unchanged.
const sqlite3_io_methods kFaultMethods = {
    3,
    FaultClose,
    [](sqlite3_file* f, void* d, int n, sqlite3_int64 o) {
      return Real(f)->pMethods->xRead(Real(f), d, n, o);
    },
    FaultWrite,
    [](sqlite3_file* f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); },
    FaultSync,
    [](sqlite3_file* f, sqlite3_int64* size) {
      return Real(f)->pMethods->xFileSize(Real(f), size);
    },
    [](sqlite3_file* f, int lock) { return Real(f)->pMethods->xLock(Real(f), lock); },
    [](sqlite3_file* f, int lock) { return Real(f)->pMethods->xUnlock(Real(f), lock); },
    [](sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); },
    [](sqlite3_file* f, int op, void* arg) {
      return Real(f)->pMethods->xFileControl(Real(f), op, arg);
    },
    [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); },
    [](sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); },
    [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
      return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, out);
    },
    [](sqlite3_file* f, int offset, int n, int flags) {
      return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
    },
    [](sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); },
    [](sqlite3_file* f, int remove) { return Real(f)->pMethods->xShmUnmap(Real(f), remove); },
    [](sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
      return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
    },
    [](sqlite3_file* f, sqlite3_int64 offset, void* page) {
      return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
    },
};

int FaultOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  FaultFile* wrapper = Fault(file);
  wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
  wrapper->wal = (flags & SQLITE_OPEN_WAL) != 0;
  int rc = real_vfs->xOpen(real_vfs, name, wrapper->real, flags, out_flags);
  // SQLite calls xClose only on files whose pMethods is set.
  file->pMethods = wrapper->real->pMethods != nullptr ? &kFaultMethods : nullptr;
  return rc;
}

}  // namespace

bool InstallHiveFaults() {
  static sqlite3_vfs vfs;
  if (real_vfs != nullptr) return true;
  sqlite3_vfs* found = sqlite3_vfs_find(nullptr);
  if (found == nullptr || found->iVersion < 3) return false;
  real_vfs = found;
  vfs = *real_vfs;
  vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + real_vfs->szOsFile;
  vfs.zName = "pairway-refusing-hive";
  vfs.pNext = nullptr;
  vfs.xOpen = FaultOpen;
  return sqlite3_vfs_register(&vfs, 1) == SQLITE_OK;
}

void SetHiveFileFilter(int (*filter)(const HiveFileOperation& operation)) { file_filter = filter; }

void RefuseHiveWritesAfter(int writes) {
  writes_allowed = writes < 0 ? 0 : writes;
  commit_page_next = false;
  file_filter = CountCommits;
}

void AcceptHiveWrites() {
  file_filter = nullptr;
  writes_allowed = -1;
}

}  // namespace pairway::testing
