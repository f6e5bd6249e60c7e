// agent_entry.h: mifsnmp, the SNMP extension agent that reports every port of the TREVAN driver
// as a LAN adapter (the MIB is described in mib_table.h).
//
// The SNMP service loads the library (whose load-time work finds the ports), calls
// SnmpExtensionInit once and SnmpExtensionQuery for every request, on threads of its own; the
// agent keeps no state between requests and takes no lock. Names and octet strings handed back
// are GlobalAlloc blocks that the service frees with the SnmpUtil helpers; the view given by
// SnmpExtensionInit stays the library's.
#ifndef MIFSNMP_AGENT_ENTRY_H
#define MIFSNMP_AGENT_ENTRY_H

#include <snmp.h>
#include <windows.h>

extern "C" {

// Sets *trap_event to NULL (the agent has no traps) and *supported_view to the agent's view
// 1.3.6.1.4.1.32473.3.1.2.1 (not a copy). Returns the number of ports found at load: FALSE when
// there is none, and the service then does not use the agent.
__declspec(dllexport) BOOL SNMP_FUNC_TYPE
    SnmpExtensionInit(DWORD uptime_reference, HANDLE* trap_event,
                      AsnObjectIdentifier* supported_view);

// Answers GET and GETNEXT bindings in order, in place. The first binding that fails sets
// *error_status (2 noSuchName, 5 genErr) and *error_index (its 1-based position) and ends the
// request; bindings after it are untouched. A GETNEXT beyond the last instance answers noError
// with the name 1.3.6.1.4.1.32473.3.1.2.2 (the value untouched), so a walk goes on past the view.
// SET and every other request type: noSuchName at index 1, nothing changed. Always TRUE.
__declspec(dllexport) BOOL SNMP_FUNC_TYPE
    SnmpExtensionQuery(BYTE request_type, RFC1157VarBindList* bindings, AsnInteger32* error_status,
                       AsnInteger32* error_index);

// The agent never has a trap to report: FALSE, nothing written.
__declspec(dllexport) BOOL SNMP_FUNC_TYPE
    SnmpExtensionTrap(AsnObjectIdentifier* enterprise, AsnInteger32* generic_trap,
                      AsnInteger32* specific_trap, AsnTimeticks* time_stamp,
                      RFC1157VarBindList* bindings);

// A console test hook: argv[1] is "get", "getnext", "set" or "walk", argv[2..] (at most 40) the
// decimal sub-identifiers of one name. Prints each answer's name and value on standard output
// until a request fails (or, but for "walk", after the first).
__declspec(dllexport) void TestResolveVarBind(int argc, char* argv[]);
}

// The library's entry routine: process attach finds the ports (once), process detach forgets
// them. Always TRUE; finding no port shows in SnmpExtensionInit.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

#endif  // MIFSNMP_AGENT_ENTRY_H
