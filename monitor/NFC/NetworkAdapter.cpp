// One network card as the registry describes it; see NetworkAdapter.h.
//
// Sections: construction and key handling; value access; bind rules; linkage lists; print.
#include "NFC/NetworkAdapter.h"

#include <stdio.h>
#include <string.h>

#include "registry_layout.h"

char NetworkAdapter::na_multisz_buffer[NA_MULTISZ_SIZE + NA_MULTISZ_GUARD];

namespace {

// Formats into a fixed buffer; 0 when the text does not fit (it is never cut short, since a
// shortened key path or entry would name another key or card).
int format_fits(char* buffer, size_t size, const char* format, const char* text) {
  int n = snprintf(buffer, size, format, text);
  return n >= 0 && static_cast<size_t>(n) < size;
}

void close_key(HKEY* handle) {
  if (*handle != 0) RegCloseKey(*handle);
  *handle = 0;
}

}  // namespace

// ---- Construction and key handling -----------------------------------------------------------

NetworkAdapter::NetworkAdapter(int adptInst)
    : _adapter_instance(adptInst),
      _handle_params(0),
      _handle_netrules(0),
      _handle_network_instance(0),
      _handle_linkage(0),
      _adapter_present(0) {
  _product_name[0] = '\0';
  _service_name[0] = '\0';
  _manufacturer[0] = '\0';
  _alloc_resources();
}

NetworkAdapter::~NetworkAdapter() { _free_resources(); }

int NetworkAdapter::_alloc_resources() {
  if (_open_resources()) {
    _adapter_present = 1;
    return 1;
  }
  _free_resources();
  return 0;
}

int NetworkAdapter::_open_resources() {
  char keyName[NA_KEY_PATH_SIZE];
  snprintf(keyName, sizeof keyName, NETWORK_CARDS_KEY_SLASH "%d", _adapter_instance);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &_handle_network_instance) !=
      ERROR_SUCCESS) {
    return 0;
  }
  if (RegOpenKeyExA(_handle_network_instance, NET_RULES_SUBKEY, 0, KEY_ALL_ACCESS,
                    &_handle_netrules) != ERROR_SUCCESS) {
    return 0;
  }
  if (!_read_name(VAL_PRODUCT_NAME, _product_name) ||
      !_read_name(VAL_SERVICE_NAME, _service_name) ||
      !_read_name(VAL_MANUFACTURER, _manufacturer)) {
    return 0;
  }
  if (!format_fits(keyName, sizeof keyName, SERVICES_KEY_SLASH "%s\\" PARAMETERS_SUBKEY,
                   _service_name) ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &_handle_params) !=
          ERROR_SUCCESS) {
    return 0;
  }
  if (!format_fits(keyName, sizeof keyName, SERVICES_KEY_SLASH "%s\\Linkage", _product_name) ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &_handle_linkage) !=
          ERROR_SUCCESS) {
    return 0;
  }
  return 1;
}

// A name is text of at most NA_NAME_SIZE - 1 characters. Whatever type it is stored with, it
// must end inside the buffer: the zeroed buffer terminates a shorter value stored without its
// own terminator, and a value that fills the buffer without one fails.
int NetworkAdapter::_read_name(LPCSTR valueName, char* name) {
  DWORD type = 0;
  DWORD size = NA_NAME_SIZE;
  memset(name, 0, NA_NAME_SIZE);
  if (!_get_value(_handle_network_instance, valueName, &type, reinterpret_cast<LPBYTE>(name),
                  &size)) {
    name[0] = '\0';
    return 0;
  }
  if (memchr(name, '\0', NA_NAME_SIZE) == nullptr) {
    name[0] = '\0';
    return 0;
  }
  return 1;
}

void NetworkAdapter::_free_resources() {
  close_key(&_handle_network_instance);
  close_key(&_handle_netrules);
  close_key(&_handle_params);
  close_key(&_handle_linkage);
}

// ---- Value access ----------------------------------------------------------------------------

