// group_model.h: the failover groups as the driver parameters of the TREVAN ports describe them.
//
// The configuration library writes each port's role into its driver parameters; the driver reads
// them back here, at its start and at every PARAMCHANGE. The rules:
//   1. A port with "LinkCheckTimeOut" heads a group (also when it holds "PrimaryIndex" too: the
//      time-out is the mark the configuration library itself goes by). A head with no backups is
//      a group of one.
//   2. A port with "PrimaryIndex" and no "LinkCheckTimeOut" is a backup of the head whose
//      "AdapterIndex" it names. When no head has that index, or more than one has, the port is
//      left stand-alone and rejected with the reason.
//   3. Every other port is stand-alone and not the driver's business here.
//   4. A group is run on emulated links when none of its ports names a Linux interface, on Linux
//      interfaces when all do; a group that mixes both is rejected whole.
//   5. One Linux interface serves one port: a port that names an interface an earlier port of a
//      group (by instance number) already uses is rejected, and so is a group whose head is;
//      the backups of a rejected head are rejected with it.
//   6. The group's IPv4 addresses are the head's TCP/IP "IPAddress" entries with the "SubnetMask"
//      at the same place (a missing or empty mask: the class mask of the address); when the head
//      has no TCP/IP address, the "IPAddress" copy in its driver parameters with its class mask.
//      Entries that are no host address (0.0.0.0, multicast, malformed, a mask with holes) are
//      left out and noted.
// Bad input never stops the reading: what cannot be used is rejected or noted, the rest forms.
//
// Everything here is pure: the registry is read into PortParams elsewhere (registry_ports.h).
#ifndef PAIRWAY_DRIVER_GROUP_MODEL_H
#define PAIRWAY_DRIVER_GROUP_MODEL_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data_path.h"
#include "failover_state.h"

namespace pairway::driver {

// One TREVAN port's driver parameters, as read from the registry.
struct PortParams {
  std::string port;  // instance name, "TREVAN3"
  int instance = 0;  // the number after the product name
  std::optional<uint32_t> adapter_index;
  std::optional<uint32_t> primary_index;
  std::optional<uint32_t> link_check_timeout;
  std::string group_name;                 // "GroupName", empty when absent
  std::string host_interface;             // the Linux interface; empty for an emulated port
  std::vector<std::string> ip_addresses;  // Parameters\Tcpip "IPAddress"
  std::vector<std::string> subnet_masks;  // Parameters\Tcpip "SubnetMask"
  std::string address_copy;               // Parameters "IPAddress", the monitor's copy
};

struct GroupConfig {
  std::string name;  // "GroupName" of the head (may be empty)
  std::string head;  // the head's instance name
  uint32_t link_check_timeout_s = 0;
  bool emulated = true;
  // The head first, then the backups in the order they take over: highest instance number
  // first. `ifname` is empty for emulated ports.
  std::vector<MemberSpec> members;
  std::vector<Ipv4Prefix> addresses;

  bool operator==(const GroupConfig& other) const;
};

struct GroupModel {
  std::vector<GroupConfig> groups;     // by the head's instance number
  std::vector<RejectedPort> rejected;  // by instance number
  std::vector<std::string> notes;      // what was left out of a group that still forms
};

GroupModel FormGroups(std::vector<PortParams> ports);

bool SameAddresses(const std::vector<Ipv4Prefix>& a, const std::vector<Ipv4Prefix>& b);

// The address's class mask length: 8, 16 or 24; 0 for an address that is no unicast host
// address of a class (0.x.x.x, loopback 127.x.x.x, 224 and above).
unsigned ClassPrefixLength(in_addr address);

// "192.168.1.10/24" for the published state.
std::string FormatPrefix(const Ipv4Prefix& prefix);

// The name of a group's Linux interface: the group's name with what Linux refuses in a name
// ('/', ':', blanks, bytes outside printable ASCII) made '-', cut to 15 bytes; a name that is
// empty then, "." or "..", becomes the head's instance name in lower case. While `taken` says a
// name is in use, "-2", "-3", ... replace its end. Empty when no free name was found.
std::string LinuxInterfaceName(const std::string& group_name, const std::string& head,
                               const std::function<bool(const std::string&)>& taken);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_GROUP_MODEL_H
