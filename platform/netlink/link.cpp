// rtnetlink links: the link message's attributes, its builders and calls; see link.h.
#include "netlink/link.h"

#include <linux/if.h>
#include <linux/if_bonding.h>
#include <linux/rtnetlink.h>
#include <linux/veth.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pairway::netlink {
namespace {

ifinfomsg* StartLink(Request& request, int index) {
  auto* info = request.header<ifinfomsg>();
  info->ifi_family = AF_UNSPEC;
  info->ifi_index = index;
  return info;
}

Request LinkChange(int index) {
  Request request(RTM_SETLINK, 0, sizeof(ifinfomsg));
  StartLink(request, index);
  return request;
}

std::string Interface(int index) { return "interface " + std::to_string(index); }

void ParseBond(const nlattr* data, BondState* bond) {
  Attributes attributes(data, IFLA_BOND_MAX);
  bond->mode = attributes.U8(IFLA_BOND_MODE);
  bond->miimon_ms = attributes.U32(IFLA_BOND_MIIMON);
  bond->updelay_ms = attributes.U32(IFLA_BOND_UPDELAY);
  bond->downdelay_ms = attributes.U32(IFLA_BOND_DOWNDELAY);
  bond->primary = static_cast<int>(attributes.U32(IFLA_BOND_PRIMARY));
  bond->active_slave = static_cast<int>(attributes.U32(IFLA_BOND_ACTIVE_SLAVE));
}

}  // namespace

bool Link::carrier_up() const { return (flags & IFF_UP) && (flags & IFF_LOWER_UP); }

bool ParseLink(const nlmsghdr* message, Link* link) {
  if (message->nlmsg_type != RTM_NEWLINK && message->nlmsg_type != RTM_DELLINK) return false;
  if (mnl_nlmsg_get_payload_len(message) < sizeof(ifinfomsg)) return false;
  const auto* info = static_cast<const ifinfomsg*>(mnl_nlmsg_get_payload(message));
  Attributes attributes(message, sizeof(ifinfomsg), IFLA_MAX);
  Link parsed;
  parsed.index = info->ifi_index;
  parsed.flags = info->ifi_flags;
  parsed.name = attributes.String(IFLA_IFNAME);
  parsed.operstate = attributes.U8(IFLA_OPERSTATE);
  const std::span<const uint8_t> address = attributes.Bytes(IFLA_ADDRESS);
  parsed.address.assign(address.begin(), address.end());
  parsed.master = static_cast<int>(attributes.U32(IFLA_MASTER));
  parsed.link = static_cast<int>(attributes.U32(IFLA_LINK));
  parsed.link_elsewhere = attributes.has(IFLA_LINK_NETNSID);
  if (const std::span<const uint8_t> stats = attributes.Bytes(IFLA_STATS64); !stats.empty()) {
    // Older and newer kernels send fewer or more fields than this build knows.
    std::memcpy(&parsed.stats, stats.data(), std::min(stats.size(), sizeof parsed.stats));
    parsed.has_stats = true;
  }
  Attributes info_attributes(attributes[IFLA_LINKINFO], IFLA_INFO_MAX);
  parsed.kind = info_attributes.String(IFLA_INFO_KIND);
  if (parsed.kind == "bond") ParseBond(info_attributes[IFLA_INFO_DATA], &parsed.bond);
  *link = std::move(parsed);
  return true;
}

Request GetLinkRequest(std::string_view name) {
  Request request(RTM_GETLINK, 0, sizeof(ifinfomsg));
  StartLink(request, 0);
  request.PutString(IFLA_IFNAME, name);
  return request;
}

Request GetLinkRequest(int index) {
  Request request(RTM_GETLINK, 0, sizeof(ifinfomsg));
  StartLink(request, index);
  return request;
}

Request ListLinksRequest() {
  Request request(RTM_GETLINK, 0, sizeof(ifinfomsg));
  StartLink(request, 0);
  return request;
}

