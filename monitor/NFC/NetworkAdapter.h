/*
 * NetworkAdapter.h: one network card as the registry describes it.
 *
 * A card is its entry "SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\<n>" with the
 * subkey "NetRules" (its bind rules), the parameters of its driver instance
 * "SYSTEM\CurrentControlSet\Services\<ServiceName>\Parameters", and the linkage of its driver
 * "SYSTEM\CurrentControlSet\Services\<ProductName>\Linkage". The linkage is named after the
 * product, not the card: all cards of one driver share one Route/Bind/Export list.
 *
 * An object opens all four keys (under HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS) and reads the three
 * names when it is built, and closes the keys when it is destroyed. If any key or name cannot be
 * had, the card is "not present": every guarded operation then returns 0 (or -1, or null, as
 * listed). Registry failures are reported as 0; the platform's status code is not kept.
 *
 * Results are 1 for success and 0 for failure unless an operation says otherwise.
 *
 * Threads: single-threaded only. The multi-string work buffer is static and shared by every
 * object, so two objects must never be used at the same time from two threads.
 */
#ifndef PORTWARDEN_NETWORK_ADAPTER_H
#define PORTWARDEN_NETWORK_ADAPTER_H

#include <windows.h>

#define NA_NAME_SIZE 64       /* names and values read from the card entry */
#define NA_KEY_PATH_SIZE 80   /* key paths built from the names */
#define NA_ENTRY_SIZE 40      /* one Route/Bind/Export entry */
#define NA_MULTISZ_SIZE 16320 /* a whole linkage list */
/* Two zero bytes kept after the largest list a buffer can hold, so that a list stored without
 * its terminators still ends inside the buffer. */
#define NA_MULTISZ_GUARD 2

class NetworkAdapter {
 public:
  explicit NetworkAdapter(int adptInst);
  ~NetworkAdapter();
  NetworkAdapter(const NetworkAdapter&) = delete;
  NetworkAdapter& operator=(const NetworkAdapter&) = delete;

  /* Value access on the card's driver parameters; 0 when the card is not present. The sizes and
   * types behave as in _get_value and _set_value. */
  int getParameterValue(LPCSTR paramName, LPDWORD paramType, LPBYTE paramValue,
                        LPDWORD paramValueSize);
  int setParameterValue(LPCSTR paramName, DWORD paramType, const BYTE* paramValue,
                        DWORD paramValueSize);
  int removeParameterValue(LPCSTR paramName);

  /* Reads a value of the driver's Linkage key; 0 when the card is not present. */
  int getProdLinkageValue(LPCSTR valueName, LPDWORD valueType, LPBYTE valueData, LPDWORD valueSize);

  /* "Title" of the card entry. getTitle reads at most titleBufsize bytes (a REG_SZ gets its
   * terminator, so the buffer must hold one byte more than a title stored without one);
   * setTitle stores exactly titleBufsize bytes as REG_SZ. 0 when not present. */
  int getTitle(LPSTR titleBuffer, DWORD titleBufsize);
  int setTitle(LPCSTR titleBuffer, DWORD titleBufsize);

  /* Write or delete the three bind rules in "NetRules" ("bindform", "class", "type"). Failures
   * of single writes are ignored; nothing happens when the card is not present. */
  void enableBindings();
  void disableBindings();

  /* The linkage operations do not check presence: callers use them on present cards only.
   * isBindRulesPresent: 1 when the card's Route entry ("\"<ServiceName>\"") is in "Route",
   * compared exactly. writeBindRules appends the card's entries to "Route", "Bind" and
   * "Export", stopping at the first failure. clearBindRules sets "Bind", "Export" and "Route"
   * to an empty list (one zero byte), stopping at the first failure. */
  int isBindRulesPresent();
  int writeBindRules();
  int clearBindRules();

  int isAdapterPresent() const { return _adapter_present; }
  /* The card number, or -1 when not present. */
  int getAdapterInstance() const;
  /* The product name, or null when not present. */
  const char* getProductName() const;
  /* One diagnostic line on standard output (not the trace). */
  void print() const;

 protected:
  int _alloc_resources();
  void _free_resources();

  /* RegQueryValueExA into paramValue; *paramValueSize is the buffer size going in and the number
   * of bytes returned coming out. Any stored type is accepted; *paramType (when given) receives
   * it. A REG_SZ gets a terminator right after the returned bytes, so a REG_SZ that fills the
   * whole buffer without one of its own does not fit and fails. */
  int _get_value(HKEY handle, LPCSTR paramName, LPDWORD paramType, LPBYTE paramValue,
                 LPDWORD paramValueSize);
  /* RegSetValueExA with exactly this type and length. */
  int _set_value(HKEY handle, LPCSTR paramName, DWORD paramType, const BYTE* paramValue,
                 DWORD paramValueSize);
  int _remove_value(HKEY handle, LPCSTR paramName);

  /* Appends valueBuf as one more entry of the multi-string keyValue in the Linkage key. A well
   * formed list keeps every byte and gets the entry before its final terminator; an empty value
   * (zero bytes) counts as an empty list; a list missing its final terminator, or its last
   * entry's, gets them first. 0, with the value unchanged, when the value cannot be read or the
   * result would not fit in NA_MULTISZ_SIZE bytes. */
  int _writeMultiSzValues(LPCSTR keyValue, LPCSTR valueBuf);

  char _product_name[NA_NAME_SIZE];
  char _service_name[NA_NAME_SIZE];
  int _adapter_instance;
  char _manufacturer[NA_NAME_SIZE];
  HKEY _handle_params;
  HKEY _handle_netrules;
  HKEY _handle_network_instance;
  HKEY _handle_linkage;
  int _adapter_present;

  /* Work buffer for reading and appending linkage lists, shared by all objects. */
  static char na_multisz_buffer[NA_MULTISZ_SIZE + NA_MULTISZ_GUARD];

 private:
  int _open_resources();
  int _read_name(LPCSTR valueName, char* name);
  /* Reads a linkage list into na_multisz_buffer; *size gets its length in bytes. */
  int _read_linkage_list(LPCSTR listName, DWORD* size);
};

/* Where the next entry of a multi-string list of `size` bytes in `list` starts, after making
 * sure the list's last entry is terminated (which may write list[size]: the buffer needs one
 * spare byte). Exposed for the tests of the byte layout. */
DWORD MultiSzAppendOffset(char* list, DWORD size);

#endif /* PORTWARDEN_NETWORK_ADAPTER_H */
