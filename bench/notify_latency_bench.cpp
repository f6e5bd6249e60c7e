// notify_latency_bench: how long a registry write in one process takes to wake a waiter in
// another, next to the bare wake-up the notification rests on.
//
//   build/bin/notify_latency_bench [--rounds N] [--runs R]
//
// Each run has two halves, in turns so both see the same load:
//   registry  the waiter blocks in RegNotifyChangeKeyValue (subtree of ...\Services); the writer
//             calls RegSetValueExA below it; latency from before the call to the wake-up.
//   baseline  the waiter blocks in poll() on an inotify watch of a directory; the writer
//             pwrite()s a byte to a file in it; latency from before the pwrite to the wake-up.
// Also shown: how long the registry write call itself took (the part of the latency spent
// before the waiter can even be told). Percentiles per run, then the median over the runs, with
// the load average before and after.
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "load_average.h"
#include "temp_root.h"

namespace {

int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";
const char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\TREVAN1\\Parameters";

// ---- The waiting processes: each prints "ready", then the time of every wake-up. ----------

int WaitRegistry(int rounds) {
  HKEY services;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServices, 0, KEY_READ, &services) != ERROR_SUCCESS) {
    return 1;
  }
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

int WaitInotify(const char* dir, int rounds) {
  int fd = inotify_init1(IN_CLOEXEC);
  if (fd < 0 || inotify_add_watch(fd, dir, IN_MODIFY) < 0) return 1;
  printf("ready\n");
  fflush(stdout);
  alignas(inotify_event) char buffer[4096];
  for (int i = 0; i < rounds; ++i) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, -1) != 1) return 1;
    int64_t woke = NowNs();
    if (read(fd, buffer, sizeof buffer) <= 0) return 1;
    printf("%lld\n", static_cast<long long>(woke));
    fflush(stdout);
  }
  return 0;
}

// ---- The writing side --------------------------------------------------------------------

struct Percentiles {
  double median, p99, max;
};

Percentiles Summarise(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  auto at = [&](double q) { return us[static_cast<size_t>(q * (us.size() - 1))]; };
  return {at(0.5), at(0.99), us.back()};
}

struct Run {
  Percentiles registry, baseline, write_call;
};

// Starts `command` as the waiter and waits for its "ready".
FILE* StartWaiter(const std::string& command) {
  FILE* waiter = popen(command.c_str(), "r");
  char line[64];
  if (waiter == nullptr) return nullptr;
  if (fgets(line, sizeof line, waiter) == nullptr || strncmp(line, "ready", 5) != 0) {
    pclose(waiter);
    return nullptr;
  }
  usleep(100 * 1000);  // the waiter goes into its first wait
  return waiter;
}

// One half: `write` makes the change and returns when its call returned; the waiter's line
// gives the wake-up time. Empty on failure.
template <typename Write>
std::vector<double> Measure(FILE* waiter, int rounds, Write write, std::vector<double>* calls) {
  std::vector<double> latencies;
  char line[64];
  for (int i = 0; i < rounds; ++i) {
    int64_t before = NowNs();
    write(static_cast<DWORD>(i));
    int64_t returned = NowNs();
    if (fgets(line, sizeof line, waiter) == nullptr) return {};
    latencies.push_back((atoll(line) - before) / 1000.0);
    if (calls != nullptr) calls->push_back((returned - before) / 1000.0);
    usleep(2000);  // the waiter arms again
  }
  return latencies;
}

bool RunOnce(const char* self, int rounds, Run* run) {
  pairway::testing::TempRoot root;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParameters, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::vector<double> calls;
  FILE* waiter = StartWaiter(std::string(self) + " --wait-registry " + std::to_string(rounds));
  if (waiter == nullptr) return false;
  std::vector<double> registry = Measure(
      waiter, rounds,
      [&](DWORD i) {
        RegSetValueExA(key, "AdapterIndex", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
      },
      &calls);
  pclose(waiter);
  RegCloseKey(key);

  std::string dir = (root.path() / "bare").string();
  std::string file = dir + "/file";
  mkdir(dir.c_str(), 0755);
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  waiter = StartWaiter(std::string(self) + " --wait-inotify " + dir + " " + std::to_string(rounds));
  if (waiter == nullptr || fd < 0) return false;
  std::vector<double> baseline = Measure(
      waiter, rounds,
      [&](DWORD) {
        if (pwrite(fd, "!", 1, 0) != 1) perror("pwrite");
      },
      nullptr);
  pclose(waiter);
  close(fd);
  if (registry.empty() || baseline.empty()) return false;
  *run = {Summarise(registry), Summarise(baseline), Summarise(calls)};
  return true;
}

double MedianOf(const std::vector<Run>& runs, double (*pick)(const Run&)) {
  std::vector<double> values;
  for (const Run& run : runs) values.push_back(pick(run));
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && strcmp(argv[1], "--wait-registry") == 0) return WaitRegistry(atoi(argv[2]));
  if (argc >= 4 && strcmp(argv[1], "--wait-inotify") == 0) {
    return WaitInotify(argv[2], atoi(argv[3]));
  }
  int rounds = 1000, runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--rounds") == 0) rounds = atoi(argv[i + 1]);
    if (strcmp(argv[i], "--runs") == 0) runs = atoi(argv[i + 1]);
  }
  if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || rounds < 1 || runs < 1)) {
    printf("usage: notify_latency_bench [--rounds N] [--runs R]\n");
    return argc >= 2 && strcmp(argv[1], "--help") == 0 ? 0 : 2;
  }
  std::string load_before = LoadAverage();
  std::vector<Run> results;
  printf("%d runs of %d rounds; times in us (median / p99 / max)\n", runs, rounds);
  printf("run  registry              baseline (inotify)    write call\n");
  for (int r = 0; r < runs; ++r) {
    Run run;
    if (!RunOnce(argv[0], rounds, &run)) {
      fprintf(stderr, "notify_latency_bench: run %d failed\n", r + 1);
      return 1;
    }
    results.push_back(run);
    printf("%-4d %6.0f %6.0f %7.0f  %6.0f %6.0f %7.0f  %6.0f %6.0f %7.0f\n", r + 1,
           run.registry.median, run.registry.p99, run.registry.max, run.baseline.median,
           run.baseline.p99, run.baseline.max, run.write_call.median, run.write_call.p99,
           run.write_call.max);
  }
  double median = MedianOf(results, [](const Run& r) { return r.registry.median; });
  double p99 = MedianOf(results, [](const Run& r) { return r.registry.p99; });
  double max = MedianOf(results, [](const Run& r) { return r.registry.max; });
  double base_median = MedianOf(results, [](const Run& r) { return r.baseline.median; });
  double base_p99 = MedianOf(results, [](const Run& r) { return r.baseline.p99; });
  double base_max = MedianOf(results, [](const Run& r) { return r.baseline.max; });
  printf("median of runs: registry %.0f / %.0f / %.0f, baseline %.0f / %.0f / %.0f\n", median, p99,
         max, base_median, base_p99, base_max);
  printf("ratio registry/baseline: median %.1f, p99 %.1f, max %.1f\n", median / base_median,
         p99 / base_p99, max / base_max);
  printf("load average: before %s, after %s\n", load_before.c_str(), LoadAverage().c_str());
  return 0;
}
