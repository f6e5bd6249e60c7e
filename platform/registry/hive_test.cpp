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

#include "hive_faults.h"
#include "registry_test_util.h"
#include "temp_root.h"

using namespace pairway::registry::testing;
using pairway::testing::TempRoot;

namespace {

// ---- Failing the Nth write or sync, through the testkit's wrapper of the VFS ----------------

// Writes and syncs still to pass before one fails: -1 never fails, 0 fails the next one.
std::atomic<int> writes_until_failure{-1};

int FailNth(const pairway::testing::HiveFileOperation& operation) {
  int left = writes_until_failure.load();
  if (left < 0) return SQLITE_OK;
  writes_until_failure = left - 1;
  if (left != 0) return SQLITE_OK;
  return operation.sync ? SQLITE_IOERR_FSYNC : SQLITE_IOERR_WRITE;
}

// Installs the wrapper (once per process; harmless while disarmed) with the Nth-write filter.
void InstallFaultVfs() {
  ASSERT_TRUE(pairway::testing::InstallHiveFaults());
  pairway::testing::SetHiveFileFilter(FailNth);
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