Request SetLinkFlagsRequest(int index, unsigned flags, unsigned change) {
  Request request(RTM_SETLINK, 0, sizeof(ifinfomsg));
  ifinfomsg* info = StartLink(request, index);
  info->ifi_flags = flags & change;
  info->ifi_change = change;
  return request;
}

Request SetLinkAddressRequest(int index, std::span<const uint8_t> address) {
  Request request = LinkChange(index);
  request.PutBytes(IFLA_ADDRESS, address.data(), address.size());
  return request;
}

Request SetLinkNameRequest(int index, std::string_view name) {
  Request request = LinkChange(index);
  request.PutString(IFLA_IFNAME, name);
  return request;
}

Request SetLinkMasterRequest(int index, int master) {
  Request request = LinkChange(index);
  request.PutU32(IFLA_MASTER, static_cast<uint32_t>(master));
  return request;
}

Request DeleteLinkRequest(int index) {
  Request request(RTM_DELLINK, 0, sizeof(ifinfomsg));
  StartLink(request, index);
  return request;
}

Request NewVethRequest(std::string_view name, std::string_view peer, int peer_namespace_fd) {
  Request request(RTM_NEWLINK, NLM_F_CREATE | NLM_F_EXCL, sizeof(ifinfomsg));
  StartLink(request, 0);
  request.PutString(IFLA_IFNAME, name);
  nlattr* info = request.BeginNest(IFLA_LINKINFO);
  request.PutString(IFLA_INFO_KIND, "veth");
  nlattr* data = request.BeginNest(IFLA_INFO_DATA);
  // The peer is described as a link message of its own: a family header, then attributes.
  nlattr* peer_info = request.BeginNest(VETH_INFO_PEER);
  if (auto* header = static_cast<ifinfomsg*>(request.PutRaw(sizeof(ifinfomsg))))
    header->ifi_family = AF_UNSPEC;
  request.PutString(IFLA_IFNAME, peer);
  if (peer_namespace_fd >= 0)
    request.PutU32(IFLA_NET_NS_FD, static_cast<uint32_t>(peer_namespace_fd));
  request.EndNest(peer_info);
  request.EndNest(data);
  request.EndNest(info);
  return request;
}

Request NewBondRequest(const BondSettings& settings) {
  Request request(RTM_NEWLINK, NLM_F_CREATE | NLM_F_EXCL, sizeof(ifinfomsg));
  StartLink(request, 0);
  request.PutString(IFLA_IFNAME, settings.name);
  if (!settings.address.empty())
    request.PutBytes(IFLA_ADDRESS, settings.address.data(), settings.address.size());
  nlattr* info = request.BeginNest(IFLA_LINKINFO);
  request.PutString(IFLA_INFO_KIND, "bond");
  nlattr* data = request.BeginNest(IFLA_INFO_DATA);
  request.PutU8(IFLA_BOND_MODE, BOND_MODE_ACTIVEBACKUP);
  request.PutU32(IFLA_BOND_MIIMON, settings.miimon_ms);
  request.PutU32(IFLA_BOND_UPDELAY, settings.updelay_ms);
  request.PutU32(IFLA_BOND_DOWNDELAY, settings.downdelay_ms);
  request.PutU8(IFLA_BOND_FAIL_OVER_MAC, kBondFailOverMacNone);
  // The primary takes the frames back as soon as it is up again (after updelay).
  request.PutU8(IFLA_BOND_PRIMARY_RESELECT, kBondPrimaryReselectAlways);
  request.PutU8(IFLA_BOND_NUM_PEER_NOTIF, 1);
  if (settings.primary > 0)
    request.PutU32(IFLA_BOND_PRIMARY, static_cast<uint32_t>(settings.primary));
  request.EndNest(data);
  request.EndNest(info);
  return request;
}

Request SetBondPrimaryRequest(int bond, int primary) {
  Request request(RTM_NEWLINK, 0, sizeof(ifinfomsg));
  StartLink(request, bond);
  nlattr* info = request.BeginNest(IFLA_LINKINFO);
  request.PutString(IFLA_INFO_KIND, "bond");
  nlattr* data = request.BeginNest(IFLA_INFO_DATA);
  request.PutU32(IFLA_BOND_PRIMARY, static_cast<uint32_t>(primary));
  request.EndNest(data);
  request.EndNest(info);
  return request;
}

