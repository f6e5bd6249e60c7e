// pairway-netsetup add-card and remove-card: installing and removing one port of the TREVAN
// driver, as the platform's network setup does.
//
// A port n is: the card entry NetworkCards\n (names, title, bind rules in NetRules), the driver
// service TREVANn with its Parameters (slot and bus; the Linux interface for a real port), its
// entries in the driver's shared Route, Bind and Export lists, and one count in RefCount.
#include <net/if.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "hive.h"
#include "netsetup.h"
#include "pairway/host_nic.h"
#include "pairway/nic_state.h"
#include "pairway/registry_batch.h"
#include "registry_layout.h"

namespace netsetup {
namespace {

namespace fs = std::filesystem;

const long kLastCardNumber = 254;  // the monitor scans card numbers 1 to 254
const char kManufacturer[] = "Corvane";
const char kDriverImagePath[] = "\\SystemRoot\\System32\\drivers\\trevan.sys";
const DWORD kDefaultSlot = 1;
const DWORD kDefaultBus = 0;

std::string CardKey(long n) { return NETWORK_CARDS_KEY_SLASH + std::to_string(n); }
std::string ServiceName(long n) { return TREVAN_PRODUCT_NAME + std::to_string(n); }
std::string ServiceKey(long n) { return SERVICES_KEY_SLASH + ServiceName(n); }
std::string RouteEntry(long n) { return "\"" + ServiceName(n) + "\""; }
std::string DeviceEntry(long n) { return "\\Device\\" + ServiceName(n); }

std::string Status(LONG status) { return " (error " + std::to_string(status) + ")"; }

bool CardExists(long n) {
  Key key;
  return key.Open(CardKey(n)) == ERROR_SUCCESS;
}

struct PciAddress {
  DWORD bus;
  DWORD slot;
};

// The PCI address of a Linux interface ("0000:03:04.1": bus 3, slot 4), when it has one.
bool InterfacePciAddress(const std::string& ifname, PciAddress* address) {
  std::error_code error;
  fs::path device = fs::read_symlink("/sys/class/net/" + ifname + "/device", error);
  if (error) return false;
  fs::path subsystem = fs::read_symlink("/sys/class/net/" + ifname + "/device/subsystem", error);
  if (error || subsystem.filename() != "pci") return false;
  unsigned domain, bus, slot, function;
  if (sscanf(device.filename().c_str(), "%x:%x:%x.%x", &domain, &bus, &slot, &function) != 4) {
    return false;
  }
  address->bus = bus;
  address->slot = slot;
  return true;
}

struct CardOptions {
  DWORD slot = kDefaultSlot;
  DWORD bus = kDefaultBus;
  bool slot_given = false;
  bool bus_given = false;
  std::string title;
  std::string interface;
};

int ParseCardOptions(const Args& args, CardOptions* options) {
  const char* verb = "add-card";
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& arg = args[i];
    if (arg != "--slot" && arg != "--bus" && arg != "--title" && arg != "--interface") {
      return Fail(verb, kExitUsage, "unknown argument '" + arg + "'");
    }
    if (i + 1 >= args.size()) return Fail(verb, kExitUsage, arg + " needs a value");
    const std::string& value = args[++i];
    long number = 0;
    if (arg == "--slot" || arg == "--bus") {
      if (!ParseNumber(value, 0, 255, &number)) {
        return Fail(verb, kExitUsage, arg + " takes a number from 0 to 255, not '" + value + "'");
      }
      (arg == "--slot" ? options->slot : options->bus) = static_cast<DWORD>(number);
      (arg == "--slot" ? options->slot_given : options->bus_given) = true;
    } else if (arg == "--title") {
      options->title = value;
    } else {
      options->interface = value;
    }
  }
  return kExitOk;
}

LONG WriteCardEntry(long n, const CardOptions& options) {
  Key card;
  LONG status = card.Create(CardKey(n));
  std::string title = options.title.empty()
                          ? "[" + std::to_string(n) + "] Corvane TREVAN Multi-Port Adapter"
                          : options.title;
  if (status == ERROR_SUCCESS)
    status = SetString(card.get(), VAL_PRODUCT_NAME, TREVAN_PRODUCT_NAME);
  if (status == ERROR_SUCCESS) status = SetString(card.get(), VAL_SERVICE_NAME, ServiceName(n));
  if (status == ERROR_SUCCESS) status = SetString(card.get(), VAL_MANUFACTURER, kManufacturer);
  if (status == ERROR_SUCCESS) status = SetString(card.get(), VAL_TITLE, title);
  Key rules;
  if (status == ERROR_SUCCESS) status = rules.Create(CardKey(n) + "\\" NET_RULES_SUBKEY);
  if (status == ERROR_SUCCESS) {
    status = SetString(rules.get(), VAL_BINDFORM, RouteEntry(n) + BINDFORM_SUFFIX);
  }
  if (status == ERROR_SUCCESS) {
    status = SetMultiSz(rules.get(), VAL_CLASS, {TREVAN_PRODUCT_NAME CLASS_SUFFIX});
  }
  if (status == ERROR_SUCCESS) {
    status =
        SetString(rules.get(), VAL_TYPE, TREVAN_PRODUCT_NAME " " TREVAN_PRODUCT_NAME TYPE_SUFFIX);
  }
  return status;
}

LONG WriteDriverService(long n, const CardOptions& options) {
  Key service;
  LONG status = service.Create(ServiceKey(n));
  if (status == ERROR_SUCCESS) status = SetDword(service.get(), "Type", 1);
  if (status == ERROR_SUCCESS) status = SetDword(service.get(), "Start", 3);
  if (status == ERROR_SUCCESS) status = SetDword(service.get(), "ErrorControl", 1);
  if (status == ERROR_SUCCESS) {
    status = SetString(service.get(), VAL_IMAGE_PATH, kDriverImagePath, REG_EXPAND_SZ);
  }
  Key parameters;
  if (status == ERROR_SUCCESS) status = parameters.Create(ServiceKey(n) + "\\" PARAMETERS_SUBKEY);
  if (status == ERROR_SUCCESS) status = SetDword(parameters.get(), VAL_SLOT_NUMBER, options.slot);
  if (status == ERROR_SUCCESS) status = SetDword(parameters.get(), VAL_BUS_NUMBER, options.bus);
  if (status == ERROR_SUCCESS && !options.interface.empty()) {
    status = SetString(parameters.get(), pairway::kHostInterfaceValue, options.interface);
  }
  return status;
}

// Adds (or removes, with add false) one entry of each linkage list.
LONG EditLinkage(long n, bool add) {
  Key linkage;
  LONG status = linkage.Open(DRIVER_LINKAGE_KEY);
  const std::pair<const char*, std::string> lists[] = {
      {VAL_ROUTE, RouteEntry(n)}, {VAL_BIND, DeviceEntry(n)}, {VAL_EXPORT, DeviceEntry(n)}};
  for (const auto& [name, entry] : lists) {
    if (status != ERROR_SUCCESS) break;
    std::vector<std::string> entries;
    status = GetMultiSz(linkage.get(), name, &entries);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;  // an empty list
    if (status != ERROR_SUCCESS) break;
    if (add) {
      entries.push_back(entry);
    } else {
      entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
    }
    status = SetMultiSz(linkage.get(), name, entries);
  }
  return status;
}

LONG AddToRefCount(int delta) {
  Key software;
  LONG status = software.Create(TREVAN_SOFTWARE_KEY);
  DWORD count = 0;
  if (status == ERROR_SUCCESS) {
    status = GetDword(software.get(), VAL_REF_COUNT, &count);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  }
  if (delta < 0 && count == 0) return status;
  if (status == ERROR_SUCCESS) {
    status = SetDword(software.get(), VAL_REF_COUNT, static_cast<DWORD>(count + delta));
  }
  return status;
}

// Writes the registry part of a new card and gives its number. The whole card is one
// transaction: the monitor, the configuration library and the SNMP agent read the card list
// while ports are installed and must never meet a card without its service, bind rules, linkage
// entries or count; the batch also keeps two installations from taking the same card number. A
// batch that cannot begin (a read-only hive) lets the first write report why. The batch ends
// before this returns: later registry calls of the thread would wait for it.
int WriteNewCard(const CardOptions& options, long* number, LONG* status) {
  const char* verb = "add-card";
  pairway::RegistryBatch batch;
  {
    Key linkage;
    if (linkage.Open(DRIVER_LINKAGE_KEY) != ERROR_SUCCESS) {
      return Fail(verb, kExitNotFound, "the TREVAN driver is not installed: run init first");
    }
  }
  long n = 1;
  while (n <= kLastCardNumber && CardExists(n)) n++;
  if (n > kLastCardNumber) return Fail(verb, kExitFull, "every card number is taken");
  *number = n;
  *status = WriteDriverService(n, options);
  if (*status == ERROR_SUCCESS) *status = WriteCardEntry(n, options);
  if (*status == ERROR_SUCCESS) *status = EditLinkage(n, true);
  if (*status == ERROR_SUCCESS) *status = AddToRefCount(+1);
  if (*status == ERROR_SUCCESS) *status = batch.Commit();
  return kExitOk;
}

}  // namespace

