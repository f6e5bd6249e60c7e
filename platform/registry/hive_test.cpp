// The hive under failing file writes: every registry call is whole or absent, and its result
// says which.
//
// The hive reaches the disk through SQLite's default VFS. These tests wrap that VFS (registered
// as the new default before the hive of a fresh root is opened) and fail chosen writes, then
// reopen the hive from disk and check exactly which values survived.
#include <windows.h>

#include <sqlite3.h>

#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registry_test_util.h"
#include "temp_root.h"

using namespace pairway::registry::testing;
using pairway::testing::TempRoot;

namespace {

// ---- A VFS that forwards to the real one and can fail the Nth xWrite or xSync
// -------------------------

// Writes and syncs still to pass before one fails: -1 never fails, 0 fails the next one.
std::atomic<int> writes_until_failure{-1};
sqlite3_vfs* real_vfs = nullptr;

struct FaultFile {
  sqlite3_file base;
  sqlite3_file* real;  // lives right after this struct, in the same allocation
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }

// Counts a write or sync; true when this one is to fail.
bool FailThisOne() {
  int left = writes_until_failure.load();
  if (left < 0) return false;
  writes_until_failure = left - 1;
  return left == 0;
}

int FaultWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  if (FailThisOne()) return SQLITE_IOERR_WRITE;
  return Real(file)->pMethods->xWrite(Real(file), data, amount, offset);
}

int FaultSync(sqlite3_file* file, int flags) {
  if (FailThisOne()) return SQLITE_IOERR_FSYNC;
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
  auto* wrapper = reinterpret_cast<FaultFile*>(file);
  wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
  int rc = real_vfs->xOpen(real_vfs, name, wrapper->real, flags, out_flags);
  // SQLite calls xClose only on files whose pMethods is set.
  file->pMethods = wrapper->real->pMethods != nullptr ? &kFaultMethods : nullptr;
  return rc;
}

// Installs the wrapper as the default VFS once per process; it stays (harmless when disarmed).
void InstallFaultVfs() {
  static sqlite3_vfs vfs;
  if (real_vfs != nullptr) return;
  real_vfs = sqlite3_vfs_find(nullptr);
  ASSERT_NE(real_vfs, nullptr);
  ASSERT_GE(real_vfs->iVersion, 3);
  vfs = *real_vfs;
  vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + real_vfs->szOsFile;
  vfs.zName = "pairway-fault";
  vfs.pNext = nullptr;
  vfs.xOpen = FaultOpen;
  ASSERT_EQ(sqlite3_vfs_register(&vfs, 1), SQLITE_OK);
}

// Closes the process's connection to the hive of `root` (by using another root) so that the
// next call reads it from disk as a new process would.
void ReopenFromDisk() {
  TempRoot elsewhere;
  ASSERT_EQ(SetNumber(HKEY_LOCAL_MACHINE, "other", 1), ERROR_SUCCESS);
}

// Value i's text: sizes from a fraction of a page to most of one (Read takes up to 4 KiB).
std::string Data(int i) { return std::string(100 + 300 * i, static_cast<char>('a' + i)); }

class HiveFaultTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { InstallFaultVfs(); }
  void TearDown() override { writes_until_failure = -1; }
};

// Writes 12 values with write number N failing, then checks that every value whose call
// returned success is there byte for byte and that no value whose call failed is.
TEST_P(HiveFaultTest, AFailedWriteLosesOnlyItsOwnCallAndIsReportedAsFailed) {
  TempRoot root;
  HKEY key = CreateKey("SOFTWARE\\Faulty");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(SetText(key, "before", "kept"), ERROR_SUCCESS);

  writes_until_failure = GetParam();
  std::vector<LONG> results;
  for (int i = 0; i < 12; ++i) {
    std::string name = "v" + std::to_string(i);
    results.push_back(SetText(key, name.c_str(), Data(i)));
  }
  writes_until_failure = -1;
  int failures = 0;
  for (LONG result : results) {
    if (result != ERROR_SUCCESS) {
      EXPECT_EQ(result, ERROR_REGISTRY_IO_FAILED);
      ++failures;
    }
  }
  EXPECT_EQ(failures, 1) << "exactly the call whose write failed reports it";
  // The connection goes on working after the failure.
  EXPECT_EQ(SetText(key, "after", "written"), ERROR_SUCCESS);
  RegCloseKey(key);

  ReopenFromDisk();
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Faulty", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "before"), std::string("kept") + '\0');
  EXPECT_EQ(Read(key, "after"), std::string("written") + '\0');
  for (int i = 0; i < 12; ++i) {
    std::string name = "v" + std::to_string(i);
    if (results[i] == ERROR_SUCCESS) {
      EXPECT_TRUE(Read(key, name.c_str()) == Data(i) + '\0') << name << " was lost or changed";
    } else {
      EXPECT_EQ(Read(key, name.c_str()), "<error 2>") << name << " failed yet was stored";
    }
  }
  RegCloseKey(key);
}

// The first write after the key exists (the WAL's header), and writes of later commits' frames.
INSTANTIATE_TEST_SUITE_P(NthWrite, HiveFaultTest, ::testing::Values(0, 1, 2, 5, 9, 14));

TEST(HiveCreationTest, AHiveThatCannotBeCreatedIsReportedAndLeavesNoFile) {
  InstallFaultVfs();
  TempRoot root;
  writes_until_failure = 0;
  EXPECT_EQ(SetNumber(HKEY_LOCAL_MACHINE, "n", 1), ERROR_REGISTRY_IO_FAILED);
  writes_until_failure = -1;
  EXPECT_FALSE(std::filesystem::exists(root.path() / "registry.db"));
  // Once the disk behaves the hive is made as usual.
  EXPECT_EQ(SetNumber(HKEY_LOCAL_MACHINE, "n", 1), ERROR_SUCCESS);
}

}  // namespace
