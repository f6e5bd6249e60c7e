// standbyag: the stand-in for the maker's failover statistics library (standbyag.dll).
//
// The configuration library's status page asks it for traffic figures and link states of the
// driver's ports and groups; the link monitor lists it among the SNMP extension agents. It answers
// from the NIC driver the way the SNMP agent reads it: each port's device "\\.\TREVANn" queried
// with IOCTL_NDIS_QUERY_GLOBAL_STATS, so emulated ports and ports served from a Linux interface
// answer alike. Groups are read from the registry at every call (their primary holds
// "LinkCheckTimeOut" and "GroupName"; their backups hold the primary's "AdapterIndex" as
// "PrimaryIndex"), so a group applied a moment ago is already known.
//
// The SNMP entry points answer the failover MIB from the state the driver publishes in the
// machine root (driver/failover_state.h).
//
// Thread-safe: no state is kept between calls.
#ifndef PAIRWAY_STATSLIB_STANDBYAG_H
#define PAIRWAY_STATSLIB_STANDBYAG_H

#include <snmp.h>
#include <windows.h>

// The query codes.
enum StandbyQueryCode : DWORD {
  kGroupBytesSent = 10,      // a group: the sum of its ports' bytes sent
  kGroupBytesReceived = 12,  // a group: the sum of its ports' bytes received
  kPortBytesSent = 25,       // a port: bytes sent (directed, multicast and broadcast)
  kPortBytesReceived = 27,   // a port: bytes received
  kPortLinkState = 30,       // a port: 1 while it has a link, 0 without
};

extern "C" {

// Answers query `code` for the group named `group` (codes 10 and 12; `port` unused) or for the
// port whose instance name is `port` (codes 25, 27, 30; `group` unused). `reserved1` and
// `reserved2` are 0. `*length` is the size of *result in bytes, at least 4.
//
// Non-zero on success: *result holds the figure (byte counts modulo 2^32, as a 32-bit counter
// wraps) and *length is 4. Zero on failure, with *result and *length untouched: an unknown code,
// a missing name or result, a length below 4, a group that no primary names, a port whose device
// does not open or does not answer. A group's figure fails when any of its ports fails, rather
// than show a sum that leaves a port out.
__declspec(dllexport) int WINAPI
    PairwayMibLocalInterface(DWORD code, LPCSTR group, LPCSTR port, DWORD reserved1,
                             DWORD reserved2, DWORD* result, DWORD* length);

// The SNMP extension-agent entry points of the failover MIB (failover_mib.h), read-only.
//
// Init reports the view 1.3.6.1.4.1.32473.3.1.2.2 (the library's own array, not to be freed),
// no trap event, and succeeds whether or not a driver runs: the driver may start after the SNMP
// service, and its groups are read at every request.
// Query answers GET and GETNEXT binding by binding, in order, from one read of the driver's
// state; the first binding that fails sets *error_status and its 1-based position in
// *error_index and ends the request (a GETNEXT after the last object fails with noSuchName,
// which ends the agent's view). SET and every other request type: noSuchName at the first
// binding. An empty list leaves both outputs as they were.
// Trap has no trap to give (FALSE).
__declspec(dllexport) BOOL SNMP_FUNC_TYPE
    SnmpExtensionInit(DWORD uptime_reference, HANDLE* trap_event,
                      AsnObjectIdentifier* supported_view);
__declspec(dllexport) BOOL SNMP_FUNC_TYPE
    SnmpExtensionQuery(BYTE pdu_type, SnmpVarBindList* bindings, AsnInteger32* error_status,
                       AsnInteger32* error_index);
__declspec(dllexport) BOOL SNMP_FUNC_TYPE
    SnmpExtensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic_trap,
                      AsnInteger32* specific_trap, AsnTimeticks* timestamp,
                      SnmpVarBindList* bindings);
}

#endif  // PAIRWAY_STATSLIB_STANDBYAG_H