int RunAddCard(const Args& args) {
  const char* verb = "add-card";
  CardOptions options;
  int result = ParseCardOptions(args, &options);
  if (result != kExitOk) return result;
  if (!options.interface.empty()) {
    // Looked up in the tool's own network namespace, where the port's queries will look.
    if (options.interface.size() >= IF_NAMESIZE || if_nametoindex(options.interface.c_str()) == 0) {
      return Fail(verb, kExitNotFound, "no network interface '" + options.interface + "'");
    }
    PciAddress pci;
    if (InterfacePciAddress(options.interface, &pci)) {
      if (!options.slot_given) options.slot = pci.slot;
      if (!options.bus_given) options.bus = pci.bus;
    }
  }
  long n = 0;
  LONG status = ERROR_SUCCESS;
  result = WriteNewCard(options, &n, &status);
  if (result != kExitOk) return result;
  // An emulated port's driver answers from its state, which a new card brings.
  if (status == ERROR_SUCCESS && options.interface.empty()) {
    status = pairway::WriteNicState(getenv("PAIRWAY_ROOT"), ServiceName(n),
                                    pairway::DefaultNicState(static_cast<int>(n)));
  }
  if (status != ERROR_SUCCESS) {
    return Fail(verb, kExitRegistry, "cannot install card " + std::to_string(n) + Status(status));
  }
  printf("%ld\n", n);
  return kExitOk;
}

