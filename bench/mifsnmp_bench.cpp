// mifsnmp_bench: the cost of one GET and one GETNEXT inside the SNMP agent (no snmpd), with 4
// and with 64 emulated ports.
//
// Workload: a fresh machine root in a temporary directory with N TREVAN ports (emulated back
// end: one state file per port), every port with two multicast addresses; the agent's load work
// done once. Each iteration is one SnmpExtensionQuery with one binding, its answer freed as the
// SNMP service frees it. The instance asked for moves over the ports from one iteration to the
// next.
//   get_counter        GET of frames sent (4.1.6.n): one driver query
//   get_summed         GET of the wire errors (4.1.13.n): six driver queries summed
//   get_version        GET of the software version (1.1.3.n): two registry reads
//   getnext_counter    GETNEXT from 4.1.6.n: the next port's frames sent
//   getnext_multicast  GETNEXT from 5.1.4.m: the multicast table is built from every port
//   walk               the whole MIB by GETNEXT; objects per second in the counter "objects/s"
#include <benchmark/benchmark.h>
#include <snmp.h>
#include <stdlib.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "agent_entry.h"
#include "pairway/nic_state.h"
#include "registry_layout.h"

namespace {

namespace fs = std::filesystem;

using Oid = std::vector<UINT>;

Oid Name(const Oid& suffix) {
  Oid name = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 1};
  name.insert(name.end(), suffix.begin(), suffix.end());
  return name;
}

void SetText(const std::string& path, const char* name, const std::string& text) {
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                  nullptr);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

void SetDword(const std::string& path, const char* name, DWORD value) {
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                  nullptr);
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

// A machine of `ports` ports with the agent loaded; removed with the object.
class Machine {
 public:
  explicit Machine(int ports) {
    std::string pattern = (fs::temp_directory_path() / "pairway-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    root_ = pattern;
    setenv("PAIRWAY_ROOT", pattern.c_str(), 1);
    SetDword(TREVAN_SOFTWARE_KEY, VAL_MAJOR_VERSION, 1);
    SetDword(TREVAN_SOFTWARE_KEY, VAL_MINOR_VERSION, 0);
    for (int n = 1; n <= ports; n++) {
      const std::string service = "TREVAN" + std::to_string(n);
      SetText(NETWORK_CARDS_KEY_SLASH + std::to_string(n), VAL_PRODUCT_NAME, TREVAN_PRODUCT_NAME);
      SetText(NETWORK_CARDS_KEY_SLASH + std::to_string(n), VAL_SERVICE_NAME, service);
      pairway::NicState state = pairway::DefaultNicState(n);
      std::string error;
      pairway::SetNicField(&state, "multicast=01005E000001,01005E000002", &error);
      pairway::WriteNicState(root_, service, state);
    }
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    ready_ = SnmpExtensionInit(0, nullptr, nullptr) == ports;
  }
  ~Machine() {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    unsetenv("PAIRWAY_ROOT");
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }
  bool ready() const { return ready_; }

 private:
  fs::path root_;
  bool ready_ = false;
};

// One request with one binding, freed afterwards; false when the agent reported an error.
bool Query(BYTE type, const Oid& name, Oid* answer = nullptr) {
  RFC1157VarBind binding{};
  AsnObjectIdentifier asked = {static_cast<UINT>(name.size()), const_cast<UINT*>(name.data())};
  SnmpUtilOidCpy(&binding.name, &asked);
  binding.value.asnType = ASN_NULL;
  RFC1157VarBindList list = {&binding, 1};
  AsnInteger32 status = 0, index = 0;
  SnmpExtensionQuery(type, &list, &status, &index);
  if (answer != nullptr) answer->assign(binding.name.ids, binding.name.ids + binding.name.idLength);
  SnmpUtilVarBindFree(&binding);
  return status == SNMP_ERRORSTATUS_NOERROR;
}

void RunQueries(benchmark::State& state, BYTE type, const Oid& column, UINT instances) {
  const int ports = static_cast<int>(state.range(0));
  Machine machine(ports);
  if (!machine.ready()) {
    state.SkipWithError("the machine could not be made");
    return;
  }
  UINT instance = 0;
  for (auto _ : state) {
    Oid name = Name(column);
    name.push_back(instance % instances + 1);
    if (!Query(type, name)) state.SkipWithError("the agent answered an error");
    instance++;
  }
  state.counters["ports"] = ports;
}

void BM_GetCounter(benchmark::State& state) {
  RunQueries(state, SNMP_PDU_GET, {4, 1, 6}, static_cast<UINT>(state.range(0)));
}
void BM_GetSummed(benchmark::State& state) {
  RunQueries(state, SNMP_PDU_GET, {4, 1, 13}, static_cast<UINT>(state.range(0)));
}
void BM_GetVersion(benchmark::State& state) {
  RunQueries(state, SNMP_PDU_GET, {1, 1, 3}, static_cast<UINT>(state.range(0)));
}
void BM_GetNextCounter(benchmark::State& state) {
  RunQueries(state, SNMP_PDU_GETNEXT, {4, 1, 6}, static_cast<UINT>(state.range(0)));
}
void BM_GetNextMulticast(benchmark::State& state) {
  RunQueries(state, SNMP_PDU_GETNEXT, {5, 1, 4}, 2 * static_cast<UINT>(state.range(0)));
}

void BM_Walk(benchmark::State& state) {
  Machine machine(static_cast<int>(state.range(0)));
  if (!machine.ready()) {
    state.SkipWithError("the machine could not be made");
    return;
  }
  const Oid end = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 2};
  size_t objects = 0;
  for (auto _ : state) {
    Oid name = {1, 3, 6, 1, 4, 1, 32473};
    for (;;) {
      Oid next;
      if (!Query(SNMP_PDU_GETNEXT, name, &next) || next == end) break;
      name = next;
      objects++;
    }
  }
  state.counters["ports"] = static_cast<double>(state.range(0));
  state.counters["objects/s"] =
      benchmark::Counter(static_cast<double>(objects), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_GetCounter)->Arg(4)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetSummed)->Arg(4)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetVersion)->Arg(4)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetNextCounter)->Arg(4)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetNextMulticast)->Arg(4)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Walk)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
