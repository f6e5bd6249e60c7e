// probes.h: the facts the driver does not report, read from the registry and the file system:
// which network cards are the driver's, the installed software's version, the driver's name and
// the size of its file.
//
// The agent only reads; every reader degrades to an empty text or 0 and never reports an error,
// so a missing driver installation shows as empty texts and size 0 while the driver's counters
// may still be read. Which keys are read depends on is_windows_nt() (driver_access.h): Windows NT
// keeps the driver under its service key, Windows 95 under the network class key of each port
// (Class\Net\0000 for position 0, Class\Net\0001 for position 1, ...).
#ifndef MIFSNMP_PROBES_H
#define MIFSNMP_PROBES_H

#include <windows.h>

// Room for any version text "%d.%d" of two 32-bit numbers.
#define VERSION_TEXT_SIZE 32

// Fills the zero-filled `buffer` with the service names of the driver's network cards (Windows
// NT), each zero-terminated, one after another in the card list's order; the zero-filled rest
// ends the list with an empty name. Returns the bytes used. The scan ends at the first card whose
// "ProductName" cannot be read (missing, or 20 bytes or longer); cards of other products are
// skipped.
DWORD list_port_services(char* buffer, DWORD buffer_size);

// Writes the installed software's version into `buffer` (VERSION_TEXT_SIZE bytes): "%d.%d" of
// "MajorVersion" and "MinorVersion" on Windows NT, empty when either is missing; "2.3" on
// Windows 95.
void read_version_text(char* buffer);

// Writes the driver's name into the zero-filled `buffer`: the driver service's "DisplayName" on
// Windows NT (the same for every port), the port's class key "DriverDesc" on Windows 95. Empty
// when it cannot be read.
void read_driver_name(char* buffer, DWORD buffer_size, int position);

// The size in bytes of the driver's file, or 0 when it cannot be found. `buffer` (at least 256
// bytes) is working space.
DWORD read_driver_size(char* buffer, DWORD buffer_size, int position);

#endif  // MIFSNMP_PROBES_H
