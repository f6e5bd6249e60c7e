// Reading the TREVAN ports from the registry (registry_ports.h).
#include "registry_ports.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "pairway/host_nic.h"
#include "registry_layout.h"

namespace pairway::driver {
namespace {

class Key {
 public:
  Key() = default;
  explicit Key(const std::string& path) {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The value's bytes and type; nullopt when it cannot be read.
std::optional<std::string> ReadBytes(HKEY key, const char* name, DWORD* type) {
  if (key == nullptr) return std::nullopt;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::string data(size, '\0');
  if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  data.resize(size);
  return data;
}

std::optional<uint32_t> ReadDword(HKEY key, const char* name) {
  DWORD type = 0;
  const std::optional<std::string> data = ReadBytes(key, name, &type);
  if (!data || type != REG_DWORD || data->size() != 4) return std::nullopt;
  uint32_t value = 0;
  std::memcpy(&value, data->data(), 4);
  return value;
}

std::string ReadText(HKEY key, const char* name) {
  DWORD type = 0;
  const std::optional<std::string> data = ReadBytes(key, name, &type);
  if (!data || (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)) return {};
  return std::string(data->c_str());  // up to the first terminator
}

// A REG_MULTI_SZ's strings (a REG_SZ reads as one); the empty string ends the list.
std::vector<std::string> ReadList(HKEY key, const char* name) {
  DWORD type = 0;
  const std::optional<std::string> data = ReadBytes(key, name, &type);
  std::vector<std::string> list;
  if (!data || (type != REG_MULTI_SZ && type != REG_SZ)) return list;
  size_t at = 0;
  while (at < data->size()) {
    const size_t end = std::min(data->find('\0', at), data->size());
    if (end == at) break;
    list.push_back(data->substr(at, end - at));
    if (type == REG_SZ) break;
    at = end + 1;
  }
  return list;
}

// A card number as the card list writes it: decimal, from 1, without leading zeros.
std::optional<int> CardNumber(const char* name) {
  if (name[0] < '1' || name[0] > '9' || std::strlen(name) > 4) return std::nullopt;
  int number = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    number = number * 10 + (*c - '0');
  }
  return number;
}

}  // namespace

PortsRead ReadTrevanPorts() {
  PortsRead read;
  Key cards(NETWORK_CARDS_KEY);
  if (cards.get() == nullptr) return read;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(cards.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    const std::optional<int> number = CardNumber(name);
    if (!number) continue;
    Key card(std::string(NETWORK_CARDS_KEY_SLASH) + name);
    if (ReadText(card.get(), VAL_PRODUCT_NAME) != TREVAN_PRODUCT_NAME) continue;
    const std::string expected = TREVAN_PRODUCT_NAME + std::to_string(*number);
    const std::string service = ReadText(card.get(), VAL_SERVICE_NAME);
    if (service != expected) {
      read.rejected.push_back({expected, "card " + std::to_string(*number) +
                                             " names the driver instance \"" + service +
                                             "\" instead of " + expected + "; not a port here"});
      continue;
    }
    PortParams port;
    port.port = service;
    port.instance = *number;
    const std::string parameters_path = SERVICES_KEY_SLASH + service + "\\" PARAMETERS_SUBKEY;
    Key parameters(parameters_path);
    port.adapter_index = ReadDword(parameters.get(), VAL_ADAPTER_INDEX);
    port.primary_index = ReadDword(parameters.get(), VAL_PRIMARY_INDEX);
    port.link_check_timeout = ReadDword(parameters.get(), VAL_LINK_CHECK_TIMEOUT);
    port.group_name = ReadText(parameters.get(), VAL_GROUP_NAME);
    port.host_interface = ReadText(parameters.get(), kHostInterfaceValue);
    port.address_copy = ReadText(parameters.get(), VAL_IP_ADDRESS);
    Key tcpip(parameters_path + "\\" TCPIP_SUBKEY);
    port.ip_addresses = ReadList(tcpip.get(), VAL_IP_ADDRESS);
    port.subnet_masks = ReadList(tcpip.get(), VAL_SUBNET_MASK);
    read.ports.push_back(std::move(port));
  }
  std::sort(read.ports.begin(), read.ports.end(),
            [](const PortParams& a, const PortParams& b) { return a.instance < b.instance; });
  return read;
}

}  // namespace pairway::driver
