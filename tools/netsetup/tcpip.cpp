// pairway-netsetup set-ip: a port's TCP/IP addresses, as the TCP/IP setup stores them
// ("IPAddress", a multi-string of dotted addresses, in the port's Parameters\Tcpip key).
#include <arpa/inet.h>

#include <string>
#include <vector>

#include "hive.h"
#include "netsetup.h"
#include "registry_layout.h"

namespace netsetup {

int RunSetIp(const Args& args) {
  const char* verb = "set-ip";
  long n = 0;
  if (args.empty() || !ParseNumber(args[0], 1, 254, &n)) {
    return Fail(verb, kExitUsage, "takes a card number from 1 to 254, then the addresses");
  }
  std::vector<std::string> addresses(args.begin() + 1, args.end());
  for (const std::string& address : addresses) {
    in_addr parsed;
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
      return Fail(verb, kExitUsage, "'" + address + "' is not a dotted IPv4 address");
    }
  }
  std::string parameters =
      SERVICES_KEY_SLASH TREVAN_PRODUCT_NAME + std::to_string(n) + "\\" PARAMETERS_SUBKEY;
  {
    Key driver;
    if (driver.Open(parameters) != ERROR_SUCCESS) {
      return Fail(verb, kExitNotFound, "card " + args[0] + " has no driver parameters");
    }
  }
  Key tcpip;
  LONG status;
  if (addresses.empty()) {
    status = tcpip.Open(parameters + "\\" TCPIP_SUBKEY);
    if (status == ERROR_FILE_NOT_FOUND) return kExitOk;
    if (status == ERROR_SUCCESS) status = RegDeleteValueA(tcpip.get(), VAL_IP_ADDRESS);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  } else {
    status = tcpip.Create(parameters + "\\" TCPIP_SUBKEY);
    if (status == ERROR_SUCCESS) status = SetMultiSz(tcpip.get(), VAL_IP_ADDRESS, addresses);
  }
  if (status != ERROR_SUCCESS) {
    return Fail(verb, kExitRegistry,
                "cannot write the TCP/IP address (error " + std::to_string(status) + ")");
  }
  return kExitOk;
}

}  // namespace netsetup
