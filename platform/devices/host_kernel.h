// host_kernel.h: what the Linux kernel says about one network interface, read fresh on every
// call.
//
// Every reader looks the interface up in the network namespace of the calling thread: the
// netlink and ioctl sockets are made by the caller, and the multicast list comes from
// /proc/thread-self/net. Nothing reads /sys/class/net, which shows the namespace that mounted
// sysfs rather than the caller's.
//
// Errors: ERROR_FILE_NOT_FOUND (no such interface here), ERROR_NOT_SUPPORTED (the interface's
// driver does not give this), ERROR_GEN_FAILURE (the kernel could not be asked). Out-parameters
// are untouched on error.
#ifndef PAIRWAY_DEVICES_HOST_KERNEL_H
#define PAIRWAY_DEVICES_HOST_KERNEL_H

#include <linux/if_link.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "windef.h"

namespace pairway {

using HardwareAddress = std::vector<uint8_t>;

// One RTM_GETLINK answer.
struct HostLink {
  unsigned flags = 0;  // IFF_UP, IFF_RUNNING (operationally up), ...
  HardwareAddress address;
  bool has_stats = false;
  rtnl_link_stats64 stats{};
};
DWORD ReadHostLink(std::string_view interface, HostLink* link);

// ETHTOOL_GPERMADDR: the address the hardware came with. Interfaces made in software (veth)
// have none and answer all zeros.
DWORD ReadPermanentAddress(std::string_view interface, HardwareAddress* address);

// ETHTOOL_GDRVINFO.
struct HostDriverInfo {
  std::string driver;   // "veth", "e1000e", ...
  std::string version;  // as the driver gives it: "1.0", or the kernel release for many
};
DWORD ReadDriverInfo(std::string_view interface, HostDriverInfo* info);

// ETHTOOL_GLINKSETTINGS, or ETHTOOL_GSET from drivers that have only the older call.
struct HostLinkSettings {
  uint32_t speed_mbps = 0xFFFFFFFF;  // SPEED_UNKNOWN
  uint8_t duplex = 0xFF;             // DUPLEX_HALF 0, DUPLEX_FULL 1, DUPLEX_UNKNOWN 0xFF
};
DWORD ReadLinkSettings(std::string_view interface, HostLinkSettings* settings);

// The interface's link-layer multicast list, in the kernel's order (as `ip maddr` lists it).
DWORD ReadMulticastList(std::string_view interface, std::vector<std::array<uint8_t, 6>>* list);

}  // namespace pairway

#endif  // PAIRWAY_DEVICES_HOST_KERNEL_H
