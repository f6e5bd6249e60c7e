// The column values; see attributes.h.
//
// Sections: the driver's adapter record; driver queries turned into values; the multicast table;
// the columns, group by group.
#include "attributes.h"

#include <ntddndis.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver_access.h"
#include "mib_table.h"
#include "probes.h"

namespace {

// ---- The adapter record ----------------------------------------------------------------------

// The driver's own object: an 88-byte record about the adapter. Wire layout, 32-bit fields
// little-endian:
//   offset  0  pair value 1        (group 3, k = 1)
//           4  pair value 2        (group 3, k = 2)
//           8  reserved
//          12  mode                (1 and 2 are the modes the driver names)
//          16  product text, 60 bytes, zero-terminated; empty: the driver gave no record
//          76  value A   80  value B   84  value C
constexpr DWORD kOidAdapterInformation = 0xFF010101;
constexpr DWORD kAdapterRecordSize = 88;
constexpr DWORD kAdapterTextOffset = 16;
constexpr DWORD kAdapterTextSize = 60;

struct AdapterRecord {
  DWORD pair[2];
  DWORD mode;
  char text[kAdapterTextSize + 1];  // a text that fills its 60 bytes still ends here
  DWORD value_a;
  DWORD value_b;
  DWORD value_c;
};

DWORD le32(const BYTE* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

// The port's record; all zero with an empty text when the driver does not answer.
void read_adapter_record(UINT n, AdapterRecord* record) {
  BYTE reply[kAdapterRecordSize];
  memset(reply, 0, sizeof reply);
  query_port_oid(kOidAdapterInformation, static_cast<int>(n) - 1, reply, sizeof reply);
  record->pair[0] = le32(reply);
  record->pair[1] = le32(reply + 4);
  record->mode = le32(reply + 12);
  memcpy(record->text, reply + kAdapterTextOffset, kAdapterTextSize);
  record->text[kAdapterTextSize] = '\0';
  record->value_a = le32(reply + 76);
  record->value_b = le32(reply + 80);
  record->value_c = le32(reply + 84);
}

bool has_record(const AdapterRecord& record) { return record.text[0] != '\0'; }

// ---- Driver queries as values ----------------------------------------------------------------

int single_counter(RFC1157VarBind* binding, UINT n, DWORD oid) {
  BYTE reply[4];
  memset(reply, 0, sizeof reply);
  query_port_oid(oid, static_cast<int>(n) - 1, reply, sizeof reply);
  return set_counter(binding, le32(reply));
}

// The statistics are 64-bit in the driver; the sum is reported as a 32-bit Counter, so it wraps
// (is taken modulo 2^32) as every SNMPv1 counter does. A driver that answers with 4 bytes fills
// the low half; a query that fails adds 0.
int summed_counter(RFC1157VarBind* binding, UINT n, const DWORD* oids, int count) {
  ULONGLONG sum = 0;
  for (int i = 0; i < count; i++) {
    BYTE reply[8];
    memset(reply, 0, sizeof reply);
    query_port_oid(oids[i], static_cast<int>(n) - 1, reply, sizeof reply);
    sum += le32(reply) | static_cast<ULONGLONG>(le32(reply + 4)) << 32;
  }
  return set_counter(binding, static_cast<AsnCounter32>(sum));
}

void format_address(const BYTE* address, char* text, size_t text_size) {
  snprintf(text, text_size, "%02X%02X%02X%02X%02X%02X", address[0], address[1], address[2],
           address[3], address[4], address[5]);
}

// Twelve upper-case hexadecimal digits; twelve zeros when the driver does not answer.
int address_text(RFC1157VarBind* binding, UINT n, DWORD oid) {
  BYTE reply[256];
  memset(reply, 0, sizeof reply);
  query_port_oid(oid, static_cast<int>(n) - 1, reply, sizeof reply);
  char text[2 * ETH_LENGTH_OF_ADDRESS + 1];
  format_address(reply, text, sizeof text);
  return set_string(binding, text);
}

int version_text(RFC1157VarBind* binding) {
  char text[VERSION_TEXT_SIZE];
  read_version_text(text);
  return set_string(binding, text);
}

int product_text(RFC1157VarBind* binding, UINT n) {
  AdapterRecord record;
  read_adapter_record(n, &record);
  return set_string(binding, record.text);
}

// The code for the adapter's mode: `mode1` and `mode2` for the two modes the driver names,
// `other` for any other and when there is no record (the driver's kind is then not known).
int mode_code(RFC1157VarBind* binding, UINT n, AsnInteger32 other, AsnInteger32 mode1,
              AsnInteger32 mode2) {
  AdapterRecord record;
  read_adapter_record(n, &record);
  AsnInteger32 code = other;
  if (has_record(record) && record.mode == 1) code = mode1;
  if (has_record(record) && record.mode == 2) code = mode2;
  return set_integer(binding, code);
}

// ---- The multicast table ---------------------------------------------------------------------

// A driver claiming a huge list size must not make every request allocate gigabytes: the table
// never holds more rows than this (far beyond 64 ports of 32 addresses).
constexpr ULONGLONG kMaxMulticastRows = 65536;

bool is_zero_address(const BYTE* address) {
  for (int i = 0; i < ETH_LENGTH_OF_ADDRESS; i++) {
    if (address[i] != 0) return false;
  }
  return true;
}

ULONGLONG total_list_space() {
  ULONGLONG space = 0;
  for (int i = 0; i < port_count(); i++) {
    BYTE reply[4];
    memset(reply, 0, sizeof reply);
    query_port_oid(OID_802_3_MAXIMUM_LIST_SIZE, i, reply, sizeof reply);
    space += le32(reply);
  }
  return space < kMaxMulticastRows ? space : kMaxMulticastRows;
}

}  // namespace

void build_multicast_table(MulticastTable* table) {
  memset(table, 0, sizeof *table);
  const ULONGLONG space = total_list_space();
  if (space == 0) return;
  const DWORD buffer_size = static_cast<DWORD>(space * ETH_LENGTH_OF_ADDRESS);
  table->addresses = static_cast<BYTE*>(calloc(1, buffer_size));
  table->owners = static_cast<UINT*>(calloc(space, sizeof(UINT)));
  if (table->addresses == NULL || table->owners == NULL) {
    release_multicast_table(table);
    return;
  }
  DWORD used = 0;
  for (int i = 0; i < port_count() && used < buffer_size; i++) {
    DWORD written =
        query_port_oid(OID_802_3_MULTICAST_LIST, i, table->addresses + used, buffer_size - used);
    const DWORD reply_end = used + written;
    // An all-zero entry ends the port's list.
    while (used + ETH_LENGTH_OF_ADDRESS <= buffer_size &&
           !is_zero_address(table->addresses + used)) {
      table->owners[table->rows++] = static_cast<UINT>(i) + 1;
      used += ETH_LENGTH_OF_ADDRESS;
    }
    // What the port listed after its ending entry must not pass for the next port's addresses.
    if (reply_end > used) memset(table->addresses + used, 0, reply_end - used);
  }
}

void release_multicast_table(MulticastTable* table) {
  free(table->addresses);
  free(table->owners);
  memset(table, 0, sizeof *table);
}

// ---- Group 1 ---------------------------------------------------------------------------------

int column_1_1_1(RFC1157VarBind* binding, UINT, UINT) {
  return set_string(binding, "Corvane, Inc.");
}
int column_1_1_2(RFC1157VarBind* binding, UINT n, UINT) { return product_text(binding, n); }
int column_1_1_3(RFC1157VarBind* binding, UINT, UINT) { return version_text(binding); }
int column_1_1_4(RFC1157VarBind* binding, UINT, UINT) { return set_string(binding, ""); }
int column_1_1_5(RFC1157VarBind* binding, UINT, UINT) { return set_string(binding, ""); }
int column_1_1_6(RFC1157VarBind* binding, UINT n, UINT) { return mode_code(binding, n, 3, 8, 7); }
int column_1_1_7(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }

// ---- Group 2 ---------------------------------------------------------------------------------

int column_2_1_1(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }
int column_2_1_2(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 2); }

