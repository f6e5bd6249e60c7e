// registry_access.h: the registry and trace helpers that the SNMP agent and the performance
// counter setup share.
//
// RegistryAccess has no state: every operation opens what it needs under HKEY_LOCAL_MACHINE,
// does one thing and closes again, so calls may run on any thread at once. Results are true for
// success; callers learn nothing more about a failure.
#ifndef PAIRWAY_COMMON_REGISTRY_ACCESS_H
#define PAIRWAY_COMMON_REGISTRY_ACCESS_H

#include <windows.h>

class RegistryAccess {
 public:
  // Creates the key (and every missing key on its path, class "GenericClass") and stores the
  // value exactly as given. False when the key could not be created or opened, or the value could
  // not be stored: a caller told "done" for a value that is not there would act on a registration
  // that does not exist.
  bool set_value(LPCSTR key_path, const BYTE* data, DWORD data_size, DWORD value_type,
                 LPCSTR value_name);
  // Reads a value; *size is the buffer's size in and the value's size out. False when the key or
  // value is missing or the buffer is too small.
  bool get_value(LPCSTR key_path, LPBYTE buffer, LPDWORD size, LPDWORD type, LPCSTR value_name);
  // Reads a value of the parent's n-th subkey (in the registry's enumeration order). The parent
  // path must end with '\' so that parent + subkey name is the subkey's path.
  bool get_subkey_value(LPCSTR parent_path, LPBYTE buffer, LPDWORD size, LPDWORD type,
                        LPCSTR value_name, DWORD subkey_number);
  bool remove_value(LPCSTR key_path, LPCSTR value_name);
  // Deletes a subkey without subkeys of its own.
  bool remove_key(LPCSTR parent_path, LPCSTR subkey_name);
  bool open_key(LPCSTR key_path, REGSAM access, PHKEY key);
  bool close_key(HKEY key);
  // Appends one formatted text (at most 199 characters) to "c:\testdll.txt". Nothing in either
  // library calls it; it is there for diagnostics.
  void trace(LPCSTR format, ...);
};

#endif  // PAIRWAY_COMMON_REGISTRY_ACCESS_H
