// The registry model: inventory of the driver's ports and every per-port registry access.
#include "adapter_registry.h"

#include <string.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "reg_access.h"
#include "registry_layout.h"

namespace {

const size_t kPrefixLength = sizeof(TREVAN_PRODUCT_NAME) - 1;

// Opens `path`, runs `operation` on the key and closes it; 0 when the key does not open.
template <typename Operation>
int WithKey(const std::string& path, Operation operation) {
  HKEY key = nullptr;
  if (!OpenRegKey(path.c_str(), &key)) return 0;
  int result = operation(key);
  CloseRegKey(key);
  return result;
}

bool IsOneOf(int id, std::initializer_list<int> accepted) {
  for (int candidate : accepted) {
    if (id == candidate) return true;
  }
  return false;
}

}  // namespace

const char* RegValueName(int id) {
  switch (id) {
    case kRegSlotNumber:
      return VAL_SLOT_NUMBER;
    case kRegPrimaryIndex:
      return VAL_PRIMARY_INDEX;
    case kRegConnectionType:
      return VAL_CONNECTION_TYPE;
    case kRegBusNumber:
      return VAL_BUS_NUMBER;
    case kRegAdapterIndex:
      return VAL_ADAPTER_INDEX;
    case kRegGroupName:
      return VAL_GROUP_NAME;
    case kRegLinkCheckTimeOut:
      return VAL_LINK_CHECK_TIMEOUT;
    case kRegBindForm:
      return VAL_BINDFORM;
    case kRegClass:
      return VAL_CLASS;
    case kRegType:
      return VAL_TYPE;
    case kRegTitle:
      return VAL_TITLE;
    case kRegDefaultGateway:
      return VAL_DEFAULT_GATEWAY;
    case kRegIpAddress:
      return VAL_IP_ADDRESS;
    case kRegSubnetMask:
      return VAL_SUBNET_MASK;
    case kRegEnableDhcp:
      return VAL_ENABLE_DHCP;
    default:
      return nullptr;
  }
}

CAdapterRegistry::CAdapterRegistry() {
  for (int& slot : m_adapterIndexes) slot = kNoAdapterIndex;
}

CAdapterRegistry::~CAdapterRegistry() { FreeEntries(); }

int CAdapterRegistry::GetRefCount(DWORD* count) {
  HKEY key = nullptr;
  if (!OpenRegKey(TREVAN_SOFTWARE_KEY_SLASH, &key)) return 0;
  if (!ReadRegNumber(key, VAL_REF_COUNT, count)) *count = 0;
  CloseRegKey(key);
  return 1;
}

void CAdapterRegistry::LoadAdapters() {
  DWORD remaining = 0;
  if (!GetRefCount(&remaining)) return;
  for (int number = 1; remaining != 0 && number <= kMaxCardNumber; ++number) {
    std::string path = NETWORK_CARDS_KEY_SLASH + std::to_string(number);
    HKEY key = nullptr;
    OpenRegKey(path.c_str(), &key);
    std::string product;
    if (key != nullptr && ReadRegText(key, VAL_PRODUCT_NAME, &product) &&
        product == TREVAN_PRODUCT_NAME) {
      --remaining;
      auto entry = std::make_unique<CAdapterEntry>();
      ReadRegText(key, VAL_MANUFACTURER, &entry->m_manufacturer);
      entry->m_productName = product;
      ReadRegText(key, VAL_SERVICE_NAME, &entry->m_serviceName);
      entry->m_cardNumber = number;
      entry->m_instanceName = TREVAN_PRODUCT_NAME + std::to_string(number);
      m_entries.push_back(std::move(entry));
    }
    if (key != nullptr) CloseRegKey(key);
  }
  LoadAdapterIndexes();
}

void CAdapterRegistry::LoadAdapterIndexes() {
  if (m_entries.empty()) return;
  std::vector<int> loaded;
  loaded.reserve(m_entries.size());
  for (const auto& entry : m_entries) {
    DWORD index = 0;
    int read = WithKey(ParametersPath(*entry),
                       [&](HKEY key) { return ReadRegNumber(key, VAL_ADAPTER_INDEX, &index); });
    loaded.push_back(read ? static_cast<int>(index) : kNoAdapterIndex);
  }
  // Equal indexes are interchangeable, so their order does not matter.
  std::sort(loaded.begin(), loaded.end());
  // More ports than slots: a repeated index needs only one slot to count as used. The indexes
  // that can be handed out (0 to 31) are at most 32 distinct numbers and sort first, so every one
  // that a port holds keeps its slot and is never given to a new port again.
  if (loaded.size() > static_cast<size_t>(kAdapterIndexSlots)) {
    loaded.erase(std::unique(loaded.begin(), loaded.end()), loaded.end());
  }
  const size_t kept = std::min(loaded.size(), static_cast<size_t>(kAdapterIndexSlots));
  std::fill(m_adapterIndexes, m_adapterIndexes + kAdapterIndexSlots, kNoAdapterIndex);
  std::copy(loaded.begin(), loaded.begin() + static_cast<std::ptrdiff_t>(kept), m_adapterIndexes);
}

const CAdapterEntry* CAdapterRegistry::FindEntry(const std::string& name) const {
  for (const auto& entry : m_entries) {
    if (entry->m_instanceName == name) return entry.get();
  }
  return nullptr;
}

