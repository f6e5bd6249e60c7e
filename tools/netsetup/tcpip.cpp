// pairway-netsetup set-ip: a port's TCP/IP addresses, as the TCP/IP setup stores them
// ("IPAddress" and "SubnetMask", multi-strings of dotted addresses that pair by position, in the
// port's Parameters\Tcpip key).
#include <arpa/inet.h>

#include <string>
#include <vector>

#include "hive.h"
#include "pairway/registry_batch.h"
#include "netsetup.h"
#include "registry_layout.h"

namespace netsetup {
namespace {

const char kVerb[] = "set-ip";

std::string Dotted(uint32_t host_order) {
  in_addr address{htonl(host_order)};
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// The mask of the address's class, which the TCP/IP setup proposes for an address given alone.
std::string ClassMask(uint32_t host_order) {
  uint32_t first = host_order >> 24;
  if (first < 128) return "255.0.0.0";
  if (first < 192) return "255.255.0.0";
  return "255.255.255.0";
}

struct Address {
  std::string address;
  std::string mask;  // empty: none was given
};

// "10.0.0.1" or "10.0.0.1/24"; false for anything else (the prefix from 1 to 32).
bool ParseAddress(const std::string& text, Address* parsed) {
  std::string address = text;
  std::string prefix;
  size_t slash = text.find('/');
  if (slash != std::string::npos) {
    address = text.substr(0, slash);
    prefix = text.substr(slash + 1);
  }
  in_addr in;
  if (inet_pton(AF_INET, address.c_str(), &in) != 1) return false;
  parsed->address = address;
  parsed->mask.clear();
  if (slash == std::string::npos) return true;
  long bits = 0;
  if (!ParseNumber(prefix, 1, 32, &bits)) return false;
  parsed->mask = Dotted(bits == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> bits));
  return true;
}

// Writes (or with no addresses removes) the pair of lists. A mask list left from earlier
// addresses would pair old masks with new addresses, so it goes whenever none is given.
LONG WriteAddresses(const std::string& tcpip_path, const std::vector<Address>& addresses) {
  Key tcpip;
  LONG status;
  bool masks = false;
  for (const Address& address : addresses) masks = masks || !address.mask.empty();
  if (addresses.empty()) {
    status = tcpip.Open(tcpip_path);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  } else {
    status = tcpip.Create(tcpip_path);
    std::vector<std::string> texts;
    for (const Address& address : addresses) texts.push_back(address.address);
    if (status == ERROR_SUCCESS) status = SetMultiSz(tcpip.get(), VAL_IP_ADDRESS, texts);
  }
  if (status != ERROR_SUCCESS) return status;
  if (masks) {
    std::vector<std::string> texts;
    for (const Address& address : addresses) {
      in_addr in;
      inet_pton(AF_INET, address.address.c_str(), &in);
      texts.push_back(address.mask.empty() ? ClassMask(ntohl(in.s_addr)) : address.mask);
    }
    return SetMultiSz(tcpip.get(), VAL_SUBNET_MASK, texts);
  }
  std::vector<const char*> gone = {VAL_SUBNET_MASK};
  if (addresses.empty()) gone.push_back(VAL_IP_ADDRESS);
  for (const char* name : gone) {
    status = RegDeleteValueA(tcpip.get(), name);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

int RunSetIp(const Args& args) {
  long n = 0;
  if (args.empty() || !ParseNumber(args[0], 1, 254, &n)) {
    return Fail(kVerb, kExitUsage, "takes a card number from 1 to 254, then the addresses");
  }
  std::vector<Address> addresses;
  for (auto text = args.begin() + 1; text != args.end(); ++text) {
    Address address;
    if (!ParseAddress(*text, &address)) {
      return Fail(kVerb, kExitUsage,
                  "'" + *text + "' is not a dotted IPv4 address (with an optional /PREFIX, 1-32)");
    }
    addresses.push_back(address);
  }
  std::string parameters =
      SERVICES_KEY_SLASH TREVAN_PRODUCT_NAME + std::to_string(n) + "\\" PARAMETERS_SUBKEY;
  {
    Key driver;
    if (driver.Open(parameters) != ERROR_SUCCESS) {
      return Fail(kVerb, kExitNotFound, "card " + args[0] + " has no driver parameters");
    }
  }
  LONG status;
  {
    // Both lists or neither: a driver reading between them would pair the wrong mask.
    pairway::RegistryBatch batch;
    status = static_cast<LONG>(batch.status());
    if (status == ERROR_SUCCESS) status = WriteAddresses(parameters + "\\" TCPIP_SUBKEY, addresses);
    if (status == ERROR_SUCCESS) status = static_cast<LONG>(batch.Commit());
  }
  if (status != ERROR_SUCCESS) {
    return Fail(kVerb, kExitRegistry,
                "cannot write the TCP/IP address (error " + std::to_string(status) + ")");
  }
  // The driver gives a group the primary's addresses: it has to read them again.
  TellDriver(kVerb);
  return kExitOk;
}

}  // namespace netsetup
