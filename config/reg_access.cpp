// The registry calls of the configuration library, with its 64-byte read rule and its error boxes.
#include "reg_access.h"

#include <stdio.h>
#include <string.h>

#include "groups_config_app.h"

namespace {

// The registry calls report their status as a result, not through the thread's last error, so
// the status is put there before the error text is looked up; otherwise the box would show
// whatever an earlier call left behind.
void ShowRegistryError(LONG status) {
  SetLastError(static_cast<DWORD>(status));
  ShowLastError();
}

// Reads a value into the library's 64-byte buffer; *size is the number of bytes stored.
bool ReadValueBytes(HKEY key, const char* name, BYTE (&buffer)[kRegReadBufferSize], DWORD* size) {
  DWORD type = 0;
  *size = kRegReadBufferSize;
  return RegQueryValueExA(key, name, nullptr, &type, buffer, size) == ERROR_SUCCESS;
}

}  // namespace

int OpenRegKey(const char* path, HKEY* key) {
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
    *key = nullptr;
    return 0;
  }
  return 1;
}

int CloseRegKey(HKEY key) {
  LONG status = RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    ShowRegistryError(status);
    return 0;
  }
  return 1;
}

int ReadRegText(HKEY key, const char* name, std::string* text) {
  BYTE buffer[kRegReadBufferSize] = {};
  DWORD size = 0;
  if (!ReadValueBytes(key, name, buffer, &size)) return 0;
  const void* zero = memchr(buffer, 0, size);
  if (zero == nullptr && size >= kRegReadBufferSize) return 0;  // no room left for the end
  size_t length = zero != nullptr ? static_cast<const BYTE*>(zero) - buffer : size;
  text->assign(reinterpret_cast<const char*>(buffer), length);
  return 1;
}

int ReadRegNumber(HKEY key, const char* name, DWORD* number) {
  BYTE buffer[kRegReadBufferSize] = {};
  DWORD size = 0;
  if (!ReadValueBytes(key, name, buffer, &size)) return 0;
  *number = static_cast<DWORD>(buffer[0]) | static_cast<DWORD>(buffer[1]) << 8 |
            static_cast<DWORD>(buffer[2]) << 16 | static_cast<DWORD>(buffer[3]) << 24;
  return 1;
}

int WriteRegNumber(HKEY key, const char* name, DWORD type, DWORD number) {
  BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                  static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
  LONG status = RegSetValueExA(key, name, 0, type, data, sizeof data);
  if (status != ERROR_SUCCESS) {
    ShowRegistryError(status);
    return 0;
  }
  return 1;
}

int WriteRegText(HKEY key, const char* name, DWORD type, const char* text) {
  std::string data = text != nullptr ? text : "";
  LONG status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>(data.size() + 1));
  if (status != ERROR_SUCCESS) {
    ShowRegistryError(status);
    return 0;
  }
  return 1;
}

int DeleteRegValue(HKEY key, const char* name) {
  return RegDeleteValueA(key, name) == ERROR_SUCCESS ? 1 : 0;
}

void ShowLastError() {
  DWORD error = GetLastError();
  LPSTR text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (length != 0 && text != nullptr) {
    theApp.DoMessageBox(text, MB_OK | MB_ICONEXCLAMATION, 0);
  } else {
    // A code the system has no text for still has to reach the person: show its number.
    char number[32];
    snprintf(number, sizeof number, "Error %lu", static_cast<unsigned long>(error));
    theApp.DoMessageBox(number, MB_OK | MB_ICONEXCLAMATION, 0);
  }
  if (text != nullptr) LocalFree(text);
}