// ---- Group 3 ---------------------------------------------------------------------------------

int column_3_1_1(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }
int column_3_1_2(RFC1157VarBind* binding, UINT, UINT k) { return set_integer(binding, k); }
int column_3_1_3(RFC1157VarBind* binding, UINT, UINT k) {
  return set_integer(binding, k == 1 ? 5 : 4);
}
int column_3_1_4(RFC1157VarBind* binding, UINT n, UINT k) {
  AdapterRecord record;
  read_adapter_record(n, &record);
  return set_integer(binding, static_cast<AsnInteger32>(record.pair[k == 1 ? 0 : 1]));
}
int column_3_1_5(RFC1157VarBind* binding, UINT, UINT k) {
  return set_integer(binding, k == 1 ? 1 : 128);
}
int column_3_1_6(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 0); }
int column_3_1_7(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 0); }

// ---- Group 4 ---------------------------------------------------------------------------------

namespace {

const DWORD kBytesSent[] = {OID_GEN_DIRECTED_BYTES_XMIT, OID_GEN_MULTICAST_BYTES_XMIT,
                            OID_GEN_BROADCAST_BYTES_XMIT};
const DWORD kBytesReceived[] = {OID_GEN_DIRECTED_BYTES_RCV, OID_GEN_MULTICAST_BYTES_RCV,
                                OID_GEN_BROADCAST_BYTES_RCV};
const DWORD kHostErrors[] = {OID_802_3_XMIT_UNDERRUN, OID_802_3_RCV_OVERRUN, OID_GEN_RCV_NO_BUFFER};
const DWORD kWireErrors[] = {OID_802_3_XMIT_MAX_COLLISIONS, OID_802_3_XMIT_HEARTBEAT_FAILURE,
                             OID_802_3_XMIT_TIMES_CRS_LOST, OID_802_3_XMIT_LATE_COLLISIONS,
                             OID_GEN_RCV_CRC_ERROR,         OID_802_3_RCV_ERROR_ALIGNMENT};
const DWORD kAllErrors[] = {OID_GEN_XMIT_ERROR,
                            OID_GEN_RCV_ERROR,
                            OID_802_3_XMIT_UNDERRUN,
                            OID_802_3_RCV_OVERRUN,
                            OID_GEN_RCV_NO_BUFFER,
                            OID_802_3_XMIT_MAX_COLLISIONS,
                            OID_802_3_XMIT_HEARTBEAT_FAILURE,
                            OID_802_3_XMIT_TIMES_CRS_LOST,
                            OID_802_3_XMIT_LATE_COLLISIONS,
                            OID_GEN_RCV_CRC_ERROR,
                            OID_802_3_RCV_ERROR_ALIGNMENT};

template <size_t kCount>
int summed(RFC1157VarBind* binding, UINT n, const DWORD (&oids)[kCount]) {
  return summed_counter(binding, n, oids, static_cast<int>(kCount));
}

}  // namespace