int NetworkAdapter::_get_value(HKEY handle, LPCSTR paramName, LPDWORD paramType, LPBYTE paramValue,
                               LPDWORD paramValueSize) {
  DWORD type = REG_NONE;
  DWORD capacity = *paramValueSize;
  if (RegQueryValueExA(handle, paramName, nullptr, &type, paramValue, paramValueSize) !=
      ERROR_SUCCESS) {
    return 0;
  }
  if (paramType != nullptr) *paramType = type;
  if (type == REG_SZ) {
    if (*paramValueSize < capacity) {
      paramValue[*paramValueSize] = '\0';
    } else if (*paramValueSize == 0 || paramValue[*paramValueSize - 1] != '\0') {
      return 0;  // no room for the terminator
    }
  }
  return 1;
}

int NetworkAdapter::_set_value(HKEY handle, LPCSTR paramName, DWORD paramType,
                               const BYTE* paramValue, DWORD paramValueSize) {
  return RegSetValueExA(handle, paramName, 0, paramType, paramValue, paramValueSize) ==
         ERROR_SUCCESS;
}

int NetworkAdapter::_remove_value(HKEY handle, LPCSTR paramName) {
  return RegDeleteValueA(handle, paramName) == ERROR_SUCCESS;
}

int NetworkAdapter::getParameterValue(LPCSTR paramName, LPDWORD paramType, LPBYTE paramValue,
                                      LPDWORD paramValueSize) {
  if (!_adapter_present) return 0;
  return _get_value(_handle_params, paramName, paramType, paramValue, paramValueSize);
}

int NetworkAdapter::setParameterValue(LPCSTR paramName, DWORD paramType, const BYTE* paramValue,
                                      DWORD paramValueSize) {
  if (!_adapter_present) return 0;
  return _set_value(_handle_params, paramName, paramType, paramValue, paramValueSize);
}

int NetworkAdapter::removeParameterValue(LPCSTR paramName) {
  if (!_adapter_present) return 0;
  return _remove_value(_handle_params, paramName);
}

int NetworkAdapter::getProdLinkageValue(LPCSTR valueName, LPDWORD valueType, LPBYTE valueData,
                                        LPDWORD valueSize) {
  if (!_adapter_present) return 0;
  return _get_value(_handle_linkage, valueName, valueType, valueData, valueSize);
}

int NetworkAdapter::getTitle(LPSTR titleBuffer, DWORD titleBufsize) {
  if (!_adapter_present) return 0;
  DWORD type = 0;
  return _get_value(_handle_network_instance, VAL_TITLE, &type,
                    reinterpret_cast<LPBYTE>(titleBuffer), &titleBufsize);
}

int NetworkAdapter::setTitle(LPCSTR titleBuffer, DWORD titleBufsize) {
  if (!_adapter_present) return 0;
  return _set_value(_handle_network_instance, VAL_TITLE, REG_SZ,
                    reinterpret_cast<const BYTE*>(titleBuffer), titleBufsize);
}

// ---- Bind rules ------------------------------------------------------------------------------

void NetworkAdapter::enableBindings() {
  if (!_adapter_present) return;
  char text[3 * NA_NAME_SIZE];
  snprintf(text, sizeof text, "\"%s\"" BINDFORM_SUFFIX, _service_name);
  _set_value(_handle_netrules, VAL_BINDFORM, REG_SZ, reinterpret_cast<const BYTE*>(text),
             static_cast<DWORD>(strlen(text) + 1));
  // A multi-string with one terminator only: the list terminator is left out on purpose, as
  // the setup that reads it expects.
  snprintf(text, sizeof text, "%s" CLASS_SUFFIX, _product_name);
  _set_value(_handle_netrules, VAL_CLASS, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text),
             static_cast<DWORD>(strlen(text) + 1));
  snprintf(text, sizeof text, "%s %s" TYPE_SUFFIX, _product_name, _product_name);
  _set_value(_handle_netrules, VAL_TYPE, REG_SZ, reinterpret_cast<const BYTE*>(text),
             static_cast<DWORD>(strlen(text) + 1));
}

void NetworkAdapter::disableBindings() {
  if (!_adapter_present) return;
  _remove_value(_handle_netrules, VAL_BINDFORM);
  _remove_value(_handle_netrules, VAL_CLASS);
  _remove_value(_handle_netrules, VAL_TYPE);
}

