// adapter_registry.h: the registry model of the driver's ports.
//
// The model finds the driver's ports in the network card list (one CAdapterEntry per port, in
// card-number order), keeps the table of their "AdapterIndex" values, and is the only way the rest
// of the library reads, writes or deletes a port's values. Callers name a port by its instance
// name ("TREVAN3"); the model turns it into the key paths of the registry layout.
//
// Nothing is cached: every operation opens its key, does its one read, write or delete and closes
// the key, so every write is in the registry when the operation returns, and a value changed by
// someone else is seen by the next read.
//
// Per-port operations look the port up first: the first entry whose instance name equals the given
// name exactly (case-sensitive). When none does, the operation does nothing and, where it has a
// result, returns 0. Keys that do not open are skipped silently; failed writes show the system's
// error text (reg_access.h). Out-parameters are untouched when a read fails.
//
// Lifetime: one model per entry point call, made empty, loaded once, deleted at the end of the
// call. Threads: the thread that runs the dialogs only.
#ifndef AGGCFG_ADAPTER_REGISTRY_H
#define AGGCFG_ADAPTER_REGISTRY_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "pairway/ui/object.h"

// Selects the registry value an operation touches. The numbers are fixed: callers pass them as
// constants, and each operation accepts only the ids of its own key (see the operations).
enum RegValueId {
  kRegSlotNumber = 0,        // "SlotNumber", driver parameters
  kRegPrimaryIndex = 1,      // "PrimaryIndex", driver parameters
  kRegConnectionType = 2,    // "ConnectionType", driver parameters
  kRegBusNumber = 3,         // "BusNumber", driver parameters
  kRegAdapterIndex = 7,      // "AdapterIndex", driver parameters
  kRegGroupName = 8,         // "GroupName", driver parameters
  kRegLinkCheckTimeOut = 9,  // "LinkCheckTimeOut", driver parameters
  kRegBindForm = 17,         // "bindform", the card's "NetRules"
  kRegClass = 18,            // "class", the card's "NetRules"
  kRegType = 19,             // "type", the card's "NetRules"
  kRegTitle = 21,            // "Title", the card entry
  kRegDefaultGateway = 22,   // "DefaultGateway", the port's "Tcpip"
  kRegIpAddress = 23,        // "IPAddress", the port's "Tcpip"
  kRegSubnetMask = 24,       // "SubnetMask", the port's "Tcpip"
  kRegEnableDhcp = 25,       // "EnableDHCP", the port's "Tcpip"
};

// The registry value name of an id; null for a number that names no value.
const char* RegValueName(int id);

// Highest card number the model looks at. The library addresses a card entry by the two digits
// after the product name in an instance name, so a card above 99 could only be reached through
// another card's entry; the inventory scan stops here, which also ends it when "RefCount" promises
// more ports than the card list holds.
constexpr int kMaxCardNumber = 99;

// Number of slots of the adapter index table; a slot without a port holds kNoAdapterIndex.
constexpr int kAdapterIndexSlots = 32;
constexpr int kNoAdapterIndex = 99;

// One port of the driver, as its card entry describes it.
class CAdapterEntry : public pairway::ui::CObject {
 public:
  std::string m_manufacturer;  // "Manufacturer"; empty when it cannot be read
  std::string m_productName;   // "ProductName", always "TREVAN"
  std::string m_serviceName;   // "ServiceName"; empty when it cannot be read
  std::string m_instanceName;  // "TREVAN" + the card number, built rather than read
  int m_cardNumber = 0;        // the card entry's number, from 1
};

class CAdapterRegistry : public pairway::ui::CObject {
 public:
  CAdapterRegistry();
  ~CAdapterRegistry() override;  // deletes every entry (FreeEntries)

  // Builds the entries from the network card list and then the index table. A missing software
  // key leaves the model empty; a missing "RefCount" counts 0 ports.
  void LoadAdapters();
  // Fills the index table from the entries' "AdapterIndex" values (99 for a port without one),
  // sorted ascending. With more ports than slots a repeated index is listed once, so every index
  // from 0 to 31 that a port holds is in the table whatever the number of ports.
  void LoadAdapterIndexes();
  // 1 when the software key opened (*count then holds "RefCount", 0 when unreadable), else 0.
  int GetRefCount(DWORD* count);

  // Driver parameters. GetParam accepts ids 0, 1, 2, 3, 7 and 9 and returns 1 when the value was
  // read; SetParam ids 1, 2, 7 and 9 (REG_DWORD); DeleteParam ids 1, 8 and 9.
  int GetParam(int id, const std::string& name, DWORD* value);
  void SetParam(int id, const std::string& name, DWORD value);
  void DeleteParam(int id, const std::string& name);
  // "GroupName" (id 8): 1 when read.
  int GetGroupName(int id, const std::string& name, std::string* text);
  void SetGroupName(int id, const std::string& name, const std::string& text);
  // "Title" of the card entry (id 21): GetTitle returns 1 when read.
  int GetTitle(int id, const std::string& name, std::string* text);
  void SetTitle(int id, const std::string& name, const std::string& text);
  // The card's bind rules (ids 17, 18, 19), built from the entry's names.
  void WriteNetRule(int id, const std::string& name);
  void DeleteNetRule(int id, const std::string& name);
  // The port's TCP/IP settings: GetTcpipValue (id 23) returns 1 when "IPAddress" can be read, the
  // number itself means nothing; DeleteTcpipValue accepts ids 22 to 25.
  int GetTcpipValue(int id, const std::string& name, DWORD* value);
  void DeleteTcpipValue(int id, const std::string& name);

  void FreeEntries();

  // The first entry named `name` exactly, or null.
  const CAdapterEntry* FindEntry(const std::string& name) const;
  const std::vector<std::unique_ptr<CAdapterEntry>>& entries() const { return m_entries; }
  // The index table: used indexes ascending, then kNoAdapterIndex.
  int* adapter_indexes() { return m_adapterIndexes; }
  const int* adapter_indexes() const { return m_adapterIndexes; }

  // Key paths, by plain concatenation as the layout gives them.
  static std::string ParametersPath(const CAdapterEntry& entry);
  static std::string TcpipPath(const CAdapterEntry& entry);
  // The card entry of an instance name: the two characters after the product name (fewer when the
  // name is shorter), as the card list numbers its entries.
  static std::string CardEntryPath(const std::string& instance_name);

 private:
  int m_adapterIndexes[kAdapterIndexSlots];
  std::vector<std::unique_ptr<CAdapterEntry>> m_entries;
};

#endif  // AGGCFG_ADAPTER_REGISTRY_H
