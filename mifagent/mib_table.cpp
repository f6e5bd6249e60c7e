// The MIB table and the lookup; see mib_table.h.
//
// Sections: names; values; the instance logic of a column; the column handlers; the table; the
// lookup over the table.
#include "mib_table.h"

#include <string.h>

#include "attributes.h"
#include "driver_access.h"

#define MIB_VIEW 1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 1

UINT mib_view_ids[MIB_VIEW_LENGTH] = {MIB_VIEW};

namespace {

// A name without a sub-identifier array has no sub-identifiers, whatever its count says.
UINT length_of(const AsnObjectIdentifier* name) { return name->ids == NULL ? 0 : name->idLength; }

}  // namespace

// ---- Names -------------------------------------------------------------------------------------

int oid_compare(const AsnObjectIdentifier* a, const AsnObjectIdentifier* b) {
  const UINT a_length = length_of(a);
  const UINT b_length = length_of(b);
  const UINT common = a_length < b_length ? a_length : b_length;
  for (UINT i = 0; i < common; i++) {
    if (a->ids[i] != b->ids[i]) return a->ids[i] < b->ids[i] ? -1 : 1;
  }
  if (a_length == b_length) return 0;
  return a_length < b_length ? -1 : 1;
}

bool oid_copy(AsnObjectIdentifier* target, const AsnObjectIdentifier* source) {
  const UINT length = length_of(source);
  target->idLength = 0;
  target->ids = static_cast<UINT*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(length) * sizeof(UINT)));
  if (target->ids == NULL) {
    SetLastError(1);
    return false;
  }
  if (length > 0) memcpy(target->ids, source->ids, length * sizeof(UINT));
  target->idLength = length;
  return true;
}

void oid_release(AsnObjectIdentifier* name) {
  if (name->ids != NULL) GlobalFree(name->ids);
  name->ids = NULL;
  name->idLength = 0;
}

// ---- Values ------------------------------------------------------------------------------------

int set_integer(RFC1157VarBind* binding, AsnInteger32 number) {
  binding->value.asnType = ASN_INTEGER;
  binding->value.asnValue.number = number;
  return SNMP_ERRORSTATUS_NOERROR;
}

int set_counter(RFC1157VarBind* binding, AsnCounter32 number) {
  binding->value.asnType = ASN_RFC1155_COUNTER;
  binding->value.asnValue.counter = number;
  return SNMP_ERRORSTATUS_NOERROR;
}

int set_string(RFC1157VarBind* binding, const char* text) {
  const size_t length = strlen(text);
  binding->value.asnType = ASN_OCTETSTRING;
  binding->value.asnValue.string.length = static_cast<UINT>(length);
  binding->value.asnValue.string.dynamic = FALSE;
  binding->value.asnValue.string.stream = static_cast<BYTE*>(GlobalAlloc(GPTR, length));
  if (binding->value.asnValue.string.stream == NULL) return SNMP_ERRORSTATUS_GENERR;
  memcpy(binding->value.asnValue.string.stream, text, length);
  binding->value.asnValue.string.dynamic = TRUE;  // the SNMP service frees it
  return SNMP_ERRORSTATUS_NOERROR;
}

// ---- Instance logic ----------------------------------------------------------------------------

namespace {

// A candidate instance of a column, on the stack: a lookup tries one or two of them and keeps at
// most one, so only the one adopted is ever allocated.
struct Candidate {
  UINT ids[MIB_MAX_COLUMN_LENGTH];
  AsnObjectIdentifier name;

  explicit Candidate(const AsnObjectIdentifier* column) {
    memcpy(ids, column->ids, column->idLength * sizeof(UINT));
    name.idLength = column->idLength;
    name.ids = ids;
  }
};

UINT sub_id_or_zero(const AsnObjectIdentifier* name, UINT position) {
  return length_of(name) > position ? name->ids[position] : 0;
}

// Gives the binding the candidate's name when it follows the binding's name.
void adopt_if_after(RFC1157VarBind* binding, const Candidate& candidate, int* found) {
  if (oid_compare(&binding->name, &candidate.name) >= 0) return;
  oid_release(&binding->name);
  oid_copy(&binding->name, &candidate.name);
  *found = 1;
}

}  // namespace

// A missing sub-identifier counts as 0 below: a name that ends before the instance sorts before
// every instance, just as one whose instance is 0.
int lookup_column(RFC1157VarBind* binding, BYTE request_type, int* found, UINT max_instance,
                  const AsnObjectIdentifier* column) {
  const AsnObjectIdentifier* name = &binding->name;
  Candidate candidate(column);
  if (request_type != SNMP_PDU_GETNEXT) {
    if (length_of(name) <= MIB_INSTANCE_POSITION) return 1;
    const UINT instance = name->ids[MIB_INSTANCE_POSITION];
    if (instance == 0 || instance > max_instance) return 1;
    candidate.ids[MIB_INSTANCE_POSITION] = instance;
    return oid_compare(name, &candidate.name) == 0 ? 0 : 1;
  }
  // A column without instances (no ports) has no first instance to offer: the scan goes on to
  // the next column, as group 5 does while no port holds a multicast address.
  if (max_instance == 0) return 0;
  adopt_if_after(binding, candidate, found);
  const UINT instance = sub_id_or_zero(name, MIB_INSTANCE_POSITION);
  if (!*found && length_of(name) > MIB_INSTANCE_POSITION && instance < max_instance) {
    candidate.ids[MIB_INSTANCE_POSITION] = instance + 1;
    adopt_if_after(binding, candidate, found);
  }
  return 0;
}

