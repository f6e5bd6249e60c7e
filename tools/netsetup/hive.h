// hive.h: the few registry operations pairway-netsetup needs, over the platform's registry
// calls. Keys are under HKEY_LOCAL_MACHINE; every function returns the registry's status
// (ERROR_SUCCESS or the failing call's code).
#ifndef PAIRWAY_NETSETUP_HIVE_H
#define PAIRWAY_NETSETUP_HIVE_H

#include <windows.h>

#include <string>
#include <vector>

namespace netsetup {

// An open key, closed when the object goes.
class Key {
 public:
  Key() = default;
  ~Key();
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  // Opens an existing key (ERROR_FILE_NOT_FOUND when there is none) or creates the path.
  [[nodiscard]] LONG Open(const std::string& path);
  [[nodiscard]] LONG Create(const std::string& path);
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Values. Texts are stored with their terminator; a multi-string as its entries, each with its
// terminator, and the list terminator (an empty list is one zero byte).
[[nodiscard]] LONG SetString(HKEY key, const char* name, const std::string& text,
                             DWORD type = REG_SZ);
[[nodiscard]] LONG SetDword(HKEY key, const char* name, DWORD value);
[[nodiscard]] LONG SetMultiSz(HKEY key, const char* name, const std::vector<std::string>& entries);
[[nodiscard]] LONG GetDword(HKEY key, const char* name, DWORD* value);
[[nodiscard]] LONG GetString(HKEY key, const char* name, std::string* text);
// Entries up to the first empty string (or the end of the data).
[[nodiscard]] LONG GetMultiSz(HKEY key, const char* name, std::vector<std::string>* entries);
bool HasValue(HKEY key, const char* name);

// Deletes the key at `path` with all its subkeys; ERROR_SUCCESS when it does not exist.
[[nodiscard]] LONG DeleteTree(const std::string& path);

}  // namespace netsetup

#endif  // PAIRWAY_NETSETUP_HIVE_H
