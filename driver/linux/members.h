// members.h: taking an interface in as a group member, and giving back what was taken.
//
// A member, while it is one, holds no address of its own (so that the host answers for the
// group only through the group interface) and, where asked, has IPv6 off (so that it makes no
// link-local address of the group's MAC beside the group interface's), the group's MAC, and
// IFF_ALLMULTI (so that the multicast the group joins reaches it). What it was before is a
// MemberRecord, written to the journal before anything changes.
//
// Calls go through a netlink Channel in the caller's namespace; IPv6 is switched in
// /proc/sys/net/ipv6/conf, which shows the namespace of the calling thread.
#ifndef PAIRWAY_DRIVER_LINUX_MEMBERS_H
#define PAIRWAY_DRIVER_LINUX_MEMBERS_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "journal.h"
#include "netlink/link.h"
#include "netlink/socket.h"

namespace pairway::driver {

// Reads what TakeMember will change. False with *error when `ifname` does not exist here or
// is a member of a bridge or bond already (it then belongs to something else).
[[nodiscard]] bool RecordMember(netlink::Channel& channel, const std::string& ifname,
                                MemberRecord* record, netlink::Link* link, std::string* error);

struct TakeOptions {
  std::vector<uint8_t> mac;  // empty: the MAC is left as it is
  bool disable_ipv6 = true;
  bool bring_up = true;
};

// Deletes the member's addresses, turns IPv6 off, sets the MAC and IFF_ALLMULTI and brings it
// up, as `options` say. False with *error at the first step the kernel refused; what was done
// before it stays done (give the member back to undo it).
[[nodiscard]] bool TakeMember(netlink::Channel& channel, int index, const MemberRecord& record,
                              const TakeOptions& options, std::string* error);

// Gives the member back what `record` holds: MAC, IPv6, addresses, IFF_ALLMULTI, up state.
// Every step is tried; each one that fails is logged. False when one failed or the member is
// not here any more.
bool GiveBackMember(netlink::Channel& channel, const MemberRecord& record);

// IPv6 on (1) or off (0) for `ifname`, or -1 when it has no IPv6 settings.
int ReadIpv6Enabled(const std::string& ifname);
bool WriteIpv6Enabled(const std::string& ifname, bool enabled);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_LINUX_MEMBERS_H
