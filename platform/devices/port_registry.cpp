// What the network setup recorded about a port in the registry: the driver instance of a card
// and the Linux interface a port is served from.
#include <windows.h>

#include "pairway/host_nic.h"
#include "pairway/nic_state.h"

namespace pairway {
namespace {

// A REG_SZ value of a key under HKEY_LOCAL_MACHINE; ERROR_FILE_NOT_FOUND when the key or the
// value is missing or holds something else.
DWORD ReadText(const std::string& key, const char* value, std::string* text) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
    return ERROR_FILE_NOT_FOUND;
  char data[256] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  const LONG status =
      RegQueryValueExA(handle, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_SZ || data[0] == '\0') return ERROR_FILE_NOT_FOUND;
  *text = data;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD ServiceNameOfCard(int card, std::string* service) {
  return ReadText(
      "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\" + std::to_string(card),
      "ServiceName", service);
}

DWORD HostInterfaceOfService(std::string_view service, std::string* interface) {
  // A name with a backslash would reach another key than the port's own.
  if (service.empty() || service.find('\\') != std::string_view::npos) return ERROR_FILE_NOT_FOUND;
  return ReadText("SYSTEM\\CurrentControlSet\\Services\\" + std::string(service) + "\\Parameters",
                  kHostInterfaceValue, interface);
}

}  // namespace pairway