int RunRemoveCard(const Args& args) {
  const char* verb = "remove-card";
  long n = 0;
  if (args.size() != 1 || !ParseNumber(args[0], 1, kLastCardNumber, &n)) {
    return Fail(verb, kExitUsage, "takes one card number from 1 to 254");
  }
  {
    Key card;
    std::string product;
    if (card.Open(CardKey(n)) != ERROR_SUCCESS ||
        GetString(card.get(), VAL_PRODUCT_NAME, &product) != ERROR_SUCCESS ||
        product != TREVAN_PRODUCT_NAME) {
      return Fail(verb, kExitNotFound, "card " + args[0] + " is not a TREVAN port");
    }
  }
  // As the platform's setup does, the configuration library first takes the port out of its
  // group, so that no backup is left following a port that is gone. When that cannot be done,
  // the card stays: removing it would leave its group broken.
  std::string result;
  bool has_result = false;
  int called =
      CallSetupProcedure(verb, "aggcfg.dll", "TrevanRemoveLinks", {args[0]}, &result, &has_result);
  if (called != kExitOk) return called;
  // The registry part in one transaction, as the installation: no reader meets half a card.
  LONG status;
  {
    pairway::RegistryBatch batch;
    status = EditLinkage(n, false);
    if (status == ERROR_SUCCESS) status = DeleteTree(CardKey(n));
    if (status == ERROR_SUCCESS) status = DeleteTree(ServiceKey(n));
    if (status == ERROR_SUCCESS) status = AddToRefCount(-1);
    if (status == ERROR_SUCCESS) status = batch.Commit();
  }
  if (status == ERROR_SUCCESS) {
    // A Linux port has no state; a card installed before ports kept one neither.
    pairway::RemoveNicState(getenv("PAIRWAY_ROOT"), ServiceName(n));
  }
  if (status != ERROR_SUCCESS) {
    return Fail(verb, kExitRegistry, "cannot remove card " + args[0] + Status(status));
  }
  // The port may have left a group: the driver lets its interface go only once it re-reads.
  TellDriver(verb);
  return kExitOk;
}

}  // namespace netsetup
