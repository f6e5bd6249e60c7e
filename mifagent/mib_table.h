// mib_table.h: the agent's MIB, and the lookup that serves GET and GETNEXT.
//
// Every object is a read-only column of a table under the agent's view 1.3.6.1.4.1.32473.3.1.2.1:
//
//   view . group . 1 . attribute . instance [ . second ]
//   positions 0-10   11    12     13        14        15
//
// Groups 1, 2, 4, 6, 7 and 8 have one instance per port (1 .. port_count()); group 3 has two per
// port, (n, 1) and (n, 2); group 5 has one per multicast address of all ports together and none
// when no port has one. The table holds the 56 columns in ascending order, each with the name of
// its first instance and the handler that resolves a binding against it (attributes.h builds
// the values).
//
//   $ snmpget -v1 -c public HOST 1.3.6.1.4.1.32473.3.1.2.1.4.1.2.1
//   ...4.1.2.1 = STRING: "00A0C9120001"        (port 1's permanent address)
//
// Statuses are SNMP error statuses: 0 noError, 2 noSuchName, 5 genErr. Names are compared as
// unsigned 32-bit sub-identifiers.
#ifndef MIFSNMP_MIB_TABLE_H
#define MIFSNMP_MIB_TABLE_H

#include <snmp.h>
#include <windows.h>

#define MIB_VIEW_LENGTH 11
#define MIB_ROW_COUNT 56
// Positions of the instance and of group 3's second index in a name.
#define MIB_INSTANCE_POSITION 14
#define MIB_SECOND_POSITION 15
// The greatest name length of a column's first instance (group 3).
#define MIB_MAX_COLUMN_LENGTH 16

// The agent's view; the SNMP service is given this very array and must not free it.
extern UINT mib_view_ids[MIB_VIEW_LENGTH];

// A handler resolves `binding` against its column: 0 or 5 with the value built (and for GETNEXT
// the name moved to the instance found), 2 for GET on a name that is no instance of the column,
// -1 for GETNEXT when no instance of the column follows the name. `found` is 1 for GET; for
// GETNEXT it becomes 1 once a following instance was adopted.
typedef int (*MibHandler)(RFC1157VarBind* binding, BYTE request_type, int* found);

struct MibObject {
  AsnObjectIdentifier column;  // the column's first instance
  MibHandler handler;
};

extern const MibObject mib_table[MIB_ROW_COUNT];

// -1, 0 or +1 as a sorts before, with or after b; a name that is a beginning of the other sorts
// first. A name without a sub-identifier array counts as empty.
int oid_compare(const AsnObjectIdentifier* a, const AsnObjectIdentifier* b);

// The position of the last row whose column name is at most `name`; 0 when `name` precedes them
// all.
int find_mib_object(const AsnObjectIdentifier* name);

// Answers one binding: fills the value for GET; for GETNEXT moves the name to the next instance
// of the MIB and fills its value. 2 for a name the MIB does not hold (GET), for nothing after the
// name (GETNEXT), and for every other request type; 5 when memory runs out.
int resolve_var_bind(RFC1157VarBind* binding, BYTE request_type);

// The instance logic of a column whose instances are 1 .. max_instance at position 14: for GET,
// 1 when the name is not exactly one of them; for GETNEXT, moves the name to the first instance
// after it (setting *found) if there is one. Returns 0 to go on, 1 for no such name.
int lookup_column(RFC1157VarBind* binding, BYTE request_type, int* found, UINT max_instance,
                  const AsnObjectIdentifier* column);

// The same for instances (1 .. max_instance, 1 .. max_second) at positions 14 and 15, in order of
// the first index, then the second.
int lookup_column_pair(RFC1157VarBind* binding, BYTE request_type, int* found, UINT max_instance,
                       UINT max_second, const AsnObjectIdentifier* column);

// Store a value in the binding. set_string copies `text` (without its terminator) into a block
// that the receiver frees (dynamic); 5 when that block cannot be allocated, else 0.
int set_integer(RFC1157VarBind* binding, AsnInteger32 number);
int set_counter(RFC1157VarBind* binding, AsnCounter32 number);
int set_string(RFC1157VarBind* binding, const char* text);

// Copies `source` into `target` with an array of its own (GlobalAlloc); when that fails the
// target is left empty and the last error is 1. False then.
bool oid_copy(AsnObjectIdentifier* target, const AsnObjectIdentifier* source);
// Frees the array and leaves the name empty.
void oid_release(AsnObjectIdentifier* name);

#endif  // MIFSNMP_MIB_TABLE_H
