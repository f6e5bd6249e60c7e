// reg_probe: a second process for the registry tests.
//
//   reg_probe set KEY NAME TEXT     store TEXT as REG_SZ under HKLM\KEY
//   reg_probe burst KEY PREFIX N    store N REG_DWORD values PREFIX0..; print each index once its
//                                   write has returned success
//   reg_probe wait KEY              wait for a value change under HKLM\KEY (subtree); print "woke"
//   reg_probe hold KEY NAME         begin a write transaction, store NAME in it, print "holding"
//                                   and sleep inside it until killed
//   reg_probe open KEY              keep the hive open (HKLM\KEY made if missing), print "open"
//                                   and sleep until killed
//   reg_probe burst-dying KEY PREFIX N POINT
//                                   as burst, in a process that kills itself (SIGKILL) at POINT
//                                   of the first checkpoint: copy1 or copy3 (before the first or
//                                   third page is copied into the hive's file), sync (before
//                                   that file is synced), restart (before the WAL is written
//                                   from its start again once a checkpoint copied all of it)
#include <windows.h>

#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <map>
#include <string>

#include "hive_faults.h"
#include "pairway/registry_batch.h"

namespace {
// ---- burst-dying: a writer that dies inside a checkpoint or the WAL restart after one --------

// Once the hive exists, its own file is written only by checkpoints (every commit goes to the
// WAL), and the WAL is written from its start again only once a checkpoint has copied all of it.
enum class DeathPoint { kFirstCopy, kThirdCopy, kSync, kRestart };

DeathPoint death_point;
std::atomic<int> copies{0};       // writes to the hive's file so far
std::atomic<bool> synced{false};  // a checkpoint has synced the hive's file

int DieAtThePoint(const pairway::testing::HiveFileOperation& op) {
  bool die = false;
  if (!op.wal && !op.sync) {
    int copy = ++copies;
    die = (death_point == DeathPoint::kFirstCopy && copy == 1) ||
          (death_point == DeathPoint::kThirdCopy && copy == 3);
  } else if (!op.wal) {
    die = death_point == DeathPoint::kSync;
    synced = true;
  } else if (!op.sync && op.offset == 0 && synced) {
    die = death_point == DeathPoint::kRestart;
  }
  if (die) raise(SIGKILL);
  return SQLITE_OK;
}

bool ParseDeathPoint(const char* point) {
  static const std::map<std::string, DeathPoint> points = {{"copy1", DeathPoint::kFirstCopy},
                                                           {"copy3", DeathPoint::kThirdCopy},
                                                           {"sync", DeathPoint::kSync},
                                                           {"restart", DeathPoint::kRestart}};
  auto found = points.find(point);
  if (found == points.end()) return false;
  death_point = found->second;
  return pairway::testing::InstallHiveFaults();
}

}  // namespace

static int Fail(const char* what, LONG error) {
  fprintf(stderr, "reg_probe: %s failed with %ld\n", what, static_cast<long>(error));
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: reg_probe set|burst|burst-dying|wait|hold|open KEY ...\n");
    return 2;
  }
  const bool dying = strcmp(argv[1], "burst-dying") == 0;
  if (dying) {
    if (argc != 6 || !ParseDeathPoint(argv[5])) return Fail("burst-dying's death point", 0);
    argv[1] = const_cast<char*>("burst");
    argc = 5;
  }
  HKEY key;
  LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &key, nullptr);
  if (error != ERROR_SUCCESS) return Fail("RegCreateKeyExA", error);
  // Armed once the hive exists: making it writes a file of its own, checkpoints included.
  if (dying) pairway::testing::SetHiveFileFilter(DieAtThePoint);
  if (strcmp(argv[1], "set") == 0 && argc == 5) {
    error = RegSetValueExA(key, argv[3], 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[4]),
                           static_cast<DWORD>(strlen(argv[4]) + 1));
    return error == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", error);
  }
  if (strcmp(argv[1], "burst") == 0 && argc == 5) {
    long count = strtol(argv[4], nullptr, 10);
    for (DWORD i = 0; i < static_cast<DWORD>(count); ++i) {
      std::string name = argv[3] + std::to_string(i);
      error = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i),
                             sizeof i);
      if (error != ERROR_SUCCESS) return Fail("RegSetValueExA", error);
      printf("%u\n", i);
      fflush(stdout);
    }
    return 0;
  }
  if (strcmp(argv[1], "hold") == 0 && argc == 4) {
    pairway::RegistryBatch batch;
    if (batch.status() != ERROR_SUCCESS) return Fail("RegistryBatch", batch.status());
    DWORD one = 1;
    error =
        RegSetValueExA(key, argv[3], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    if (error != ERROR_SUCCESS) return Fail("RegSetValueExA", error);
    printf("holding\n");
    fflush(stdout);
    for (;;) Sleep(INFINITE);
  }
  if (strcmp(argv[1], "open") == 0) {
    printf("open\n");
    fflush(stdout);
    for (;;) Sleep(INFINITE);
  }
  if (strcmp(argv[1], "wait") == 0) {
    printf("armed\n");
    fflush(stdout);
    error = RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE);
    if (error != ERROR_SUCCESS) return Fail("RegNotifyChangeKeyValue", error);
    printf("woke\n");
    return 0;
  }
  fprintf(stderr, "reg_probe: bad arguments\n");
  return 2;
}
