// attributes.h: the value of every column of the MIB (mib_table.h), emulating the LAN adapter
// groups of the desktop management MIF for each port.
//
// A builder computes one instance's value afresh, from the driver (driver_access.h), the
// registry and file system (probes.h) or a constant, and stores it in the binding. It runs only
// after the lookup settled the instance: n is the port's instance number (the port at position
// n - 1), k group 3's second index, m a multicast row. It returns the status of storing the
// value: 0, or 5 when a string cannot be allocated. A driver that does not answer never makes an
// SNMP error: counters read 0, addresses twelve zeros, texts empty, and the columns that depend
// on the driver's adapter record take their defaults.
#ifndef MIFSNMP_ATTRIBUTES_H
#define MIFSNMP_ATTRIBUTES_H

#include <snmp.h>
#include <windows.h>

typedef int (*PortValueBuilder)(RFC1157VarBind* binding, UINT n, UINT k);

// The multicast addresses of all ports, in port order and within a port in the driver's order.
// Row m (1 .. rows) is addresses[6 * (m - 1) ..] and belongs to the port with instance number
// owners[m - 1].
struct MulticastTable {
  BYTE* addresses;
  UINT* owners;
  UINT rows;
};

// Asks every port for its list; rows is 0 when the ports report no list space, no port has an
// address, or memory runs out. Release the table with release_multicast_table.
void build_multicast_table(MulticastTable* table);
void release_multicast_table(MulticastTable* table);

typedef int (*MulticastValueBuilder)(RFC1157VarBind* binding, const MulticastTable* table, UINT m);

// Group 1: identification.
int column_1_1_1(RFC1157VarBind* binding, UINT n, UINT k);  // the maker's name
int column_1_1_2(RFC1157VarBind* binding, UINT n, UINT k);  // the adapter record's product text
int column_1_1_3(RFC1157VarBind* binding, UINT n, UINT k);  // software version
int column_1_1_4(RFC1157VarBind* binding, UINT n, UINT k);  // empty
int column_1_1_5(RFC1157VarBind* binding, UINT n, UINT k);  // empty
int column_1_1_6(RFC1157VarBind* binding, UINT n, UINT k);  // from the adapter's mode
int column_1_1_7(RFC1157VarBind* binding, UINT n, UINT k);  // n
// Group 2.
int column_2_1_1(RFC1157VarBind* binding, UINT n, UINT k);  // n
int column_2_1_2(RFC1157VarBind* binding, UINT n, UINT k);  // 2
// Group 3: two rows per port.
int column_3_1_1(RFC1157VarBind* binding, UINT n, UINT k);  // n
int column_3_1_2(RFC1157VarBind* binding, UINT n, UINT k);  // k
int column_3_1_3(RFC1157VarBind* binding, UINT n, UINT k);  // 5, 4
int column_3_1_4(RFC1157VarBind* binding, UINT n, UINT k);  // the adapter record's pair value k
int column_3_1_5(RFC1157VarBind* binding, UINT n, UINT k);  // 1, 128
int column_3_1_6(RFC1157VarBind* binding, UINT n, UINT k);  // 0
int column_3_1_7(RFC1157VarBind* binding, UINT n, UINT k);  // 0
// Group 4: addresses and traffic.
int column_4_1_1(RFC1157VarBind* binding, UINT n, UINT k);   // n
int column_4_1_2(RFC1157VarBind* binding, UINT n, UINT k);   // permanent address
int column_4_1_3(RFC1157VarBind* binding, UINT n, UINT k);   // current address
int column_4_1_4(RFC1157VarBind* binding, UINT n, UINT k);   // adapter record value A
int column_4_1_5(RFC1157VarBind* binding, UINT n, UINT k);   // adapter record value B
int column_4_1_6(RFC1157VarBind* binding, UINT n, UINT k);   // frames sent
int column_4_1_7(RFC1157VarBind* binding, UINT n, UINT k);   // bytes sent
int column_4_1_8(RFC1157VarBind* binding, UINT n, UINT k);   // frames received
int column_4_1_9(RFC1157VarBind* binding, UINT n, UINT k);   // bytes received
int column_4_1_10(RFC1157VarBind* binding, UINT n, UINT k);  // transmit errors
int column_4_1_11(RFC1157VarBind* binding, UINT n, UINT k);  // receive errors
int column_4_1_12(RFC1157VarBind* binding, UINT n, UINT k);  // host errors
int column_4_1_13(RFC1157VarBind* binding, UINT n, UINT k);  // wire errors
// Group 5: multicast addresses.
int column_5_1_1(RFC1157VarBind* binding, const MulticastTable* table, UINT m);  // m
int column_5_1_2(RFC1157VarBind* binding, const MulticastTable* table, UINT m);  // owner
int column_5_1_3(RFC1157VarBind* binding, const MulticastTable* table, UINT m);  // 1
int column_5_1_4(RFC1157VarBind* binding, const MulticastTable* table, UINT m);  // address
// Group 6: the driver.
int column_6_1_1(RFC1157VarBind* binding, UINT n, UINT k);  // n
int column_6_1_2(RFC1157VarBind* binding, UINT n, UINT k);  // the adapter record's product text
int column_6_1_3(RFC1157VarBind* binding, UINT n, UINT k);  // software version
int column_6_1_4(RFC1157VarBind* binding, UINT n, UINT k);  // driver name
int column_6_1_5(RFC1157VarBind* binding, UINT n, UINT k);  // driver file size
int column_6_1_6(RFC1157VarBind* binding, UINT n, UINT k);  // 4
int column_6_1_7(RFC1157VarBind* binding, UINT n, UINT k);  // driver version "major.minor"
int column_6_1_8(RFC1157VarBind* binding, UINT n, UINT k);  // the driver interface's name
// Group 7.
int column_7_1_1(RFC1157VarBind* binding, UINT n, UINT k);  // adapter record value C
int column_7_1_2(RFC1157VarBind* binding, UINT n, UINT k);  // 2
int column_7_1_3(RFC1157VarBind* binding, UINT n, UINT k);  // 0
int column_7_1_4(RFC1157VarBind* binding, UINT n, UINT k);  // 5
int column_7_1_5(RFC1157VarBind* binding, UINT n, UINT k);  // 5
int column_7_1_6(RFC1157VarBind* binding, UINT n, UINT k);  // n
// Group 8: state and error counts.
int column_8_1_1(RFC1157VarBind* binding, UINT n, UINT k);  // n
int column_8_1_2(RFC1157VarBind* binding, UINT n, UINT k);  // n
int column_8_1_3(RFC1157VarBind* binding, UINT n, UINT k);  // from the adapter's mode
int column_8_1_4(RFC1157VarBind* binding, UINT n, UINT k);  // 2
int column_8_1_5(RFC1157VarBind* binding, UINT n, UINT k);  // from the adapter's mode
int column_8_1_6(RFC1157VarBind* binding, UINT n, UINT k);  // 5
int column_8_1_7(RFC1157VarBind* binding, UINT n, UINT k);  // 0
int column_8_1_8(RFC1157VarBind* binding, UINT n, UINT k);  // every error counter summed
int column_8_1_9(RFC1157VarBind* binding, UINT n, UINT k);  // 0

#endif  // MIFSNMP_ATTRIBUTES_H
