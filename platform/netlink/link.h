// link.h: network interfaces (rtnetlink links): reading them, changing them, making veth pairs
// and active-backup bonds.
//
// Each operation has a builder (XxxRequest) that makes its message without a kernel, for tests
// to read back, and a call that sends it on a Channel (socket.h): a Socket, in that socket's
// namespace, or a test's stand-in.
// Errors are the kernel's (see socket.h for the common codes); a missing interface is ENODEV.
// Out-parameters are untouched on error.
#ifndef PAIRWAY_NETLINK_LINK_H
#define PAIRWAY_NETLINK_LINK_H

#include <linux/if_link.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "netlink/message.h"
#include "netlink/socket.h"
#include "netlink/status.h"

namespace pairway::netlink {

// What a bond reports of itself (IFLA_INFO_DATA of kind "bond"); zeros for other kinds.
struct BondState {
  uint8_t mode = 0;        // BOND_MODE_ACTIVEBACKUP is 1
  uint32_t miimon_ms = 0;  // link monitor interval
  uint32_t updelay_ms = 0;
  uint32_t downdelay_ms = 0;
  int primary = 0;       // ifindex, 0 for none
  int active_slave = 0;  // ifindex of the slave that carries the frames, 0 for none
};

// One RTM_NEWLINK message.
struct Link {
  int index = 0;
  std::string name;
  unsigned flags = 0;            // IFF_UP, IFF_RUNNING, IFF_LOWER_UP, IFF_ALLMULTI, ...
  uint8_t operstate = 0;         // IF_OPER_UP, IF_OPER_DOWN, ... (IF_OPER_UNKNOWN 0 when not given)
  std::vector<uint8_t> address;  // the current link-layer address
  int master = 0;                // ifindex of the bridge or bond it belongs to, 0 for none
  int link = 0;                  // IFLA_LINK: a veth's peer, a macvlan's lower device; 0 none
  bool link_elsewhere = false;   // the IFLA_LINK interface is in another namespace
  std::string kind;              // "veth", "bond", "bridge", "tun"; "" for hardware
  BondState bond;
  bool has_stats = false;
  rtnl_link_stats64 stats{};

  // Administratively up and with carrier: the link can carry frames.
  bool carrier_up() const;
};

// Reads one link message (RTM_NEWLINK or RTM_DELLINK) into *link; false when `message` is no
// such message or too short for one.
bool ParseLink(const nlmsghdr* message, Link* link);

Request GetLinkRequest(std::string_view name);
Request GetLinkRequest(int index);
Request ListLinksRequest();
// Sets the bits of `flags` that `change` selects (IFF_UP, IFF_ALLMULTI, IFF_PROMISC).
Request SetLinkFlagsRequest(int index, unsigned flags, unsigned change);
Request SetLinkAddressRequest(int index, std::span<const uint8_t> address);
Request SetLinkNameRequest(int index, std::string_view name);
Request SetLinkMasterRequest(int index, int master);  // master 0 leaves the bridge or bond
Request DeleteLinkRequest(int index);

// A veth pair `name` <-> `peer`, both down. The peer is made in the namespace that
// `peer_namespace_fd` (an open /run/netns/NAME or /proc/PID/ns/net) names, or beside `name`
// when it is -1.
Request NewVethRequest(std::string_view name, std::string_view peer, int peer_namespace_fd = -1);

// An active-backup bond: the kernel watches its slaves' carrier every miimon_ms, waits
// updelay/downdelay (multiples of miimon_ms) before it believes a change, prefers `primary`
// whenever that slave is up, gives every slave the bond's address (no fail_over_mac) and
// announces the bond's addresses once through the new active slave after every change.
// Values of two bond options that the kernel's user headers do not name.
inline constexpr uint8_t kBondFailOverMacNone = 0;        // every slave takes the bond's address
inline constexpr uint8_t kBondPrimaryReselectAlways = 0;  // the primary returns whenever it is up
struct BondSettings {
  std::string name;
  std::vector<uint8_t> address;  // empty: the kernel's choice (the first slave's)
  uint32_t miimon_ms = 100;
  uint32_t updelay_ms = 0;
  uint32_t downdelay_ms = 0;
  int primary = 0;  // ifindex; 0 for none (it can be set once the slave exists)
};
Request NewBondRequest(const BondSettings& settings);
Request SetBondPrimaryRequest(int bond, int primary);

Status GetLink(Channel& socket, std::string_view name, Link* link);
Status GetLink(Channel& socket, int index, Link* link);
Status ListLinks(Channel& socket, std::vector<Link>* links);
Status SetLinkFlags(Channel& socket, int index, unsigned flags, unsigned change);
Status SetLinkUp(Channel& socket, int index, bool up);
Status SetLinkAddress(Channel& socket, int index, std::span<const uint8_t> address);
Status SetLinkName(Channel& socket, int index, std::string_view name);
Status SetLinkMaster(Channel& socket, int index, int master);
Status DeleteLink(Channel& socket, int index);
Status CreateVeth(Channel& socket, std::string_view name, std::string_view peer,
                  int peer_namespace_fd = -1);
Status CreateBond(Channel& socket, const BondSettings& settings);
Status SetBondPrimary(Channel& socket, int bond, int primary);

// The ifindex of `name`, or 0 when there is none (or the kernel could not be asked).
int IndexOf(Channel& socket, std::string_view name);

}  // namespace pairway::netlink

#endif  // PAIRWAY_NETLINK_LINK_H