int column_4_1_1(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }
int column_4_1_2(RFC1157VarBind* binding, UINT n, UINT) {
  return address_text(binding, n, OID_802_3_PERMANENT_ADDRESS);
}
int column_4_1_3(RFC1157VarBind* binding, UINT n, UINT) {
  return address_text(binding, n, OID_802_3_CURRENT_ADDRESS);
}
int column_4_1_4(RFC1157VarBind* binding, UINT n, UINT) {
  AdapterRecord record;
  read_adapter_record(n, &record);
  return set_integer(binding, has_record(record) ? static_cast<AsnInteger32>(record.value_a) : 1);
}
int column_4_1_5(RFC1157VarBind* binding, UINT n, UINT) {
  AdapterRecord record;
  read_adapter_record(n, &record);
  return set_integer(binding, has_record(record) ? static_cast<AsnInteger32>(record.value_b) : 0);
}
int column_4_1_6(RFC1157VarBind* binding, UINT n, UINT) {
  return single_counter(binding, n, OID_GEN_XMIT_OK);
}
int column_4_1_7(RFC1157VarBind* binding, UINT n, UINT) { return summed(binding, n, kBytesSent); }
int column_4_1_8(RFC1157VarBind* binding, UINT n, UINT) {
  return single_counter(binding, n, OID_GEN_RCV_OK);
}
int column_4_1_9(RFC1157VarBind* binding, UINT n, UINT) {
  return summed(binding, n, kBytesReceived);
}
int column_4_1_10(RFC1157VarBind* binding, UINT n, UINT) {
  return single_counter(binding, n, OID_GEN_XMIT_ERROR);
}
int column_4_1_11(RFC1157VarBind* binding, UINT n, UINT) {
  return single_counter(binding, n, OID_GEN_RCV_ERROR);
}
int column_4_1_12(RFC1157VarBind* binding, UINT n, UINT) { return summed(binding, n, kHostErrors); }
int column_4_1_13(RFC1157VarBind* binding, UINT n, UINT) { return summed(binding, n, kWireErrors); }