std::string CAdapterRegistry::ParametersPath(const CAdapterEntry& entry) {
  return SERVICES_KEY_SLASH + entry.m_serviceName + "\\" PARAMETERS_SUBKEY;
}

std::string CAdapterRegistry::TcpipPath(const CAdapterEntry& entry) {
  return ParametersPath(entry) + "\\" TCPIP_SUBKEY;
}

std::string CAdapterRegistry::CardEntryPath(const std::string& instance_name) {
  std::string digits =
      instance_name.size() > kPrefixLength ? instance_name.substr(kPrefixLength, 2) : "";
  return NETWORK_CARDS_KEY_SLASH + digits;
}

int CAdapterRegistry::GetParam(int id, const std::string& name, DWORD* value) {
  if (!IsOneOf(id, {kRegSlotNumber, kRegPrimaryIndex, kRegConnectionType, kRegBusNumber,
                    kRegAdapterIndex, kRegLinkCheckTimeOut})) {
    return 0;
  }
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return 0;
  return WithKey(ParametersPath(*entry),
                 [&](HKEY key) { return ReadRegNumber(key, RegValueName(id), value); });
}

void CAdapterRegistry::SetParam(int id, const std::string& name, DWORD value) {
  if (!IsOneOf(id,
               {kRegPrimaryIndex, kRegConnectionType, kRegAdapterIndex, kRegLinkCheckTimeOut})) {
    return;
  }
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return;
  WithKey(ParametersPath(*entry),
          [&](HKEY key) { return WriteRegNumber(key, RegValueName(id), REG_DWORD, value); });
}

void CAdapterRegistry::DeleteParam(int id, const std::string& name) {
  if (!IsOneOf(id, {kRegPrimaryIndex, kRegGroupName, kRegLinkCheckTimeOut})) return;
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return;
  WithKey(ParametersPath(*entry), [&](HKEY key) { return DeleteRegValue(key, RegValueName(id)); });
}

int CAdapterRegistry::GetGroupName(int id, const std::string& name, std::string* text) {
  if (id != kRegGroupName) return 0;
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return 0;
  return WithKey(ParametersPath(*entry),
                 [&](HKEY key) { return ReadRegText(key, VAL_GROUP_NAME, text); });
}

void CAdapterRegistry::SetGroupName(int id, const std::string& name, const std::string& text) {
  if (id != kRegGroupName) return;
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return;
  WithKey(ParametersPath(*entry),
          [&](HKEY key) { return WriteRegText(key, VAL_GROUP_NAME, REG_SZ, text.c_str()); });
}

int CAdapterRegistry::GetTitle(int id, const std::string& name, std::string* text) {
  if (id != kRegTitle || FindEntry(name) == nullptr) return 0;
  return WithKey(CardEntryPath(name), [&](HKEY key) { return ReadRegText(key, VAL_TITLE, text); });
}

void CAdapterRegistry::SetTitle(int id, const std::string& name, const std::string& text) {
  if (id != kRegTitle || FindEntry(name) == nullptr) return;
  WithKey(CardEntryPath(name),
          [&](HKEY key) { return WriteRegText(key, VAL_TITLE, REG_SZ, text.c_str()); });
}

void CAdapterRegistry::WriteNetRule(int id, const std::string& name) {
  if (!IsOneOf(id, {kRegBindForm, kRegClass, kRegType})) return;
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return;
  std::string data;
  if (id == kRegBindForm) {
    data = "\"" + entry->m_serviceName + "\"" BINDFORM_SUFFIX;
  } else if (id == kRegClass) {
    data = entry->m_productName + CLASS_SUFFIX;
  } else {
    data = entry->m_productName + " " + entry->m_productName + TYPE_SUFFIX;
  }
  WithKey(CardEntryPath(name) + "\\" NET_RULES_SUBKEY,
          [&](HKEY key) { return WriteRegText(key, RegValueName(id), REG_SZ, data.c_str()); });
}

void CAdapterRegistry::DeleteNetRule(int id, const std::string& name) {
  if (!IsOneOf(id, {kRegBindForm, kRegClass, kRegType})) return;
  if (FindEntry(name) == nullptr) return;
  WithKey(CardEntryPath(name) + "\\" NET_RULES_SUBKEY,
          [&](HKEY key) { return DeleteRegValue(key, RegValueName(id)); });
}

int CAdapterRegistry::GetTcpipValue(int id, const std::string& name, DWORD* value) {
  if (id != kRegIpAddress) return 0;
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return 0;
  return WithKey(TcpipPath(*entry),
                 [&](HKEY key) { return ReadRegNumber(key, VAL_IP_ADDRESS, value); });
}

void CAdapterRegistry::DeleteTcpipValue(int id, const std::string& name) {
  if (!IsOneOf(id, {kRegDefaultGateway, kRegIpAddress, kRegSubnetMask, kRegEnableDhcp})) return;
  const CAdapterEntry* entry = FindEntry(name);
  if (entry == nullptr) return;
  WithKey(TcpipPath(*entry), [&](HKEY key) { return DeleteRegValue(key, RegValueName(id)); });
}

void CAdapterRegistry::FreeEntries() { m_entries.clear(); }
