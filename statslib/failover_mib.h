// failover_mib.h: the failover MIB that standbyag answers, made from what the driver publishes.
//
// The TREVAN driver's failover engine publishes its groups in the machine root's run folder
// (driver/failover_state.h). This MIB shows them read-only, under 1.3.6.1.4.1.32473.3.1.2.2,
// beside the LAN adapter MIB of 1.3.6.1.4.1.32473.3.1.2.1; mibs/PAIRWAY-FAILOVER-MIB.txt is its
// module. Names below the view:
//
//   .1.1.C.g     the group table; g is the instance number of the group's head (TREVAN3: 3),
//                which stays the same while the group lasts, whatever other groups do.
//                C = 2 name, 3 head, 4 active port (empty: none), 5 link check time-out in
//                seconds (Gauge32), 6 state (1 up, 2 down), 7 failovers and 8 link changes
//                (Counter32: the driver's counts modulo 2^32, from 0 at each driver start)
//   .2.1.C.g.m   the member table; m is the member's instance number.
//                C = 2 the group's name, 3 port, 4 role (1 primary, 2 backup), 5 link (1 up,
//                2 down, 3 missing), 6 active (1 true, 2 false)
//   .3.0         the driver: 1 runs, 2 does not run (no groups then), 3 runs but its state
//                cannot be read (no groups either)
//
// The index columns (.1.1.1, .2.1.1) are not answered. A group whose head, or a member whose
// port, is not a TREVAN instance name, and a second group with the same head or a second member
// with the same port, are left out: their rows would have no name or two values.
//
//   snmpget -v2c -c public -On localhost 1.3.6.1.4.1.32473.3.1.2.2.1.1.4.3
//   .1.3.6.1.4.1.32473.3.1.2.2.1.1.4.3 = STRING: "TREVAN1"      (group of TREVAN3: its active port)
//
// No state is kept between calls: every request reads the publication afresh.
#ifndef PAIRWAY_STATSLIB_FAILOVER_MIB_H
#define PAIRWAY_STATSLIB_FAILOVER_MIB_H

#include <snmp.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "failover_state.h"

namespace standbyag {

inline constexpr UINT kFailoverViewLength = 11;
extern UINT failover_view_ids[kFailoverViewLength];  // 1.3.6.1.4.1.32473.3.1.2.2

struct FailoverObject {
  std::vector<UINT> name;   // the whole name, view included
  BYTE type = ASN_INTEGER;  // ASN_INTEGER, ASN_GAUGE32, ASN_COUNTER32 or ASN_OCTETSTRING
  uint32_t number = 0;      // the number of the first three (an INTEGER's is never negative)
  std::string text;         // ASN_OCTETSTRING
};

// Every object of the MIB for a read of the driver's state, in name order.
std::vector<FailoverObject> FailoverObjects(pairway::driver::StateRead read,
                                            const pairway::driver::FailoverState& state);

// The same for the driver of the current machine root (PAIRWAY_ROOT; no root: no driver).
std::vector<FailoverObject> ReadFailoverObjects();

// Answers one binding from `objects` (in name order). GET: the object of that very name. GETNEXT:
// the first object after the name, which then replaces the binding's name. The binding's old value
// is freed; names and strings given to it are helper blocks the caller frees. Returns
// SNMP_ERRORSTATUS_NOERROR; NOSUCHNAME for a GET of no object, a GETNEXT after the last one, or
// any other request type; GENERR when memory runs out (the binding then holds no new name or
// value).
int AnswerBinding(const std::vector<FailoverObject>& objects, BYTE pdu_type, SnmpVarBind* binding);

}  // namespace standbyag

#endif  // PAIRWAY_STATSLIB_FAILOVER_MIB_H
