// Registry and file probes; see probes.h.
//
// Every text read from the registry is offered one byte less than its buffer holds, into a
// buffer that is zero-filled first: the registry stores a text exactly as it was written, so a
// value without its terminator that fills the buffer would otherwise run into whatever follows.
#include "probes.h"

#include <stdio.h>
#include <string.h>

#include "driver_access.h"
#include "registry_access.h"
#include "registry_layout.h"

namespace {

RegistryAccess registry;  // stateless: one for the life of the library

// "ProductName" is read into this many bytes; a longer name is no driver card.
constexpr DWORD kProductNameSize = 20;
constexpr DWORD kPathSize = 512;
const char kSystemRootVariable[] = "SystemRoot";
const char kWin95SystemFolder[] = "\\system\\";
const char kWin95VersionText[] = "2.3";

// Reads a text value into the zero-filled buffer, keeping its last byte as the terminator.
bool read_text(LPCSTR key_path, LPCSTR value_name, char* buffer, DWORD buffer_size, DWORD* type) {
  if (buffer_size == 0) return false;
  memset(buffer, 0, buffer_size);
  DWORD size = buffer_size - 1;
  DWORD value_type = REG_NONE;
  bool read = registry.get_value(key_path, reinterpret_cast<LPBYTE>(buffer), &size, &value_type,
                                 value_name);
  if (!read) buffer[0] = '\0';
  if (type != NULL) *type = value_type;
  return read;
}

bool read_dword(LPCSTR key_path, LPCSTR value_name, DWORD* value) {
  DWORD size = sizeof *value;
  DWORD type = REG_NONE;
  *value = 0;
  return registry.get_value(key_path, reinterpret_cast<LPBYTE>(value), &size, &type, value_name);
}

// The Windows 95 network class key of the port at `position`: Class\Net\0003 for position 3.
void win95_class_key(int position, char* key, size_t key_size) {
  snprintf(key, key_size, "%s\\%04d", WIN95_NET_CLASS_KEY, position);
}

DWORD file_size(LPCSTR nt_path) {
  HANDLE file = CreateFileA(nt_path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD size = GetFileSize(file, NULL);
  if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) size = 0;
  CloseHandle(file);
  return size;
}

bool has_drive(const char* path) { return path[0] != '\0' && path[1] == ':'; }

// Where the driver file named by an ImagePath lies. "\SystemRoot\..." is the Windows directory,
// as the system's loader reads it; so is a path without a leading '\' ("System32\drivers\x.sys"),
// which the loader takes relative to the Windows directory; "\??\C:\..." and "C:\..." name the
// file itself.
void driver_file_path(const char* image_path, char* path, size_t path_size) {
  char windows[MAX_PATH] = "";
  DWORD length = GetEnvironmentVariableA(kSystemRootVariable, windows, sizeof windows);
  bool have_windows = length > 0 && length < sizeof windows;
  const char* rest = image_path[0] == '\\' ? image_path + 1 : image_path;
  const char* component_end = strchr(rest, '\\');
  size_t component_length =
      component_end ? static_cast<size_t>(component_end - rest) : strlen(rest);
  if (component_length == strlen(kSystemRootVariable) &&
      strncmp(rest, kSystemRootVariable, component_length) == 0) {
    if (have_windows) {
      snprintf(path, path_size, "%s%s", windows, rest + component_length);
    } else {
      snprintf(path, path_size, "%s", rest);
    }
  } else if (strncmp(image_path, "\\??\\", 4) == 0) {
    snprintf(path, path_size, "%s", image_path + 4);
  } else if (image_path[0] == '\\' || has_drive(image_path) || !have_windows) {
    snprintf(path, path_size, "%s", image_path);
  } else {
    snprintf(path, path_size, "%s\\%s", windows, image_path);
  }
}

DWORD nt_driver_size(char* buffer, DWORD buffer_size) {
  DWORD type = REG_NONE;
  if (!read_text(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, buffer, buffer_size, &type) ||
      type != REG_EXPAND_SZ) {
    return 0;
  }
  char path[kPathSize];
  driver_file_path(buffer, path, sizeof path);
  return file_size(path);
}

DWORD win95_driver_size(char* buffer, DWORD buffer_size, int position) {
  const DWORD folder_length = sizeof kWin95SystemFolder - 1;
  if (buffer_size <= folder_length + 1) return 0;
  // The Windows directory leaves room for the folder behind it, however long it is.
  read_text(WIN95_CURRENT_VERSION_KEY, VAL_SYSTEM_ROOT, buffer, buffer_size - folder_length, NULL);
  strcat(buffer, kWin95SystemFolder);
  size_t used = strlen(buffer);
  char key[kPathSize];
  win95_class_key(position, key, sizeof key);
  read_text(key, VAL_DEVICE_VXDS, buffer + used, buffer_size - static_cast<DWORD>(used), NULL);
  return file_size(buffer);
}

}  // namespace

DWORD list_port_services(char* buffer, DWORD buffer_size) {
  DWORD used = 0;
  for (DWORD i = 0; i < 65536 && used + 1 < buffer_size; i++) {
    char product[kProductNameSize] = "";
    DWORD size = kProductNameSize - 1;
    DWORD type = REG_NONE;
    if (!registry.get_subkey_value(NETWORK_CARDS_KEY_SLASH, reinterpret_cast<LPBYTE>(product),
                                   &size, &type, VAL_PRODUCT_NAME, i)) {
      break;
    }
    if (strcmp(product, TREVAN_PRODUCT_NAME) != 0) continue;
    // The last byte of the buffer stays zero, so the list always ends with an empty name.
    size = buffer_size - used - 1;
    if (!registry.get_subkey_value(NETWORK_CARDS_KEY_SLASH, reinterpret_cast<LPBYTE>(buffer + used),
                                   &size, &type, VAL_SERVICE_NAME, i)) {
      continue;
    }
    size_t length = strlen(buffer + used);
    // An empty name would end the list here and hide every card after it.
    if (length > 0) used += static_cast<DWORD>(length) + 1;
  }
  return used;
}

void read_version_text(char* buffer) {
  buffer[0] = '\0';
  if (!is_windows_nt()) {
    snprintf(buffer, VERSION_TEXT_SIZE, "%s", kWin95VersionText);
    return;
  }
  DWORD major = 0;
  DWORD minor = 0;
  if (read_dword(TREVAN_SOFTWARE_KEY, VAL_MAJOR_VERSION, &major) &&
      read_dword(TREVAN_SOFTWARE_KEY, VAL_MINOR_VERSION, &minor)) {
    snprintf(buffer, VERSION_TEXT_SIZE, "%d.%d", static_cast<int>(major), static_cast<int>(minor));
  }
}

void read_driver_name(char* buffer, DWORD buffer_size, int position) {
  if (is_windows_nt()) {
    read_text(DRIVER_SERVICE_KEY, VAL_DISPLAY_NAME, buffer, buffer_size, NULL);
    return;
  }
  char key[kPathSize];
  win95_class_key(position, key, sizeof key);
  read_text(key, VAL_DRIVER_DESC, buffer, buffer_size, NULL);
}

DWORD read_driver_size(char* buffer, DWORD buffer_size, int position) {
  return is_windows_nt() ? nt_driver_size(buffer, buffer_size)
                         : win95_driver_size(buffer, buffer_size, position);
}
