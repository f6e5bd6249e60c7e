// portadjust_bench: one adjustment pass of the link monitor over 16, 64 and 254 installed ports
// on the SQLite hive.
//
// Workload: a fresh machine root in a temporary directory; N TREVAN ports in the card list,
// every fourth one in PCI slot 4, every third one a backup, every second one with a TCP/IP
// address, the SNMP service installed. After one warm-up pass (which makes the repairs and
// registrations), each iteration is one whole pass: backups checked, addresses copied, the
// linkage lists rebuilt slot 4 first (3 x N appends), agents checked.
//
// Reported: time per pass; peak_rss_kib (the process's peak resident set after the runs) and
// rss_growth_kib (how much the peak grew during the runs); then the growth of the wall and CPU
// time from each size to the next against the growth of the ports (linear when they match),
// from the medians when run with --benchmark_repetitions, and the load average.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <windows.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "load_average.h"
#include "portadjust.h"
#include "registry_layout.h"

namespace {

namespace fs = std::filesystem;

long PeakRssKib() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Set(const std::string& path, const char* name, DWORD type, const std::string& bytes) {
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                  nullptr);
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

void SeedPorts(int ports) {
  std::string route, devices;
  for (int n = 1; n <= ports; n++) {
    std::string service = "TREVAN" + std::to_string(n);
    std::string card = NETWORK_CARDS_KEY_SLASH + std::to_string(n);
    std::string params = SERVICES_KEY_SLASH + service + "\\" PARAMETERS_SUBKEY;
    Set(card, VAL_PRODUCT_NAME, REG_SZ, std::string("TREVAN") + '\0');
    Set(card, VAL_SERVICE_NAME, REG_SZ, service + '\0');
    Set(card, VAL_MANUFACTURER, REG_SZ, std::string("Corvane") + '\0');
    Set(card + "\\" NET_RULES_SUBKEY, VAL_BINDFORM, REG_SZ,
        "\"" + service + "\" yes yes container");
    Set(params, VAL_SLOT_NUMBER, REG_DWORD, Dword(n % 4 == 0 ? 4 : 2));
    Set(params, VAL_ADAPTER_INDEX, REG_DWORD, Dword(static_cast<DWORD>(n - 1)));
    if (n % 3 == 0) Set(params, VAL_PRIMARY_INDEX, REG_DWORD, Dword(0));
    if (n % 2 == 0) {
      Set(params + "\\" TCPIP_SUBKEY, VAL_IP_ADDRESS, REG_MULTI_SZ,
          "10.0." + std::to_string(n) + ".1" + '\0' + '\0');
    }
    if (n % 3 != 0) {  // the setup dropped the backups' entries
      route += "\"" + service + "\"" + '\0';
      devices += "\\Device\\" + service + '\0';
    }
  }
  Set(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, route + '\0');
  Set(DRIVER_LINKAGE_KEY, VAL_BIND, REG_MULTI_SZ, devices + '\0');
  Set(DRIVER_LINKAGE_KEY, VAL_EXPORT, REG_MULTI_SZ, devices + '\0');
  HKEY agents;  // the SNMP service is installed
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, SNMP_EXTENSION_AGENTS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &agents, nullptr);
  RegCloseKey(agents);
}

void BM_AdjustmentPass(benchmark::State& state) {
  const int ports = static_cast<int>(state.range(0));
  std::string pattern = (fs::temp_directory_path() / "pairway-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  setenv("PAIRWAY_ROOT", pattern.c_str(), 1);
  SeedPorts(ports);
  run_adjustment_pass(1);  // warm-up: the repairs and registrations happen here
  long rss_before = PeakRssKib();
  for (auto _ : state) run_adjustment_pass(1);
  state.counters["ports"] = ports;
  state.counters["peak_rss_kib"] = static_cast<double>(PeakRssKib());
  state.counters["rss_growth_kib"] = static_cast<double>(PeakRssKib() - rss_before);
  state.SetComplexityN(ports);
  unsetenv("PAIRWAY_ROOT");
  std::error_code ignored;
  fs::remove_all(pattern, ignored);
}
BENCHMARK(BM_AdjustmentPass)->Arg(16)->Arg(64)->Arg(254)->Unit(benchmark::kMillisecond);

// Keeps the time per pass of each size (the median where there are repetitions).
class GrowthReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double wall_ms, cpu_ms;
  };
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      auto ports = run.counters.find("ports");
      if (ports == run.counters.end()) continue;
      double iterations = static_cast<double>(run.iterations);
      double divide = median ? 1.0 : iterations;  // aggregates hold per-iteration times already
      Times times = {run.real_accumulated_time * 1e3 / divide,
                     run.cpu_accumulated_time * 1e3 / divide};
      if (median || !seen_median_) by_ports_[static_cast<int>(ports->second.value)] = times;
      seen_median_ = seen_median_ || median;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  const std::map<int, Times>& by_ports() const { return by_ports_; }

 private:
  std::map<int, Times> by_ports_;
  bool seen_median_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::string load_before = LoadAverage();
  benchmark::Initialize(&argc, argv);
  GrowthReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto& times = reporter.by_ports();
  for (auto it = times.begin(); it != times.end() && std::next(it) != times.end(); ++it) {
    auto next = std::next(it);
    printf("growth %d -> %d ports (x%.2f): wall x%.2f, CPU x%.2f\n", it->first, next->first,
           static_cast<double>(next->first) / it->first, next->second.wall_ms / it->second.wall_ms,
           next->second.cpu_ms / it->second.cpu_ms);
  }
  printf("load average: before %s, after %s\n", load_before.c_str(), LoadAverage().c_str());
  return 0;
}
