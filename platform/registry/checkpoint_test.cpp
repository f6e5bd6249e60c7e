// A writer that dies at any step of a checkpoint, or of the WAL restart after one, loses no
// write it was told had succeeded and leaves a hive that reads, passes SQLite's check and takes
// new writes.
#include <windows.h>

#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/wait.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "registry_test_util.h"
#include "temp_root.h"

using namespace pairway::registry::testing;
using pairway::testing::BuildDir;
using pairway::testing::TempRoot;

namespace {

class DyingWriterTest : public ::testing::TestWithParam<const char*> {
 protected:
  TempRoot root_;
};

std::string QuickCheck(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  std::string result = "<cannot open>";
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr);
    result = sqlite3_step(stmt) == SQLITE_ROW
                 ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))
                 : sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return result;
}

TEST_P(DyingWriterTest, NothingAcknowledgedIsLostAndTheHiveStaysWhole) {
  // The probe writes until it dies by its own hand at the chosen step; the hive is not open in
  // this process meanwhile, so the probe's process alone does every checkpoint.
  const std::string probe = (BuildDir() / "bin" / "tests" / "reg_probe").string();
  FILE* pipe = popen(
      ("exec " + probe + " burst-dying SOFTWARE\\\\Dying v 40000 " + GetParam()).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<int> acknowledged;
  char line[64];
  while (fgets(line, sizeof line, pipe) != nullptr) acknowledged.insert(atoi(line));
  int status = pclose(pipe);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "the probe never reached its death point (status " << status << ")";
  ASSERT_FALSE(acknowledged.empty());

  EXPECT_EQ(QuickCheck(root_.path() / "registry.db"), "ok");
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dying", 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  for (int i : acknowledged) {
    DWORD value = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                               reinterpret_cast<LPBYTE>(&value), &size),
              ERROR_SUCCESS)
        << "acknowledged write " << i << " was lost";
    EXPECT_EQ(value, static_cast<DWORD>(i));
  }
  EXPECT_EQ(SetNumber(key, "after", 1), ERROR_SUCCESS);
  RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(Steps, DyingWriterTest,
                         ::testing::Values("copy1", "copy3", "sync", "restart"));

}  // namespace
