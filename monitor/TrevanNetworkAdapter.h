/*
 * TrevanNetworkAdapter.h: a card of the TREVAN driver, with its failover role.
 *
 * The role is read from the card's driver parameters each time an object is built:
 *   1. "PrimaryIndex" readable: BACKUP, the index names the group's primary;
 *   2. else "BackupIndex" readable: PRIMARY, the index names its backup;
 *   3. else STANDALONE, index -1.
 * "PrimaryIndex" wins when both are there. Indexes are the partner's "AdapterIndex", never its
 * card number (getOtherAdapter finds the card behind one).
 *
 * The adjustment pass uses the role, the slot, the linkage operations and updateIPAddress; the
 * role-change and title operations (setAdapterState, writeTitleString, _updateBackupInfo,
 * getOtherAdapter) are for callers that change roles, which the pass never does.
 *
 * Threads: single-threaded, like NetworkAdapter (the Route copy is static as well).
 */
#ifndef PORTWARDEN_TREVAN_NETWORK_ADAPTER_H
#define PORTWARDEN_TREVAN_NETWORK_ADAPTER_H

#include <windows.h>

#include "NFC/NetworkAdapter.h"

#define ADAPTER_STATE_NONE 0 /* card not present */
#define ADAPTER_STATE_STANDALONE 1
#define ADAPTER_STATE_PRIMARY 2
#define ADAPTER_STATE_BACKUP 3

/* _parseBindRoute results besides a card number. */
#define ROUTE_END_OF_LIST (-1)
#define ROUTE_MALFORMED_ENTRY (-999)

/* The PCI slot whose ports come first in the driver's linkage. */
#define HEAD_BINDING_SLOT 4

class TrevanNetworkAdapter : public NetworkAdapter {
 public:
  explicit TrevanNetworkAdapter(int adptInst);
  ~TrevanNetworkAdapter();

  int getAdapterState() const { return _adapter_state; }
  int getAdapterIndex() const { return _primary_backup_index; }
  /* "SlotNumber" / "BusNumber" of the driver parameters (read as 4 bytes), or -1. */
  int getSlotNumber();
  int getBusNumber();
  /* The card whose "AdapterIndex" equals this card's partner index (card numbers 0 to 254 are
   * scanned), or null. The caller deletes it. */
  TrevanNetworkAdapter* getOtherAdapter();
  /* The base line, then the role line, on standard output. */
  void print() const;

  /* Changes the role as the role table says: from STANDALONE any role can be taken; leaving
   * PRIMARY or BACKUP first deletes the old index value, and nothing changes when that fails;
   * a request for the current role with the same index does nothing. */
  void setAdapterState(int stateFlag, int primaryBackupIndex);
  /* Rewrites "Title" cut at its first '-' and, with a partner, followed by "-->[<card>]". The
   * title is stored without a terminator. Nothing happens when the title cannot be read. */
  void writeTitleString(TrevanNetworkAdapter* primAdapter);
  /* Cuts titleStr at its first '-' and appends backupStr (when given). titleStr must have room
   * for strlen(backupStr) more characters. */
  void _updateBackupInfo(char* titleStr, const char* backupStr);

  /* Reads the Route entry at *_routeStrPtr and advances the position to the next entry.
   * Returns the card number, ROUTE_END_OF_LIST at the list terminator, or
   * ROUTE_MALFORMED_ENTRY for an entry without a closing quote or too short to hold the
   * prefix (the position is then left alone). Only the entry itself is searched, and at most
   * 9 digits are converted. The list must end with two zero bytes inside its buffer. */
  int _parseBindRoute(char** _routeStrPtr);
  /* Rebuilds Route, Bind and Export from the Route list: ports in slot 4 first, then the
   * others, each group in its former Route order. 1 rebuilt; 0 when Route cannot be read
   * (nothing changed) or at the first failure after the lists were cleared (the lists are
   * left as far as they were rebuilt). */
  int adjBindLinkage();
  /* Copies the first "IPAddress" of "...\Services\TREVAN<instance>\Parameters\Tcpip" into
   * this card's parameters as a one-string REG_MULTI_SZ, or removes the copy when the source
   * cannot be read. 0 only when writing the copy failed. */
  int updateIPAddress(int instance);

 protected:
  void _read_adapter_state();
  void _write_adapter_state(int state, int index);

  int _adapter_state;
  int _primary_backup_index;

  /* The copy of the Route list that adjBindLinkage walks, shared by all objects. */
  static char _routeStr[NA_MULTISZ_SIZE + NA_MULTISZ_GUARD];

 private:
  int _read_dword_parameter(LPCSTR name, DWORD* value);
};

/* The card object for card number i when the card is present and its "ProductName" is exactly
 * "TREVAN"; else null. The caller deletes the object. */
TrevanNetworkAdapter* isTrevanAdapter(int i);

#endif /* PORTWARDEN_TREVAN_NETWORK_ADAPTER_H */
