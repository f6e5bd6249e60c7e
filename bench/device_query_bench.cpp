// device_query_bench: the cost of one NDIS query on a port device, emulated and on a Linux
// interface, as the SNMP agent makes one to eleven of them for each value it answers.
//
// Workload: a fresh machine root with port TREVAN1 emulated (its state file is read and parsed
// on every query) and port TREVAN2 served from the loopback interface `lo` (a netlink request
// per counter or address, /proc/thread-self/net/dev_mcast per multicast query). Each iteration
// is one DeviceIoControl(IOCTL_NDIS_QUERY_GLOBAL_STATS) with the buffer size the agent offers;
// Open is one CreateFileA on the port's DOS name and its CloseHandle.
#include <benchmark/benchmark.h>
#include <ntddndis.h>
#include <windows.h>

#include <string>

#include "pairway/host_nic.h"
#include "pairway/nic_state.h"
#include "temp_root.h"

namespace {

const char* const kPorts[] = {"TREVAN1", "TREVAN2"};  // emulated, on `lo`

// A root with both ports, made once for the whole run.
struct Machine {
  Machine() {
    pairway::WriteNicState(root.path(), "TREVAN1", pairway::DefaultNicState(1));
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TREVAN2\\Parameters",
                    0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, pairway::kHostInterfaceValue, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>("lo"), 3);
    RegCloseKey(key);
    for (const char* port : kPorts)
      DefineDosDeviceA(DDD_RAW_TARGET_PATH, port, (std::string("\\Device\\") + port).c_str());
  }
  pairway::testing::TempRoot root;
};

Machine& TheMachine() {
  static Machine* machine = new Machine;
  return *machine;
}

HANDLE Open(const char* port) {
  return CreateFileA((std::string("\\\\.\\") + port).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

void Query(benchmark::State& state, DWORD oid, DWORD size) {
  TheMachine();
  const char* port = kPorts[state.range(0)];
  HANDLE device = Open(port);
  if (device == INVALID_HANDLE_VALUE) {
    state.SkipWithError("the port's device cannot be opened");
    return;
  }
  BYTE reply[512];
  for (auto _ : state) {
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, reply, size,
                         &returned, nullptr)) {
      state.SkipWithError("the query failed");
      break;
    }
    benchmark::DoNotOptimize(reply);
  }
  state.SetLabel(port);
  CloseHandle(device);
}

void BM_Counter(benchmark::State& state) { Query(state, OID_GEN_XMIT_OK, 4); }
void BM_Address(benchmark::State& state) { Query(state, OID_802_3_CURRENT_ADDRESS, 256); }
void BM_MulticastList(benchmark::State& state) { Query(state, OID_802_3_MULTICAST_LIST, 384); }

void BM_Open(benchmark::State& state) {
  TheMachine();
  const char* port = kPorts[state.range(0)];
  for (auto _ : state) {
    HANDLE device = Open(port);
    if (device == INVALID_HANDLE_VALUE) {
      state.SkipWithError("the port's device cannot be opened");
      break;
    }
    CloseHandle(device);
  }
  state.SetLabel(port);
}

BENCHMARK(BM_Counter)->Arg(0)->Arg(1);
BENCHMARK(BM_Address)->Arg(0)->Arg(1);
BENCHMARK(BM_MulticastList)->Arg(0)->Arg(1);
BENCHMARK(BM_Open)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
