// group_ports.h: the ports of a group, as the registry records the group.
#ifndef PAIRWAY_STATSLIB_GROUP_PORTS_H
#define PAIRWAY_STATSLIB_GROUP_PORTS_H

#include <string>
#include <vector>

namespace standbyag {

// The driver instances (TREVAN3, ...) of the group named `group`: its primary, the first port of
// the driver in the card list that holds "LinkCheckTimeOut" and a "GroupName" equal to `group`
// (exactly, as the configuration page wrote it), and every other port whose "PrimaryIndex" is the
// primary's "AdapterIndex". Primary first, then the backups in the order the registry lists the
// cards. Empty when no primary has that name or the registry cannot be read.
std::vector<std::string> FindGroupPorts(const std::string& group);

}  // namespace standbyag

#endif  // PAIRWAY_STATSLIB_GROUP_PORTS_H
