// Checking a group, journaling and taking its members in, putting them back; see host_group.h.
#include "host_group.h"

#include <arpa/inet.h>
#include <linux/if.h>
#include <linux/if_addr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "log.h"
#include "netlink/address.h"
#include "netlink/tc.h"

namespace pairway::driver {
namespace {

bool ValidName(const std::string& name) {
  return !name.empty() && name.size() < IFNAMSIZ && name != "." && name != ".." &&
         name.find_first_of("/ \t\n:") == std::string::npos;
}

// A deletion of what is not there any more is what was wanted.
bool Gone(const netlink::Status& status) {
  return status.ok() || status.code() == ENODEV || status.code() == ENOENT ||
         status.code() == EINVAL;
}

netlink::Address ToAddress(int index, const Ipv4Prefix& prefix) {
  netlink::Address address = netlink::Address::Ipv4(index, prefix.address, prefix.prefix_length);
  if (prefix.prefix_length < 31) {
    const uint32_t mask =
        prefix.prefix_length == 0 ? 0 : ~uint32_t{0} << (32 - prefix.prefix_length);
    const uint32_t broadcast = htonl(ntohl(prefix.address.s_addr) | ~mask);
    address.has_broadcast = true;
    std::memcpy(address.broadcast.data(), &broadcast, 4);
  }
  return address;
}

}  // namespace

bool CheckGroupSpec(const GroupSpec& spec, std::string* error) {
  if (!ValidName(spec.ifname)) {
    *error = "\"" + spec.ifname + "\" cannot be the name of a Linux interface";
    return false;
  }
  if (spec.members.empty()) {
    *error = "group " + spec.group + " has no member";
    return false;
  }
  std::set<std::string> seen;
  for (const MemberSpec& member : spec.members) {
    if (!ValidName(member.ifname)) {
      *error = "port " + member.port + " names no usable interface (\"" + member.ifname + "\")";
      return false;
    }
    if (member.ifname == spec.ifname || !seen.insert(member.ifname).second) {
      *error = "interface " + member.ifname + " is named twice in group " + spec.group;
      return false;
    }
  }
  for (const Ipv4Prefix& address : spec.addresses) {
    if (address.prefix_length > 32) {
      *error = "group " + spec.group + " has a prefix longer than 32 bits";
      return false;
    }
  }
  return true;
}

HostGroup::HostGroup(std::string kind, std::filesystem::path journal,
                     std::unique_ptr<netlink::Channel> channel)
    : journal_(std::move(journal)), channel_(std::move(channel)) {
  entry_.kind = std::move(kind);
}

bool HostGroup::Begin(const GroupSpec& spec, std::vector<MadeInterface> made, std::string* error) {
  if (!CheckGroupSpec(spec, error)) return false;
  for (const MadeInterface& interface : made) {
    if (netlink::IndexOf(*channel_, interface.ifname) != 0) {
      *error = "an interface named " + interface.ifname + " exists already";
      return false;
    }
  }
  std::vector<MemberRecord> records;
  std::vector<netlink::Link> links;
  for (const MemberSpec& member : spec.members) {
    MemberRecord record;
    netlink::Link link;
    if (!RecordMember(*channel_, member.ifname, &record, &link, error)) return false;
    records.push_back(std::move(record));
    links.push_back(std::move(link));
  }
  if (links.front().address.size() != mac_.size()) {
    *error = "member " + spec.members.front().ifname + " has no Ethernet address";
    return false;
  }
  std::copy(links.front().address.begin(), links.front().address.end(), mac_.begin());
  entry_.group = spec.ifname;
  entry_.made = std::move(made);
  entry_.members = std::move(records);
  entry_.clsact.clear();
  member_links_ = std::move(links);
  return Journal(error);
}

void HostGroup::NotMade(const std::string& ifname) {
  std::erase_if(entry_.made, [&](const MadeInterface& made) { return made.ifname == ifname; });
  std::string ignored;
  if (!Journal(&ignored)) LogLine(ignored);
}

bool HostGroup::AddMemberClsact(size_t i, std::string* error) {
  entry_.clsact.push_back(entry_.members[i].ifname);
  if (!Journal(error)) return false;
  const netlink::Status status = netlink::AddClsact(*channel_, member_links_[i].index);
  if (!status.ok()) {
    entry_.clsact.pop_back();  // someone else's, when it existed: not ours to delete
    std::string ignored;
    (void)Journal(&ignored);
    *error = status.text();
  }
  return status.ok();
}

bool HostGroup::TakeMembers(const TakeOptions& options, std::string* error) {
  for (size_t i = 0; i < member_links_.size(); ++i) {
    if (!TakeMember(*channel_, member_links_[i].index, entry_.members[i], options, error))
      return false;
  }
  return true;
}

void HostGroup::Restore() {
  if (entry_.group.empty()) return;
  RestoreFromJournal(*channel_, entry_);
  RemoveJournal(journal_, entry_.group);
  entry_.group.clear();
}

bool HostGroup::Journal(std::string* error) { return WriteJournal(journal_, entry_, error); }

bool HostDataPath::Create(const GroupSpec& spec, std::string* error) {
  if (created_) {
    *error = "the group is made already";
    return false;
  }
  if (!host_.Begin(spec, ToMake(spec), error)) return false;
  created_ = true;
  spec_ = spec;
  if (!Build(spec, error)) {
    Destroy();
    return false;
  }
  return true;
}

bool HostDataPath::SetAddresses(const std::vector<Ipv4Prefix>& addresses, std::string* error) {
  if (!created_) {
    *error = "the group is not made";
    return false;
  }
  spec_.addresses = addresses;
  return SetGroupAddresses(host_.channel(), group_index_, addresses, error);
}

void HostDataPath::Destroy() {
  if (!created_) return;
  created_ = false;
  Stop();
  host_.Restore();
}

bool HostDataPath::ValidMember(int index, std::string* error) const {
  if (created_ && index >= -1 && index < static_cast<int>(host_.member_count())) return true;
  *error = "no member " + std::to_string(index) + " in this group";
  return false;
}

bool RestoreFromJournal(netlink::Channel& channel, const JournalEntry& entry) {
  bool whole = true;
  for (const MadeInterface& made : entry.made) {
    netlink::Link link;
    if (!netlink::GetLink(channel, made.ifname, &link).ok()) continue;  // gone already
    if (link.kind != made.kind) {
      LogLine("interface " + made.ifname + " is a " + (link.kind.empty() ? "device" : link.kind) +
              " now, not the " + made.kind + " this driver made: left alone");
      continue;
    }
    if (const netlink::Status status = netlink::DeleteLink(channel, link.index); !Gone(status)) {
      LogLine(status.text());
      whole = false;
    }
  }
  for (const std::string& ifname : entry.clsact) {
    const int index = netlink::IndexOf(channel, ifname);
    if (index == 0) continue;
    if (const netlink::Status status = netlink::DeleteClsact(channel, index); !Gone(status)) {
      LogLine(status.text());
      whole = false;
    }
  }
  for (const MemberRecord& member : entry.members) whole = GiveBackMember(channel, member) && whole;
  return whole;
}

bool SetGroupAddresses(netlink::Channel& channel, int index,
                       const std::vector<Ipv4Prefix>& addresses, std::string* error) {
  std::vector<netlink::Address> now;
  if (const netlink::Status status = netlink::ListAddresses(channel, index, AF_INET, &now);
      !status.ok()) {
    *error = status.text();
    return false;
  }
  std::vector<netlink::Address> wanted;
  for (const Ipv4Prefix& prefix : addresses) wanted.push_back(ToAddress(index, prefix));
  auto same = [](const netlink::Address& a, const netlink::Address& b) {
    return a.SameAs(b) && a.prefix_length == b.prefix_length;
  };
  for (const netlink::Address& address : now) {
    if (std::none_of(wanted.begin(), wanted.end(), [&](auto& w) { return same(w, address); })) {
      if (const netlink::Status status = netlink::DeleteAddress(channel, address); !status.ok()) {
        *error = status.text();
        return false;
      }
    }
  }
  for (const netlink::Address& address : wanted) {
    if (std::any_of(now.begin(), now.end(), [&](auto& n) { return same(n, address); })) continue;
    if (const netlink::Status status = netlink::AddAddress(channel, address);
        !status.ok() && status.code() != EEXIST) {
      *error = status.text();
      return false;
    }
  }
  return true;
}

std::vector<netlink::Address> AddressesOf(netlink::Channel& channel, int index) {
  std::vector<netlink::Address> addresses;
  if (const netlink::Status status = netlink::ListAddresses(channel, index, AF_UNSPEC, &addresses);
      !status.ok())
    LogLine(status.text());
  // An address still being checked for duplicates, or found to be one, is not ours to claim.
  std::erase_if(addresses, [](const netlink::Address& address) {
    return address.flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED);
  });
  return addresses;
}

}  // namespace pairway::driver
