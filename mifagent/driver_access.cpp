// Port discovery and driver queries; see driver_access.h.
//
// Sections: the platform flag; Windows NT (ports from the registry, one device per port);
// Windows 95 (one virtual device, overlapped requests); the dispatch shared by both.
#include "driver_access.h"

#include <ntddndis.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "probes.h"
#include "registry_layout.h"

const BYTE trevan_vendor_code[3] = {0x02, 0x3C, 0x7A};

namespace {

// ---- Platform flag -------------------------------------------------------------------------

enum PlatformFlag { kUnknown = -1, kWindows95 = 0, kWindowsNt = 1 };
std::atomic<int> platform_flag{kUnknown};

// ---- Windows NT ------------------------------------------------------------------------------

constexpr DWORD kServiceListSize = 1024;
constexpr DWORD kDosTargetSize = 512;
const char kDeviceNamespace[] = "\\\\.\\";
const char kDriverDeviceFolder[] = "\\Device\\";

PortEntry* ports[MAX_PORTS];
int port_list_size = 0;

// The decimal number after the driver name at the start of a service name; 0 when the name does
// not start with it or no digit follows.
int instance_of(const char* service) {
  const size_t prefix = strlen(TREVAN_PRODUCT_NAME);
  if (strncmp(service, TREVAN_PRODUCT_NAME, prefix) != 0) return 0;
  long long value = 0;
  for (const char* digit = service + prefix; *digit >= '0' && *digit <= '9'; digit++) {
    if (value < 0x7FFFFFFF) value = value * 10 + (*digit - '0');
  }
  return value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(value);
}

// Opens the port's device through its MS-DOS name, defining the name first when the driver's
// setup has not: the driver makes "\Device\TREVANn", but only a DOS name reaches it from user
// mode. The name so defined is left for the next load.
HANDLE open_port_device(const char* service) {
  char targets[kDosTargetSize];
  if (QueryDosDeviceA(service, targets, sizeof targets) == 0) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return NULL;
    char target[sizeof kDriverDeviceFolder + PORT_NAME_SIZE];
    strcpy(target, kDriverDeviceFolder);
    strcat(target, service);
    if (!DefineDosDeviceA(DDD_RAW_TARGET_PATH, service, target)) return NULL;
  }
  char device_name[sizeof kDeviceNamespace + PORT_NAME_SIZE];
  strcpy(device_name, kDeviceNamespace);
  strcat(device_name, service);
  HANDLE device = CreateFileA(device_name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
  return device == INVALID_HANDLE_VALUE ? NULL : device;
}

// Stable: ports with equal instance numbers keep the card list's order.
void sort_ports_by_instance() {
  bool exchanged = true;
  for (int pass = 0; exchanged && pass < port_list_size; pass++) {
    exchanged = false;
    for (int i = 0; i + 1 < port_list_size - pass; i++) {
      if (ports[i]->instance > ports[i + 1]->instance) {
        PortEntry* earlier = ports[i];
        ports[i] = ports[i + 1];
        ports[i + 1] = earlier;
        exchanged = true;
      }
    }
  }
}

void free_port_list() {
  for (int i = 0; i < port_list_size; i++) {
    if (ports[i]->device != NULL) CloseHandle(ports[i]->device);
    free(ports[i]);
    ports[i] = NULL;
  }
  port_list_size = 0;
}

int discover_nt_ports() {
  char* services = static_cast<char*>(calloc(1, kServiceListSize));
  if (services == NULL) return 0;
  list_port_services(services, kServiceListSize);
  for (const char* name = services; *name != '\0' && port_list_size < MAX_PORTS;
       name += strlen(name) + 1) {
    // A longer name does not fit an entry; cut short it could address another port's device.
    if (strlen(name) >= PORT_NAME_SIZE) continue;
    PortEntry* entry = static_cast<PortEntry*>(calloc(1, sizeof(PortEntry)));
    if (entry == NULL) {
      free_port_list();
      break;
    }
    entry->instance = instance_of(name);
    strcpy(entry->name, name);
    entry->device = open_port_device(name);
    ports[port_list_size++] = entry;
  }
  free(services);
  sort_ports_by_instance();
  return port_list_size;
}

DWORD nt_query(DWORD oid, int position, void* buffer, DWORD size) {
  if (position < 0 || position >= port_list_size || ports[position]->device == NULL) return 0;
  DWORD returned = 0;
  if (!DeviceIoControl(ports[position]->device, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid,
                       buffer, size, &returned, NULL)) {
    return 0;
  }
  return returned;
}

// ---- Windows 95 ------------------------------------------------------------------------------

const char kVirtualDeviceName[] = "\\\\.\\NICIOVX.VXD";
constexpr DWORD kVxdQueryOid = 1;      // inputs (OID, adapter number) -> the OID's reply
constexpr DWORD kVxdAdapterCount = 2;  // inputs (0, 0) -> 4-byte number of adapters

HANDLE virtual_device = NULL;
DWORD port_map[MAX_PORTS];  // position -> the virtual device's adapter number
int port_map_size = 0;

void put_le32(BYTE* out, DWORD value) {
  for (int i = 0; i < 4; i++) out[i] = static_cast<BYTE>(value >> (8 * i));
}

// One request to the virtual device; the bytes it returned, or 0. Each request has an event of
// its own, so requests on different threads never wait on each other's completion.
DWORD vxd_request(DWORD code, DWORD first, DWORD second, void* output, DWORD output_size) {
  HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
  if (event == NULL) return 0;
  OVERLAPPED overlapped;
  memset(&overlapped, 0, sizeof overlapped);
  overlapped.hEvent = event;
  BYTE input[8];
  put_le32(input, first);
  put_le32(input + 4, second);
  DWORD returned = 0;
  if (!DeviceIoControl(virtual_device, code, input, sizeof input, output, output_size, &returned,
                       &overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING ||
        !GetOverlappedResult(virtual_device, &overlapped, &returned, TRUE)) {
      returned = 0;
    }
  }
  CloseHandle(event);
  return returned;
}

int discover_win95_ports(DWORD vendor_oid, const BYTE* vendor_code, DWORD code_length) {
  HANDLE device = CreateFileA(kVirtualDeviceName, 0, 0, NULL, 0,
                              FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OVERLAPPED, NULL);
  if (device == INVALID_HANDLE_VALUE) return 0;
  if (virtual_device != NULL) CloseHandle(virtual_device);  // a load that found no adapter
  virtual_device = device;
  BYTE* reply = static_cast<BYTE*>(calloc(1, code_length == 0 ? 1 : code_length));
  if (reply == NULL) return 0;
  DWORD adapters = 0;
  vxd_request(kVxdAdapterCount, 0, 0, &adapters, sizeof adapters);
  for (DWORD a = 0; a < adapters && a < MAX_PORTS; a++) {
    vxd_request(kVxdQueryOid, vendor_oid, a, reply, code_length);
    if (memcmp(reply, vendor_code, code_length) == 0) port_map[port_map_size++] = a;
    memset(reply, 0, code_length);
  }
  free(reply);
  return port_map_size;
}

DWORD win95_query(DWORD oid, int position, void* buffer, DWORD size) {
  if (position < 0 || position >= port_map_size) return 0;
  return vxd_request(kVxdQueryOid, oid, port_map[position], buffer, size);
}

}  // namespace

// ---- Shared ------------------------------------------------------------------------------------

bool is_windows_nt() {
  int flag = platform_flag.load();
  if (flag == kUnknown) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    flag = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT ? kWindowsNt
                                                                                    : kWindows95;
    platform_flag.store(flag);
  }
  return flag == kWindowsNt;
}

int discover_ports(DWORD vendor_oid, const BYTE* vendor_code, DWORD code_length) {
  if (is_windows_nt()) return discover_nt_ports();
  return discover_win95_ports(vendor_oid, vendor_code, code_length);
}

int port_count() { return is_windows_nt() ? port_list_size : port_map_size; }

const PortEntry* port_entry(int position) {
  if (!is_windows_nt() || position < 0 || position >= port_list_size) return NULL;
  return ports[position];
}

DWORD query_port_oid(DWORD oid, int position, void* buffer, DWORD size) {
  return is_windows_nt() ? nt_query(oid, position, buffer, size)
                         : win95_query(oid, position, buffer, size);
}

void release_ports() {
  free_port_list();
  if (virtual_device != NULL) CloseHandle(virtual_device);
  virtual_device = NULL;
  port_map_size = 0;
  platform_flag.store(kUnknown);
}
