// device_query_bench: the cost of one NDIS query on a port device, emulated and on a Linux
// interface, as the SNMP agent makes one to eleven of them for each value it answers.
//
// Workload: a fresh machine root with port TREVAN1 emulated (its state kept by the process while
// the root's change counters say it did not change) and port TREVAN2 served from the loopback
// interface `lo` (a netlink request per counter or address, /proc/thread-self/net/dev_mcast per
// multicast query). Each iteration is one DeviceIoControl(IOCTL_NDIS_QUERY_GLOBAL_STATS) with the
// buffer size the agent offers; Open is one CreateFileA on the port's DOS name and its
// CloseHandle. BM_CounterAfterChange is the baseline of the emulated port: before each query the
// root's change epoch is raised (as a write elsewhere would), so every query reads and parses the
// state file, which is what every query cost before the state was kept.
#include <benchmark/benchmark.h>
#include <ntddndis.h>
#include <windows.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
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

// The emulated port's query after a change: raises word 1 of <root>/run/nic-state.changes (the
// epoch) before each query, which makes the process read the state file again.
void BM_CounterAfterChange(benchmark::State& state) {
  TheMachine();
  HANDLE device = Open(kPorts[0]);
  const int fd = open((TheMachine().root.path() / "run" / "nic-state.changes").c_str(), O_RDWR);
  void* words = fd < 0 ? MAP_FAILED : mmap(nullptr, 16, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (fd >= 0) close(fd);
  if (device == INVALID_HANDLE_VALUE || words == MAP_FAILED) {
    state.SkipWithError("the port or its change counters cannot be opened");
    return;
  }
  std::atomic_ref<uint64_t> epoch(static_cast<uint64_t*>(words)[1]);
  DWORD oid = OID_GEN_XMIT_OK;
  BYTE reply[8];
  for (auto _ : state) {
    epoch.fetch_add(1);
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, reply, 4,
                         &returned, nullptr)) {
      state.SkipWithError("the query failed");
      break;
    }
    benchmark::DoNotOptimize(reply);
  }
  state.SetLabel(kPorts[0]);
  munmap(words, 16);
  CloseHandle(device);
}

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
BENCHMARK(BM_CounterAfterChange);
BENCHMARK(BM_Address)->Arg(0)->Arg(1);
BENCHMARK(BM_MulticastList)->Arg(0)->Arg(1);
BENCHMARK(BM_Open)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
