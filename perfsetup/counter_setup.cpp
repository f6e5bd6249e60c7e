// Installing and removing the TREVAN driver's performance counters; see counter_setup.h.
#include "counter_setup.h"

#include <stdio.h>
#include <string.h>

#include "registry_access.h"
#include "registry_layout.h"

namespace {

RegistryAccess registry;  // stateless: one for the life of the library

constexpr DWORD kSystemDirSize = 80;
constexpr size_t kCommandSize = 200;

struct LibraryValue {
  const char* name;
  const char* data;
};

// Written in this order on install and deleted in this order on removal.
const LibraryValue kLibraryValues[] = {
    {VAL_PERF_OPEN, "OpenPerformanceData"},
    {VAL_PERF_CLOSE, "ClosePerformanceData"},
    {VAL_PERF_COLLECT, "CollectPerformanceData"},
    {VAL_PERF_LIBRARY, STATISTICS_LIBRARY_NAME},
};

// The system directory, or an empty text when it is not available (or does not fit).
void system_directory(char* buffer) {
  UINT length = GetSystemDirectoryA(buffer, kSystemDirSize);
  if (length == 0 || length >= kSystemDirSize) buffer[0] = '\0';
}

void build_load_command(const char* system_dir, char* command) {
  if (system_dir[0] == '\0') {
    snprintf(command, kCommandSize, "lodctr.exe perfctr.ini");
  } else {
    snprintf(command, kCommandSize, "%s\\lodctr.exe %s\\perfctr.ini", system_dir, system_dir);
  }
}

void build_unload_command(const char* system_dir, char* command) {
  if (system_dir[0] == '\0') {
    snprintf(command, kCommandSize, "unlodctr.exe " TREVAN_PRODUCT_NAME);
  } else {
    snprintf(command, kCommandSize, "%s\\unlodctr.exe " TREVAN_PRODUCT_NAME, system_dir);
  }
}

// Starts a tool without a console and waits for it. 1 when it was started; its exit code is
// not read.
int run_command(char* command) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, DETACHED_PROCESS, NULL, NULL, &startup,
                      &process)) {
    return 0;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return 1;
}

// "First Counter" is written by lodctr: its presence means names are loaded.
int counters_loaded() {
  BYTE first_counter[4];
  DWORD size = sizeof first_counter;
  DWORD type;
  return registry.get_value(DRIVER_PERFORMANCE_KEY, first_counter, &size, &type, VAL_FIRST_COUNTER)
             ? 1
             : 0;
}

void write_library_values() {
  for (const LibraryValue& value : kLibraryValues) {
    registry.set_value(DRIVER_PERFORMANCE_KEY, reinterpret_cast<const BYTE*>(value.data),
                       static_cast<DWORD>(strlen(value.data) + 1), REG_SZ, value.name);
  }
}

}  // namespace

void install_performance() {
  char system_dir[kSystemDirSize];
  char load_command[kCommandSize];
  char unload_command[kCommandSize];
  system_directory(system_dir);
  build_load_command(system_dir, load_command);
  build_unload_command(system_dir, unload_command);
  // Names loaded before are removed first, so a second install does not pile them up.
  if (counters_loaded()) run_command(unload_command);
  write_library_values();
  run_command(load_command);
}

void remove_performance() {
  char system_dir[kSystemDirSize];
  char unload_command[kCommandSize];
  system_directory(system_dir);
  build_unload_command(system_dir, unload_command);
  if (counters_loaded()) run_command(unload_command);
  for (const LibraryValue& value : kLibraryValues) {
    registry.remove_value(DRIVER_PERFORMANCE_KEY, value.name);
  }
  registry.remove_key(DRIVER_SERVICE_KEY, PERFORMANCE_SUBKEY);
}