// ---- Linkage lists ---------------------------------------------------------------------------

DWORD MultiSzAppendOffset(char* list, DWORD size) {
  if (size == 0) return 0;       // no bytes at all: an empty list
  if (list[size - 1] != '\0') {  // the last entry lacks its terminator
    list[size] = '\0';
    return size + 1;
  }
  if (size == 1) return 0;                      // the empty list: one zero byte
  if (list[size - 2] == '\0') return size - 1;  // well formed: replace the list terminator
  return size;                                  // the list terminator is missing
}

int NetworkAdapter::_read_linkage_list(LPCSTR listName, DWORD* size) {
  DWORD type = 0;
  *size = NA_MULTISZ_SIZE;
  return _get_value(_handle_linkage, listName, &type, reinterpret_cast<LPBYTE>(na_multisz_buffer),
                    size);
}

int NetworkAdapter::_writeMultiSzValues(LPCSTR keyValue, LPCSTR valueBuf) {
  DWORD size = 0;
  if (!_read_linkage_list(keyValue, &size)) return 0;
  size_t length = strlen(valueBuf);
  // The buffer keeps spare bytes after NA_MULTISZ_SIZE, so the terminator that
  // MultiSzAppendOffset may add always lands inside it; only the result is checked for size.
  DWORD offset = MultiSzAppendOffset(na_multisz_buffer, size);
  size_t new_size = offset + length + 2;
  if (new_size > NA_MULTISZ_SIZE) return 0;
  memcpy(na_multisz_buffer + offset, valueBuf, length + 1);
  na_multisz_buffer[new_size - 1] = '\0';
  return _set_value(_handle_linkage, keyValue, REG_MULTI_SZ,
                    reinterpret_cast<const BYTE*>(na_multisz_buffer), static_cast<DWORD>(new_size));
}

int NetworkAdapter::isBindRulesPresent() {
  char entry[NA_ENTRY_SIZE];
  if (!format_fits(entry, sizeof entry, "\"%s\"", _service_name)) return 0;
  DWORD size = 0;
  if (!_read_linkage_list(VAL_ROUTE, &size)) return 0;
  size_t entry_length = strlen(entry);
  const char* current = na_multisz_buffer;
  DWORD remaining = size;
  // Every comparison stays inside the bytes read, also for a list without terminators.
  while (remaining > 1) {
    size_t length = strnlen(current, remaining);
    if (length == entry_length && memcmp(current, entry, length) == 0) return 1;
    if (length + 1 >= remaining) break;
    current += length + 1;
    remaining -= static_cast<DWORD>(length + 1);
  }
  return 0;
}

int NetworkAdapter::writeBindRules() {
  char route[NA_ENTRY_SIZE];
  char device[NA_ENTRY_SIZE];
  if (!format_fits(route, sizeof route, "\"%s\"", _service_name) ||
      !format_fits(device, sizeof device, "\\Device\\%s", _service_name)) {
    return 0;
  }
  return _writeMultiSzValues(VAL_ROUTE, route) && _writeMultiSzValues(VAL_BIND, device) &&
         _writeMultiSzValues(VAL_EXPORT, device);
}

int NetworkAdapter::clearBindRules() {
  static const BYTE kEmptyList[1] = {0};
  return _set_value(_handle_linkage, VAL_BIND, REG_MULTI_SZ, kEmptyList, 1) &&
         _set_value(_handle_linkage, VAL_EXPORT, REG_MULTI_SZ, kEmptyList, 1) &&
         _set_value(_handle_linkage, VAL_ROUTE, REG_MULTI_SZ, kEmptyList, 1);
}

// ---- Identity and print ----------------------------------------------------------------------

int NetworkAdapter::getAdapterInstance() const { return _adapter_present ? _adapter_instance : -1; }

const char* NetworkAdapter::getProductName() const {
  return _adapter_present ? _product_name : nullptr;
}

void NetworkAdapter::print() const {
  if (!_adapter_present) {
    printf("Instance [%d] not present\n", _adapter_instance);
    return;
  }
  printf("Instance [%d] Product [%s] Manufacturer [%s] Service [%s]\n", _adapter_instance,
         _product_name, _manufacturer, _service_name);
}