int lookup_column_pair(RFC1157VarBind* binding, BYTE request_type, int* found, UINT max_instance,
                       UINT max_second, const AsnObjectIdentifier* column) {
  const AsnObjectIdentifier* name = &binding->name;
  Candidate candidate(column);
  if (request_type != SNMP_PDU_GETNEXT) {
    if (length_of(name) <= MIB_SECOND_POSITION) return 1;
    const UINT first = name->ids[MIB_INSTANCE_POSITION];
    const UINT second = name->ids[MIB_SECOND_POSITION];
    if (first == 0 || first > max_instance || second == 0 || second > max_second) return 1;
    candidate.ids[MIB_INSTANCE_POSITION] = first;
    candidate.ids[MIB_SECOND_POSITION] = second;
    return oid_compare(name, &candidate.name) == 0 ? 0 : 1;
  }
  if (max_instance == 0 || max_second == 0) return 0;
  adopt_if_after(binding, candidate, found);
  const UINT first = sub_id_or_zero(name, MIB_INSTANCE_POSITION);
  const UINT second = sub_id_or_zero(name, MIB_SECOND_POSITION);
  if (*found || first > max_instance) return 0;
  if (second < max_second) {
    candidate.ids[MIB_INSTANCE_POSITION] = first;
    candidate.ids[MIB_SECOND_POSITION] = second + 1;
  } else if (first < max_instance) {
    candidate.ids[MIB_INSTANCE_POSITION] = first + 1;
    candidate.ids[MIB_SECOND_POSITION] = 1;
  } else {
    return 0;
  }
  adopt_if_after(binding, candidate, found);
  return 0;
}

// ---- Column handlers ---------------------------------------------------------------------------

namespace {

// The name of a column's first instance: view . group . 1 . attribute . 1 (. 1 in group 3).
template <UINT kGroup, UINT kAttribute>
struct Column {
  static inline UINT ids[MIB_MAX_COLUMN_LENGTH] = {MIB_VIEW, kGroup, 1, kAttribute, 1, 1};
  static constexpr AsnObjectIdentifier name = {kGroup == 3 ? 16u : 15u, ids};
};

// After a lookup that found an instance: the name holds it, unless adopting it ran out of
// memory, which the request must then report rather than answer for a name it does not hold.
bool holds_instance(const RFC1157VarBind* binding, UINT last_position) {
  return length_of(&binding->name) > last_position;
}

template <UINT kGroup, UINT kAttribute, PortValueBuilder kBuild>
int port_column(RFC1157VarBind* binding, BYTE request_type, int* found) {
  const AsnObjectIdentifier* column = &Column<kGroup, kAttribute>::name;
  if (lookup_column(binding, request_type, found, port_count(), column) == 1) {
    return SNMP_ERRORSTATUS_NOSUCHNAME;
  }
  if (!*found) return -1;
  if (!holds_instance(binding, MIB_INSTANCE_POSITION)) return SNMP_ERRORSTATUS_GENERR;
  return kBuild(binding, binding->name.ids[MIB_INSTANCE_POSITION], 0);
}

// Group 3: two rows per port.
constexpr UINT kRowsPerPort = 2;

template <UINT kGroup, UINT kAttribute, PortValueBuilder kBuild>
int pair_column(RFC1157VarBind* binding, BYTE request_type, int* found) {
  const AsnObjectIdentifier* column = &Column<kGroup, kAttribute>::name;
  if (lookup_column_pair(binding, request_type, found, port_count(), kRowsPerPort, column) == 1) {
    return SNMP_ERRORSTATUS_NOSUCHNAME;
  }
  if (!*found) return -1;
  if (!holds_instance(binding, MIB_SECOND_POSITION)) return SNMP_ERRORSTATUS_GENERR;
  return kBuild(binding, binding->name.ids[MIB_INSTANCE_POSITION],
                binding->name.ids[MIB_SECOND_POSITION]);
}

// The rows of group 5 are whatever multicast addresses the ports hold at this moment, so every
// request asks the driver afresh.
template <UINT kGroup, UINT kAttribute, MulticastValueBuilder kBuild>
int multicast_column(RFC1157VarBind* binding, BYTE request_type, int* found) {
  const AsnObjectIdentifier* column = &Column<kGroup, kAttribute>::name;
  MulticastTable table;
  build_multicast_table(&table);
  int status = -1;
  if (table.rows > 0) {
    if (lookup_column(binding, request_type, found, table.rows, column) == 1) {
      status = SNMP_ERRORSTATUS_NOSUCHNAME;
    } else if (*found && !holds_instance(binding, MIB_INSTANCE_POSITION)) {
      status = SNMP_ERRORSTATUS_GENERR;
    } else if (*found) {
      status = kBuild(binding, &table, binding->name.ids[MIB_INSTANCE_POSITION]);
    }
  }
  release_multicast_table(&table);
  return status;
}

}  // namespace

