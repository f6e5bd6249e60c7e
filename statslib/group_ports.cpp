// Groups from the driver parameters: one walk over the card list collects each port's role
// values, then the group is picked out of them.
#include "group_ports.h"

#include <windows.h>

#include <cstring>
#include <optional>

#include "registry_layout.h"

namespace standbyag {
namespace {

// Values are read as the configuration library reads them, into 64 bytes.
constexpr DWORD kValueBufferSize = 64;

// A key of HKEY_LOCAL_MACHINE opened for reading; closed on destruction.
class ReadKey {
 public:
  explicit ReadKey(const std::string& path) {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~ReadKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  ReadKey(const ReadKey&) = delete;
  ReadKey& operator=(const ReadKey&) = delete;

  HKEY get() const { return key_; }

  std::optional<std::string> Text(const char* name) const {
    char buffer[kValueBufferSize] = {};
    if (!Read(name, buffer)) return std::nullopt;
    return std::string(buffer, strnlen(buffer, sizeof buffer));
  }

  std::optional<DWORD> Number(const char* name) const {
    char buffer[kValueBufferSize] = {};
    if (!Read(name, buffer)) return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(buffer);
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<DWORD>(b[3]) << 24;
  }

 private:
  bool Read(const char* name, char* buffer) const {
    if (key_ == nullptr) return false;
    DWORD size = kValueBufferSize;
    return RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
           ERROR_SUCCESS;
  }

  HKEY key_ = nullptr;
};

// What a port's driver parameters say about its role.
struct PortRole {
  std::string service;
  std::optional<DWORD> adapter_index;
  std::optional<DWORD> primary_index;
  std::optional<DWORD> link_check_timeout;
  std::optional<std::string> group_name;
};

std::vector<PortRole> ReadPortRoles() {
  std::vector<PortRole> ports;
  ReadKey cards(NETWORK_CARDS_KEY);
  if (cards.get() == nullptr) return ports;
  char card[MAX_PATH];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof card;
    if (RegEnumKeyExA(cards.get(), i, card, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    ReadKey entry(NETWORK_CARDS_KEY_SLASH + std::string(card));
    std::optional<std::string> product = entry.Text(VAL_PRODUCT_NAME);
    std::optional<std::string> service = entry.Text(VAL_SERVICE_NAME);
    if (product != TREVAN_PRODUCT_NAME || !service || service->empty()) continue;
    ReadKey parameters(SERVICES_KEY_SLASH + *service + "\\" PARAMETERS_SUBKEY);
    ports.push_back({*service, parameters.Number(VAL_ADAPTER_INDEX),
                     parameters.Number(VAL_PRIMARY_INDEX),
                     parameters.Number(VAL_LINK_CHECK_TIMEOUT), parameters.Text(VAL_GROUP_NAME)});
  }
  return ports;
}

}  // namespace

std::vector<std::string> FindGroupPorts(const std::string& group) {
  const std::vector<PortRole> ports = ReadPortRoles();
  const PortRole* primary = nullptr;
  for (const PortRole& port : ports) {
    if (port.link_check_timeout && port.group_name == group) {
      primary = &port;
      break;
    }
  }
  if (primary == nullptr) return {};
  std::vector<std::string> members = {primary->service};
  if (!primary->adapter_index) return members;
  for (const PortRole& port : ports) {
    if (&port != primary && port.primary_index == primary->adapter_index) {
      members.push_back(port.service);
    }
  }
  return members;
}

}  // namespace standbyag