// ---- Group 5 ---------------------------------------------------------------------------------

int column_5_1_1(RFC1157VarBind* binding, const MulticastTable*, UINT m) {
  return set_integer(binding, m);
}
int column_5_1_2(RFC1157VarBind* binding, const MulticastTable* table, UINT m) {
  return set_integer(binding, table->owners[m - 1]);
}
int column_5_1_3(RFC1157VarBind* binding, const MulticastTable*, UINT) {
  return set_integer(binding, 1);
}
int column_5_1_4(RFC1157VarBind* binding, const MulticastTable* table, UINT m) {
  char text[2 * ETH_LENGTH_OF_ADDRESS + 1];
  format_address(table->addresses + ETH_LENGTH_OF_ADDRESS * (m - 1), text, sizeof text);
  return set_string(binding, text);
}

// ---- Group 6 ---------------------------------------------------------------------------------

int column_6_1_1(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }
int column_6_1_2(RFC1157VarBind* binding, UINT n, UINT) { return product_text(binding, n); }
int column_6_1_3(RFC1157VarBind* binding, UINT, UINT) { return version_text(binding); }
int column_6_1_4(RFC1157VarBind* binding, UINT n, UINT) {
  char name[256];
  memset(name, 0, sizeof name);
  read_driver_name(name, sizeof name, static_cast<int>(n) - 1);
  return set_string(binding, name);
}
int column_6_1_5(RFC1157VarBind* binding, UINT n, UINT) {
  char work[256];
  memset(work, 0, sizeof work);
  DWORD size = read_driver_size(work, sizeof work, static_cast<int>(n) - 1);
  return set_integer(binding, static_cast<AsnInteger32>(size));
}
int column_6_1_6(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 4); }
// The driver answers its version in two bytes, minor first.
int column_6_1_7(RFC1157VarBind* binding, UINT n, UINT) {
  BYTE reply[20];
  memset(reply, 0, sizeof reply);
  query_port_oid(OID_GEN_DRIVER_VERSION, static_cast<int>(n) - 1, reply, sizeof reply);
  char text[16];
  snprintf(text, sizeof text, "%d.%d", static_cast<signed char>(reply[1]),
           static_cast<signed char>(reply[0]));
  return set_string(binding, text);
}
int column_6_1_8(RFC1157VarBind* binding, UINT, UINT) {
  return set_string(binding, "Microsoft NDIS LAN Miniport Interface");
}

// ---- Group 7 ---------------------------------------------------------------------------------

int column_7_1_1(RFC1157VarBind* binding, UINT n, UINT) {
  AdapterRecord record;
  read_adapter_record(n, &record);
  return set_integer(binding, has_record(record) ? static_cast<AsnInteger32>(record.value_c) : 1);
}
int column_7_1_2(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 2); }
int column_7_1_3(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 0); }
int column_7_1_4(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 5); }
int column_7_1_5(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 5); }
int column_7_1_6(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }

// ---- Group 8 ---------------------------------------------------------------------------------

int column_8_1_1(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }
int column_8_1_2(RFC1157VarBind* binding, UINT n, UINT) { return set_integer(binding, n); }
int column_8_1_3(RFC1157VarBind* binding, UINT n, UINT) { return mode_code(binding, n, 2, 3, 4); }
int column_8_1_4(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 2); }
int column_8_1_5(RFC1157VarBind* binding, UINT n, UINT) { return mode_code(binding, n, 2, 3, 8); }
int column_8_1_6(RFC1157VarBind* binding, UINT, UINT) { return set_integer(binding, 5); }
int column_8_1_7(RFC1157VarBind* binding, UINT, UINT) { return set_counter(binding, 0); }
int column_8_1_8(RFC1157VarBind* binding, UINT n, UINT) { return summed(binding, n, kAllErrors); }
int column_8_1_9(RFC1157VarBind* binding, UINT, UINT) { return set_counter(binding, 0); }
