// Registry throughput next to raw SQLite, and notification latency between processes.
//
//   build/bin/registry_bench                 reads and writes per second (Google Benchmark)
//   build/bin/registry_bench --latency [N]   write-to-wake-up latency across two processes
//
// The raw SQLite baseline does the same work as the registry calls (one upsert or one select per
// value, autocommit, WAL, synchronous=NORMAL) on a table of the same shape, in the same run.
#include <windows.h>

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

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

void BM_RegistryWrite(benchmark::State& state) {
  pairway::testing::TempRoot root;
  HKEY key = BenchKey();
  DWORD n = 0;
  for (auto _ : state) {
    std::string name = ValueName(n % kValues);
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
    ++n;
  }
  RegCloseKey(key);
  state.SetItemsProcessed(state.iterations());
}

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
  explicit RawDb(const std::filesystem::path& file) {
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER,"
                 " name TEXT, fold TEXT, type INTEGER, data BLOB, UNIQUE(key, fold));",
                 nullptr, nullptr, nullptr);
  }
  ~RawDb() { sqlite3_close(db); }
};

void BM_RawSqliteWrite(benchmark::State& state) {
  pairway::testing::TempRoot root;
  RawDb raw(root.path() / "raw.db");
  sqlite3_stmt* stmt;
  sqlite3_prepare_v2(raw.db,
                     "INSERT INTO vals(key,name,fold,type,data) VALUES(1,?1,upper(?1),4,?2)"
                     " ON CONFLICT(key,fold) DO UPDATE SET data=excluded.data",
                     -1, &stmt, nullptr);
  DWORD n = 0;
  for (auto _ : state) {
    std::string name = ValueName(n % kValues);
    sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(stmt, 2, &n, sizeof n, SQLITE_TRANSIENT);
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
    ++n;
  }
  sqlite3_finalize(stmt);
  state.SetItemsProcessed(state.iterations());
}

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
BENCHMARK(BM_RegistryRead);
BENCHMARK(BM_RawSqliteRead);

// ---- Notification latency ------------------------------------------------------------------

int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The waiting process: prints the time of each wake-up.
int RunWaiter(int rounds) {
  HKEY services;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", 0, KEY_READ, &services);
  printf("ready\n");
  fflush(stdout);
  for (int i = 0; i < rounds; ++i) {
    if (RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE) !=
        ERROR_SUCCESS) {
      return 1;
    }
    printf("%lld\n", static_cast<long long>(NowNs()));
    fflush(stdout);
  }
  return 0;
}

int RunLatency(const char* self, int rounds) {
  pairway::testing::TempRoot root;
  HKEY key = BenchKey();
  std::string command = std::string(self) + " --waiter " + std::to_string(rounds);
  FILE* waiter = popen(command.c_str(), "r");
  char line[64];
  if (waiter == nullptr || fgets(line, sizeof line, waiter) == nullptr) return 1;
  usleep(200 * 1000);  // let the waiter arm its watch once; it stays armed from then on
  std::vector<double> latencies_us;
  for (DWORD i = 0; i < static_cast<DWORD>(rounds); ++i) {
    int64_t written = NowNs();
    RegSetValueExA(key, "AdapterIndex", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
    if (fgets(line, sizeof line, waiter) == nullptr) break;
    latencies_us.push_back((atoll(line) - written) / 1000.0);
    usleep(2000);
  }
  pclose(waiter);
  RegCloseKey(key);
  if (latencies_us.empty()) return 1;
  std::sort(latencies_us.begin(), latencies_us.end());
  auto at = [&](double q) {
    return latencies_us[static_cast<size_t>(q * (latencies_us.size() - 1))];
  };
  printf("notification latency, write in one process to wake-up in another, %zu rounds:\n",
         latencies_us.size());
  printf("  median %.0f us   p99 %.0f us   max %.0f us\n", at(0.5), at(0.99), latencies_us.back());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "--waiter") == 0) return RunWaiter(argc > 2 ? atoi(argv[2]) : 1);
  if (argc >= 2 && strcmp(argv[1], "--latency") == 0) {
    return RunLatency(argv[0], argc > 2 ? atoi(argv[2]) : 1000);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
