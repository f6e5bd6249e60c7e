// back_ends.h: the Linux data paths behind data_path.h, and what this host can run.
//
// Each factory takes an open netlink channel (in the namespace the group is to be made in)
// and the journal folder; MakeDataPath (data_path_host.cpp) chooses among them.
#ifndef PAIRWAY_DRIVER_LINUX_BACK_ENDS_H
#define PAIRWAY_DRIVER_LINUX_BACK_ENDS_H

#include <filesystem>
#include <memory>
#include <string>

#include "data_path.h"
#include "netlink/socket.h"

namespace pairway::driver {

std::unique_ptr<DataPath> MakeBondDataPath(std::unique_ptr<netlink::Channel> channel,
                                           const std::filesystem::path& journal);
std::unique_ptr<DataPath> MakeTcDataPath(std::unique_ptr<netlink::Channel> channel,
                                         const std::filesystem::path& journal);
std::unique_ptr<DataPath> MakeTapDataPath(std::unique_ptr<netlink::Channel> channel,
                                          const std::filesystem::path& journal);

// What the kernel offers, found once per process by making (and at once deleting) a bond, a
// veth pair with clsact, a redirect and a drop filter, and by opening /dev/net/tun. Each
// `*_missing` says why its kind cannot run; empty when it can.
struct HostSupport {
  std::string bond_missing;
  std::string tc_missing;
  std::string tap_missing;
};
const HostSupport& ProbeHost(netlink::Channel& channel);

// The name of the veth peer behind a "tc" group interface: the group's first 12 bytes and
// "-pw".
std::string TcPeerName(const std::string& group_ifname);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_LINUX_BACK_ENDS_H
