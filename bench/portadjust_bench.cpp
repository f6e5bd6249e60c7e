// portadjust_bench: one adjustment pass of the link monitor over 64 and over 254 installed
// ports on the SQLite hive.
//
// Workload: a fresh machine root in a temporary directory; N TREVAN ports in the card list,
// every fourth one in PCI slot 4, every third one a backup, every second one with a TCP/IP
// address, the SNMP service installed. After one warm-up pass (which makes the repairs and
// registrations), each iteration is one whole pass: backups checked, addresses copied, the
// linkage lists rebuilt slot 4 first (3 x N appends), agents checked.
//
// Reported: time per pass; peak_rss_kib (the process's peak resident set after the runs) and
// rss_growth_kib (how much the peak grew during the runs); the time's growth from 64 to 254
// ports follows from the two rows (see bench/README.md).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <windows.h>

#include <filesystem>
#include <string>

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
BENCHMARK(BM_AdjustmentPass)->Arg(64)->Arg(254)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
