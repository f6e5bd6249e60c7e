// Small helpers shared by the registry tests.
#ifndef PAIRWAY_REGISTRY_TEST_UTIL_H
#define PAIRWAY_REGISTRY_TEST_UTIL_H

#include <windows.h>

#include <cstring>
#include <string>

namespace pairway::registry::testing {

inline HKEY CreateKey(const char* path, REGSAM access = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  LONG error =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, access, nullptr, &key, nullptr);
  return error == ERROR_SUCCESS ? key : nullptr;
}

inline LONG SetText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

inline LONG SetNumber(HKEY key, const char* name, DWORD number) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                        sizeof number);
}

// The value as stored, or "<error N>".
inline std::string Read(HKEY key, const char* name) {
  char buffer[4096];
  DWORD size = sizeof buffer;
  LONG error =
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
  if (error != ERROR_SUCCESS) return "<error " + std::to_string(error) + ">";
  return std::string(buffer, size);
}

}  // namespace pairway::registry::testing

#endif  // PAIRWAY_REGISTRY_TEST_UTIL_H
