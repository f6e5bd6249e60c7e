// Registry throughput next to raw SQLite, and the memory of open keys.
//
//   build/bin/registry_bench                  reads and writes per second (Google Benchmark)
//   build/bin/registry_bench --open-keys [N]  memory and descriptors of a process holding N
//                                             open keys, next to the same process before
//
// The raw SQLite baseline does the same work as the registry calls (one upsert or one select per
// value, autocommit, WAL, synchronous=NORMAL) on a table of the same shape, in the same run. The
// *Full variants run both with synchronous=FULL (every commit synced: a power cut loses
// nothing); the registry's connection is switched to it from here, the registry itself always
// runs NORMAL. The notification latency has its own program (notify_latency_bench).
#include <windows.h>

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "load_average.h"
#include "temp_root.h"

namespace {

constexpr int kValues = 64;

std::string ValueName(int i) { return "Value" + std::to_string(i); }

HKEY BenchKey() {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TREVAN1\\Parameters", 0,
                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

// Every connection this process opens on a hive file, so a benchmark can change its settings.
std::vector<sqlite3*>& HiveConnections() {
  static std::vector<sqlite3*> connections;
  return connections;
}

int NoteConnection(sqlite3* db, char**, const void*) {
  const char* file = sqlite3_db_filename(db, "main");
  if (file != nullptr && strstr(file, "registry.db") != nullptr) HiveConnections().push_back(db);
  return SQLITE_OK;
}

// Pages this connection wrote to its WAL so far (SQLite's own counter).
int PagesWritten(sqlite3* db) {
  int current = 0, highest = 0;
  sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_WRITE, &current, &highest, 0);
  return current;
}

// Called once the hive is open (after BenchKey): the connection as a synced build would run it.
void SyncHiveFully() {
  for (sqlite3* db : HiveConnections()) {
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  }
}

void RegistryWrite(benchmark::State& state, bool full) {
  HiveConnections().clear();
  pairway::testing::TempRoot root;
  HKEY key = BenchKey();
  if (full) SyncHiveFully();
  sqlite3* db = HiveConnections().empty() ? nullptr : HiveConnections().front();
  int pages_before = db != nullptr ? PagesWritten(db) : 0;
  DWORD n = 0;
  for (auto _ : state) {
    std::string name = ValueName(n % kValues);
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
    ++n;
  }
  if (db != nullptr) {
    state.counters["pages_per_write"] =
        static_cast<double>(PagesWritten(db) - pages_before) / static_cast<double>(n);
  }
  RegCloseKey(key);
  state.SetItemsProcessed(state.iterations());
  HiveConnections().clear();
}

void BM_RegistryWrite(benchmark::State& state) { RegistryWrite(state, false); }
void BM_RegistryWriteFull(benchmark::State& state) { RegistryWrite(state, true); }

void BM_RegistryRead(benchmark::State& state) {
  pairway::testing::TempRoot root;
  HKEY key = BenchKey();
  for (DWORD i = 0; i < kValues; ++i) {
    RegSetValueExA(key, ValueName(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
  }
  DWORD n = 0;
  for (auto _ : state) {
    DWORD value, size = sizeof value;
    RegQueryValueExA(key, ValueName(n++ % kValues).c_str(), nullptr, nullptr,
                     reinterpret_cast<LPBYTE>(&value), &size);
    benchmark::DoNotOptimize(value);
  }
  RegCloseKey(key);
  state.SetItemsProcessed(state.iterations());
}

// The baseline: the same table shape and statements, without handles, checks or the change log.
struct RawDb {
  sqlite3* db = nullptr;
  explicit RawDb(const std::filesystem::path& file, bool full = false) {
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL", nullptr,
                 nullptr, nullptr);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL;"
                 "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER,"
                 " name TEXT, fold TEXT, type INTEGER, data BLOB, UNIQUE(key, fold));",
                 nullptr, nullptr, nullptr);
  }
  ~RawDb() { sqlite3_close(db); }
};

void RawSqliteWrite(benchmark::State& state, bool full) {
  pairway::testing::TempRoot root;
  RawDb raw(root.path() / "raw.db", full);
  sqlite3_stmt* stmt;
  sqlite3_prepare_v2(raw.db,
                     "INSERT INTO vals(key,name,fold,type,data) VALUES(1,?1,upper(?1),4,?2)"
                     " ON CONFLICT(key,fold) DO UPDATE SET data=excluded.data",
                     -1, &stmt, nullptr);
  int pages_before = PagesWritten(raw.db);
  DWORD n = 0;
  for (auto _ : state) {
    std::string name = ValueName(n % kValues);
    sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(stmt, 2, &n, sizeof n, SQLITE_TRANSIENT);
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
    ++n;
  }
  state.counters["pages_per_write"] =
      static_cast<double>(PagesWritten(raw.db) - pages_before) / static_cast<double>(n);
  sqlite3_finalize(stmt);
  state.SetItemsProcessed(state.iterations());
}

void BM_RawSqliteWrite(benchmark::State& state) { RawSqliteWrite(state, false); }
void BM_RawSqliteWriteFull(benchmark::State& state) { RawSqliteWrite(state, true); }

void BM_RawSqliteRead(benchmark::State& state) {
  pairway::testing::TempRoot root;
  RawDb raw(root.path() / "raw.db");
  for (int i = 0; i < kValues; ++i) {
    std::string sql = "INSERT INTO vals(key,name,fold,type,data) VALUES(1,'" + ValueName(i) +
                      "',upper('" + ValueName(i) + "'),4,x'01000000')";
    sqlite3_exec(raw.db, sql.c_str(), nullptr, nullptr, nullptr);
  }
  sqlite3_stmt* stmt;
  sqlite3_prepare_v2(raw.db, "SELECT type, data FROM vals WHERE key=1 AND fold=upper(?1)", -1,
                     &stmt, nullptr);
  DWORD n = 0;
  for (auto _ : state) {
    std::string name = ValueName(n++ % kValues);
    sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_blob(stmt, 1));
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_RegistryWrite);
BENCHMARK(BM_RawSqliteWrite);
BENCHMARK(BM_RegistryWriteFull);
BENCHMARK(BM_RawSqliteWriteFull);
BENCHMARK(BM_RegistryRead);
BENCHMARK(BM_RawSqliteRead);

// ---- Open keys -----------------------------------------------------------------------------

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0 && line[strlen(field)] == ':') return atol(line.c_str() + 6);
  }
  return -1;
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count - 3;  // ".", ".." and the directory's own descriptor
}

