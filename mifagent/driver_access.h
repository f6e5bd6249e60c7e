// driver_access.h: finding the driver's ports and asking the driver about one port.
//
// Every value the agent reports about traffic, addresses and the adapter comes from the NIC
// driver, asked with NDIS object identifiers (ntddndis.h) port by port. Two paths, chosen by
// is_windows_nt():
//   Windows NT  each port is an instance of the driver's miniport with a device of its own
//               ("\\.\TREVAN1"); the ports are the driver's cards in the registry, ordered by the
//               number after the driver name (TREVAN1, TREVAN2, TREVAN10).
//   Windows 95  one virtual device "\\.\NICIOVX.VXD" reaches every adapter; the ports are the
//               adapters whose vendor identifier is the maker's, in the virtual device's order.
//
// A port's SNMP instance number is its 0-based position plus 1. The port list is built once, when
// the library is loaded, and is read-only until it is unloaded, so queries may run on any thread
// at once without a lock.
#ifndef MIFSNMP_DRIVER_ACCESS_H
#define MIFSNMP_DRIVER_ACCESS_H

#include <windows.h>

// At most this many ports are served; cards after the 64th are not seen.
#define MAX_PORTS 64
// A port's service name holds at most 19 characters.
#define PORT_NAME_SIZE 20

// The maker's vendor identifier: a Windows 95 adapter whose OID_GEN_VENDOR_ID reply starts with
// these three bytes is one of the driver's ports.
extern const BYTE trevan_vendor_code[3];

struct PortEntry {
  char name[PORT_NAME_SIZE];  // the port's service name, TREVAN2
  HANDLE device;              // the opened port device, NULL when it could not be opened
  int instance;               // the number after the driver name, 2 for TREVAN2
};

// True when the platform is Windows NT (GetVersionExA reports VER_PLATFORM_WIN32_NT). Asked once
// and kept until release_ports().
bool is_windows_nt();

// Finds the ports and returns their number (0 when the driver is not installed or memory runs
// out). On Windows 95 an adapter is a port when the first `code_length` bytes of its reply to
// `vendor_oid` equal `vendor_code`; on Windows NT the three are not used. Call once, while
// port_count() is 0.
int discover_ports(DWORD vendor_oid, const BYTE* vendor_code, DWORD code_length);

// The number of ports found; 0 before discovery.
int port_count();

// The port at `position` (Windows NT list; NULL on Windows 95 or out of range). For tests.
const PortEntry* port_entry(int position);

// Asks the driver for `oid` of the port at 0-based `position`. On success the reply is in
// buffer[0..size) and the result is its length; on any failure (no such port, no device, the
// driver does not answer, the reply does not fit) the result is 0 and the buffer is left as it
// was, so callers zero it first.
DWORD query_port_oid(DWORD oid, int position, void* buffer, DWORD size);

// Forgets the ports, closes their devices and the virtual device, and forgets the platform flag:
// the library is being unloaded, and a later load starts afresh.
void release_ports();

#endif  // MIFSNMP_DRIVER_ACCESS_H
