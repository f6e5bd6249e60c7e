// Taking members in and giving them back; see members.h.
#include "members.h"

#include <linux/if.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <fstream>

#include "log.h"
#include "netlink/address.h"

namespace pairway::driver {
namespace {

std::string Ipv6Setting(const std::string& ifname) {
  return "/proc/sys/net/ipv6/conf/" + ifname + "/disable_ipv6";
}

// Some drivers take a new MAC only while the interface is down.
netlink::Status SetMac(netlink::Channel& channel, int index, std::span<const uint8_t> mac) {
  netlink::Status status = netlink::SetLinkAddress(channel, index, mac);
  if (status.code() != EBUSY) return status;
  netlink::Link link;
  if (!netlink::GetLink(channel, index, &link).ok()) return status;
  const bool was_up = link.flags & IFF_UP;
  if (was_up && !netlink::SetLinkUp(channel, index, false).ok()) return status;
  status = netlink::SetLinkAddress(channel, index, mac);
  if (was_up) (void)netlink::SetLinkUp(channel, index, true);
  return status;
}

}  // namespace

int ReadIpv6Enabled(const std::string& ifname) {
  std::ifstream in(Ipv6Setting(ifname));
  int disabled = 0;
  if (!(in >> disabled)) return -1;
  return disabled == 0 ? 1 : 0;
}

bool WriteIpv6Enabled(const std::string& ifname, bool enabled) {
  std::ofstream out(Ipv6Setting(ifname));
  out << (enabled ? "0" : "1") << "\n";
  out.flush();
  return static_cast<bool>(out);
}

bool RecordMember(netlink::Channel& channel, const std::string& ifname, MemberRecord* record,
                  netlink::Link* link, std::string* error) {
  netlink::Link read;
  if (const netlink::Status status = netlink::GetLink(channel, ifname, &read); !status.ok()) {
    *error =
        status.code() == ENODEV ? "member interface " + ifname + " does not exist" : status.text();
    return false;
  }
  if (read.master != 0) {
    *error = "member interface " + ifname + " belongs to interface " + std::to_string(read.master) +
             " already";
    return false;
  }
  std::vector<netlink::Address> addresses;
  if (const netlink::Status status =
          netlink::ListAddresses(channel, read.index, AF_UNSPEC, &addresses);
      !status.ok()) {
    *error = status.text();
    return false;
  }
  MemberRecord made;
  made.ifname = ifname;
  made.mac = read.address;
  made.up = read.flags & IFF_UP;
  made.allmulti = read.flags & IFF_ALLMULTI;
  made.ipv6 = ReadIpv6Enabled(ifname);
  made.addresses = std::move(addresses);
  *record = std::move(made);
  *link = std::move(read);
  return true;
}

bool TakeMember(netlink::Channel& channel, int index, const MemberRecord& record,
                const TakeOptions& options, std::string* error) {
  if (options.disable_ipv6 && record.ipv6 == 1 && !WriteIpv6Enabled(record.ifname, false)) {
    *error = "cannot turn IPv6 off on " + record.ifname;
    return false;
  }
  for (netlink::Address address : record.addresses) {
    address.index = index;
    const netlink::Status status = netlink::DeleteAddress(channel, address);
    // Turning IPv6 off took the IPv6 ones already.
    if (!status.ok() && status.code() != EADDRNOTAVAIL) {
      *error = status.text();
      return false;
    }
  }
  netlink::Status status;
  if (!options.mac.empty()) status = SetMac(channel, index, options.mac);
  if (status.ok()) status = netlink::SetLinkFlags(channel, index, IFF_ALLMULTI, IFF_ALLMULTI);
  if (status.ok() && options.bring_up) status = netlink::SetLinkUp(channel, index, true);
  if (!status.ok()) *error = status.text();
  return status.ok();
}

bool GiveBackMember(netlink::Channel& channel, const MemberRecord& record) {
  const int index = netlink::IndexOf(channel, record.ifname);
  if (index == 0) {
    LogLine("member " + record.ifname + " is gone: its MAC and addresses cannot be given back");
    return false;
  }
  bool whole = true;
  auto check = [&](const netlink::Status& status) {
    if (!status.ok()) {
      LogLine("giving back " + record.ifname + ": " + status.text());
      whole = false;
    }
  };
  if (!record.mac.empty()) check(SetMac(channel, index, record.mac));
  if (record.ipv6 == 1 && ReadIpv6Enabled(record.ifname) != 1 &&
      !WriteIpv6Enabled(record.ifname, true)) {
    LogLine("giving back " + record.ifname + ": cannot turn IPv6 on again");
    whole = false;
  }
  for (netlink::Address address : record.addresses) {
    // Link-local addresses come back by themselves with IPv6, made by the kernel as before.
    if (address.family == AF_INET6 && address.scope == RT_SCOPE_LINK) continue;
    address.index = index;
    const netlink::Status status = netlink::AddAddress(channel, address);
    if (status.code() != EEXIST) check(status);
  }
  check(netlink::SetLinkFlags(channel, index, record.allmulti ? IFF_ALLMULTI : 0, IFF_ALLMULTI));
  check(netlink::SetLinkUp(channel, index, record.up));
  return whole;
}

}  // namespace pairway::driver