// ---- The table ---------------------------------------------------------------------------------

#define PORT_COLUMN(g, a) \
  { Column<g, a>::name, port_column<g, a, column_##g##_1_##a> }
#define PAIR_COLUMN(a) \
  { Column<3, a>::name, pair_column<3, a, column_3_1_##a> }
#define MULTICAST_COLUMN(a) \
  { Column<5, a>::name, multicast_column<5, a, column_5_1_##a> }

const MibObject mib_table[MIB_ROW_COUNT] = {
    PORT_COLUMN(1, 1),   PORT_COLUMN(1, 2),   PORT_COLUMN(1, 3),   PORT_COLUMN(1, 4),
    PORT_COLUMN(1, 5),   PORT_COLUMN(1, 6),   PORT_COLUMN(1, 7),   PORT_COLUMN(2, 1),
    PORT_COLUMN(2, 2),   PAIR_COLUMN(1),      PAIR_COLUMN(2),      PAIR_COLUMN(3),
    PAIR_COLUMN(4),      PAIR_COLUMN(5),      PAIR_COLUMN(6),      PAIR_COLUMN(7),
    PORT_COLUMN(4, 1),   PORT_COLUMN(4, 2),   PORT_COLUMN(4, 3),   PORT_COLUMN(4, 4),
    PORT_COLUMN(4, 5),   PORT_COLUMN(4, 6),   PORT_COLUMN(4, 7),   PORT_COLUMN(4, 8),
    PORT_COLUMN(4, 9),   PORT_COLUMN(4, 10),  PORT_COLUMN(4, 11),  PORT_COLUMN(4, 12),
    PORT_COLUMN(4, 13),  MULTICAST_COLUMN(1), MULTICAST_COLUMN(2), MULTICAST_COLUMN(3),
    MULTICAST_COLUMN(4), PORT_COLUMN(6, 1),   PORT_COLUMN(6, 2),   PORT_COLUMN(6, 3),
    PORT_COLUMN(6, 4),   PORT_COLUMN(6, 5),   PORT_COLUMN(6, 6),   PORT_COLUMN(6, 7),
    PORT_COLUMN(6, 8),   PORT_COLUMN(7, 1),   PORT_COLUMN(7, 2),   PORT_COLUMN(7, 3),
    PORT_COLUMN(7, 4),   PORT_COLUMN(7, 5),   PORT_COLUMN(7, 6),   PORT_COLUMN(8, 1),
    PORT_COLUMN(8, 2),   PORT_COLUMN(8, 3),   PORT_COLUMN(8, 4),   PORT_COLUMN(8, 5),
    PORT_COLUMN(8, 6),   PORT_COLUMN(8, 7),   PORT_COLUMN(8, 8),   PORT_COLUMN(8, 9),
};

// ---- Lookup ------------------------------------------------------------------------------------

int find_mib_object(const AsnObjectIdentifier* name) {
  const int count = MIB_ROW_COUNT;
  int lo = 0;
  int hi = count - 1;
  int mid = hi / 2;
  while (lo < count && hi >= 0 && lo <= hi) {
    const int order = oid_compare(name, &mib_table[mid].column);
    if (order == 0) return mid;
    if (order > 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
    mid = lo + (hi - lo) / 2;
  }
  if (mid > 0) mid--;
  return mid < count ? mid : count - 1;
}

int resolve_var_bind(RFC1157VarBind* binding, BYTE request_type) {
  if (binding == NULL) return SNMP_ERRORSTATUS_NOSUCHNAME;
  if (request_type != SNMP_PDU_GET && request_type != SNMP_PDU_GETNEXT) {
    return SNMP_ERRORSTATUS_NOSUCHNAME;
  }
  int found = request_type == SNMP_PDU_GET ? 1 : 0;
  int row = find_mib_object(&binding->name);
  if (row >= MIB_ROW_COUNT) return SNMP_ERRORSTATUS_NOSUCHNAME;
  for (;;) {
    const int status = mib_table[row].handler(binding, request_type, &found);
    if (status != -1) return status;
    // For GETNEXT no instance of this column follows the name: the next column's first does.
    if (row == MIB_ROW_COUNT - 1) return SNMP_ERRORSTATUS_NOSUCHNAME;
    row++;
  }
}
