// The shared registry and trace helpers; see registry_access.h.
#include "registry_access.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kKeyClass[] = "GenericClass";
const char kTraceFile[] = "c:\\testdll.txt";
constexpr size_t kPathSize = 200;
constexpr size_t kTraceSize = 200;
// wvsprintfA writes up to 1024 bytes whatever the buffer: format into room for that.
constexpr size_t kFormatSize = 1024;

}  // namespace

bool RegistryAccess::set_value(LPCSTR key_path, const BYTE* data, DWORD data_size, DWORD value_type,
                               LPCSTR value_name) {
  HKEY key;
  DWORD disposition;
  char key_class[sizeof kKeyClass];
  strcpy(key_class, kKeyClass);
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, key_class, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, NULL, &key, &disposition) != ERROR_SUCCESS) {
    return false;
  }
  LONG stored = RegSetValueExA(key, value_name, 0, value_type, data, data_size);
  close_key(key);
  return stored == ERROR_SUCCESS;
}

bool RegistryAccess::get_value(LPCSTR key_path, LPBYTE buffer, LPDWORD size, LPDWORD type,
                               LPCSTR value_name) {
  HKEY key;
  if (!open_key(key_path, KEY_QUERY_VALUE, &key)) return false;
  LONG result = RegQueryValueExA(key, value_name, NULL, type, buffer, size);
  close_key(key);
  return result == ERROR_SUCCESS;
}

bool RegistryAccess::get_subkey_value(LPCSTR parent_path, LPBYTE buffer, LPDWORD size, LPDWORD type,
                                      LPCSTR value_name, DWORD subkey_number) {
  char* path = static_cast<char*>(malloc(kPathSize));
  if (path == NULL) return false;
  bool result = false;
  HKEY parent;
  if (open_key(parent_path, KEY_READ, &parent)) {
    size_t length = strlen(parent_path);
    if (length < kPathSize) {
      memcpy(path, parent_path, length + 1);
      DWORD name_size = static_cast<DWORD>(kPathSize - length);
      FILETIME written;
      if (RegEnumKeyExA(parent, subkey_number, path + length, &name_size, NULL, NULL, NULL,
                        &written) == ERROR_SUCCESS) {
        result = get_value(path, buffer, size, type, value_name);
      }
    }
    close_key(parent);
  }
  free(path);
  return result;
}

bool RegistryAccess::remove_value(LPCSTR key_path, LPCSTR value_name) {
  HKEY key;
  if (!open_key(key_path, KEY_SET_VALUE, &key)) return false;
  LONG result = RegDeleteValueA(key, value_name);
  close_key(key);
  return result == ERROR_SUCCESS;
}

bool RegistryAccess::remove_key(LPCSTR parent_path, LPCSTR subkey_name) {
  HKEY parent;
  if (!open_key(parent_path, KEY_SET_VALUE, &parent)) return false;
  LONG result = RegDeleteKeyA(parent, subkey_name);
  close_key(parent);
  return result == ERROR_SUCCESS;
}

bool RegistryAccess::open_key(LPCSTR key_path, REGSAM access, PHKEY key) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, access, key) == ERROR_SUCCESS;
}

bool RegistryAccess::close_key(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }

void RegistryAccess::trace(LPCSTR format, ...) {
  char* text = static_cast<char*>(malloc(kFormatSize + 1));
  if (text == NULL) return;
  va_list args;
  va_start(args, format);
  wvsprintfA(text, format, args);
  va_end(args);
  text[kTraceSize - 1] = '\0';  // one trace text holds at most 199 characters
  FILE* file = fopen(kTraceFile, "at");
  if (file != NULL) {
    fputs(text, file);
    fclose(file);
  }
  free(text);
}