namespace {

Status GetOneLink(Channel& socket, Request request, Link* link, std::string_view what) {
  Link found;
  bool parsed = false;
  Status status = socket.Call(request, [&](const nlmsghdr* message) {
    if (!parsed) parsed = ParseLink(message, &found);
  });
  if (!status.ok()) return status.Context(what);
  if (!parsed) return Status::Error(EPROTO, "the kernel sent no link").Context(what);
  *link = std::move(found);
  return {};
}

}  // namespace

Status GetLink(Channel& socket, std::string_view name, Link* link) {
  // The kernel takes at most IFNAMSIZ - 1 bytes; a longer name would be cut to another's.
  if (name.empty() || name.size() >= IFNAMSIZ) return Status::Error(ENODEV, std::string(name));
  return GetOneLink(socket, GetLinkRequest(name), link, "reading interface " + std::string(name));
}

Status GetLink(Channel& socket, int index, Link* link) {
  return GetOneLink(socket, GetLinkRequest(index), link, "reading " + Interface(index));
}

Status ListLinks(Channel& socket, std::vector<Link>* links) {
  Status status;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<Link> listed;
    Request request = ListLinksRequest();
    status = socket.Dump(request, [&](const nlmsghdr* message) {
      Link link;
      if (ParseLink(message, &link)) listed.push_back(std::move(link));
    });
    if (status.ok()) {
      *links = std::move(listed);
      return {};
    }
    if (status.code() != EINTR) break;
  }
  return status.Context("listing the interfaces");
}

Status SetLinkFlags(Channel& socket, int index, unsigned flags, unsigned change) {
  Request request = SetLinkFlagsRequest(index, flags, change);
  return socket.Call(request).Context("changing the flags of " + Interface(index));
}

Status SetLinkUp(Channel& socket, int index, bool up) {
  Request request = SetLinkFlagsRequest(index, up ? IFF_UP : 0, IFF_UP);
  return socket.Call(request).Context(std::string(up ? "bringing up " : "taking down ") +
                                      Interface(index));
}

Status SetLinkAddress(Channel& socket, int index, std::span<const uint8_t> address) {
  Request request = SetLinkAddressRequest(index, address);
  return socket.Call(request).Context("setting the address of " + Interface(index));
}

Status SetLinkName(Channel& socket, int index, std::string_view name) {
  Request request = SetLinkNameRequest(index, name);
  return socket.Call(request).Context("renaming " + Interface(index) + " to " + std::string(name));
}

Status SetLinkMaster(Channel& socket, int index, int master) {
  Request request = SetLinkMasterRequest(index, master);
  return socket.Call(request).Context(master > 0 ? "enslaving " + Interface(index)
                                                 : "releasing " + Interface(index));
}

Status DeleteLink(Channel& socket, int index) {
  Request request = DeleteLinkRequest(index);
  return socket.Call(request).Context("deleting " + Interface(index));
}

Status CreateVeth(Channel& socket, std::string_view name, std::string_view peer,
                  int peer_namespace_fd) {
  Request request = NewVethRequest(name, peer, peer_namespace_fd);
  return socket.Call(request).Context("making veth pair " + std::string(name) + "/" +
                                      std::string(peer));
}

Status CreateBond(Channel& socket, const BondSettings& settings) {
  Request request = NewBondRequest(settings);
  return socket.Call(request).Context("making bond " + settings.name);
}

Status SetBondPrimary(Channel& socket, int bond, int primary) {
  Request request = SetBondPrimaryRequest(bond, primary);
  return socket.Call(request).Context("setting the primary of bond " + Interface(bond));
}

int IndexOf(Channel& socket, std::string_view name) {
  Link link;
  return GetLink(socket, name, &link).ok() ? link.index : 0;
}

}  // namespace pairway::netlink