// The baseline is the same process with the hive open and the keys made, none of them open.
int RunOpenKeys(int count) {
  pairway::testing::TempRoot root;
  for (int i = 0; i < count; ++i) {
    HKEY key;
    std::string path = "SOFTWARE\\Bench\\Key" + std::to_string(i);
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return 1;
    }
    RegCloseKey(key);
  }
  long rss_before = StatusKib("VmRSS"), peak_before = StatusKib("VmHWM");
  int fds_before = OpenDescriptors();
  std::vector<HKEY> keys;
  for (int i = 0; i < count; ++i) {
    HKEY key;
    std::string path = "SOFTWARE\\Bench\\Key" + std::to_string(i);
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
    if (error != ERROR_SUCCESS) {
      fprintf(stderr, "registry_bench: opening key %d failed with %ld\n", i,
              static_cast<long>(error));
      return 1;
    }
    keys.push_back(key);
  }
  long rss_after = StatusKib("VmRSS"), peak_after = StatusKib("VmHWM");
  int fds_after = OpenDescriptors();
  printf(
      "%d open keys: peak RSS %ld KiB (baseline %ld KiB, ratio %.3f), RSS %ld -> %ld KiB"
      " (%.0f bytes a key), descriptors %d -> %d; load average %s\n",
      count, peak_after, peak_before, static_cast<double>(peak_after) / peak_before, rss_before,
      rss_after, (rss_after - rss_before) * 1024.0 / count, fds_before, fds_after,
      LoadAverage().c_str());
  for (HKEY key : keys) RegCloseKey(key);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "--open-keys") == 0) {
    return RunOpenKeys(argc > 2 ? atoi(argv[2]) : 1000);
  }
  sqlite3_auto_extension(reinterpret_cast<void (*)()>(NoteConnection));
  benchmark::AddCustomContext("load_average_at_start", LoadAverage());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printf("load average at the end: %s\n", LoadAverage().c_str());
  return 0;
}
