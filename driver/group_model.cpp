// Forming the failover groups from the ports' driver parameters (group_model.h).
#include "group_model.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace pairway::driver {
namespace {

constexpr size_t kMaxLinuxName = 15;

bool SameMembers(const std::vector<MemberSpec>& a, const std::vector<MemberSpec>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const MemberSpec& x, const MemberSpec& y) {
                      return x.port == y.port && x.ifname == y.ifname;
                    });
}

// The prefix length of a contiguous mask; nullopt for a mask with holes or no mask text.
std::optional<unsigned> MaskLength(const std::string& text) {
  in_addr mask{};
  if (inet_pton(AF_INET, text.c_str(), &mask) != 1) return std::nullopt;
  const uint32_t bits = ntohl(mask.s_addr);
  const unsigned length = static_cast<unsigned>(__builtin_popcount(bits));
  const uint32_t contiguous = length == 0 ? 0 : ~uint32_t{0} << (32 - length);
  if (bits != contiguous) return std::nullopt;
  return length;
}

// Rule 6 of group_model.h for one entry; false (with a note) for one that is left out.
bool ParseEntry(const std::string& head, const std::string& address, const std::string& mask,
                Ipv4Prefix* prefix, std::vector<std::string>* notes) {
  if (inet_pton(AF_INET, address.c_str(), &prefix->address) != 1) {
    notes->push_back(head + ": \"" + address + "\" is no IPv4 address; left out");
    return false;
  }
  if (prefix->address.s_addr == 0) return false;  // "no address yet" (DHCP's placeholder)
  const unsigned class_length = ClassPrefixLength(prefix->address);
  if (class_length == 0) {
    notes->push_back(head + ": " + address + " is no host address; left out");
    return false;
  }
  if (mask.empty()) {
    prefix->prefix_length = class_length;
    return true;
  }
  const std::optional<unsigned> length = MaskLength(mask);
  if (!length || *length == 0) {
    notes->push_back(head + ": the mask \"" + mask + "\" of " + address +
                     " is no network mask; left out");
    return false;
  }
  prefix->prefix_length = *length;
  return true;
}

std::vector<Ipv4Prefix> GroupAddresses(const PortParams& head, std::vector<std::string>* notes) {
  std::vector<Ipv4Prefix> addresses;
  std::vector<std::string> entries = head.ip_addresses;
  std::vector<std::string> masks = head.subnet_masks;
  if (std::none_of(entries.begin(), entries.end(),
                   [](const std::string& e) { return !e.empty() && e != "0.0.0.0"; }) &&
      !head.address_copy.empty()) {
    entries = {head.address_copy};
    masks.clear();
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].empty()) continue;
    Ipv4Prefix prefix;
    if (!ParseEntry(head.port, entries[i], i < masks.size() ? masks[i] : "", &prefix, notes))
      continue;
    const bool repeated = std::any_of(addresses.begin(), addresses.end(), [&](const Ipv4Prefix& p) {
      return p.address.s_addr == prefix.address.s_addr;
    });
    if (!repeated) addresses.push_back(prefix);
  }
  return addresses;
}

}  // namespace

bool SameAddresses(const std::vector<Ipv4Prefix>& a, const std::vector<Ipv4Prefix>& b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(), [](const Ipv4Prefix& x, const Ipv4Prefix& y) {
        return x.address.s_addr == y.address.s_addr && x.prefix_length == y.prefix_length;
      });
}

bool GroupConfig::operator==(const GroupConfig& other) const {
  return name == other.name && head == other.head &&
         link_check_timeout_s == other.link_check_timeout_s && emulated == other.emulated &&
         SameMembers(members, other.members) && SameAddresses(addresses, other.addresses);
}

unsigned ClassPrefixLength(in_addr address) {
  const uint32_t first = ntohl(address.s_addr) >> 24;
  if (first == 0 || first == 127) return 0;
  if (first < 128) return 8;
  if (first < 192) return 16;
  if (first < 224) return 24;
  return 0;
}

std::string FormatPrefix(const Ipv4Prefix& prefix) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &prefix.address, text, sizeof text);
  return std::string(text) + "/" + std::to_string(prefix.prefix_length);
}

GroupModel FormGroups(std::vector<PortParams> ports) {
  GroupModel model;
  std::sort(ports.begin(), ports.end(),
            [](const PortParams& a, const PortParams& b) { return a.instance < b.instance; });
  auto reject = [&](const PortParams& port, const std::string& reason) {
    model.rejected.push_back({port.port, reason});
  };

  // Rule 1: the heads, and which of them each adapter index names.
  std::map<uint32_t, std::vector<const PortParams*>> heads_by_index;
  std::vector<const PortParams*> heads;
  for (const PortParams& port : ports) {
    if (!port.link_check_timeout) continue;
    heads.push_back(&port);
    if (port.adapter_index) heads_by_index[*port.adapter_index].push_back(&port);
  }
  // Rule 2: the backups of each head.
  std::map<const PortParams*, std::vector<const PortParams*>> backups;
  for (const PortParams& port : ports) {
    if (port.link_check_timeout || !port.primary_index) continue;
    const auto found = heads_by_index.find(*port.primary_index);
    const std::string index = std::to_string(*port.primary_index);
    if (found == heads_by_index.end()) {
      reject(port, "its PrimaryIndex " + index + " names no group head; left stand-alone");
    } else if (found->second.size() > 1) {
      reject(port, "its PrimaryIndex " + index + " names two group heads (" +
                       found->second[0]->port + ", " + found->second[1]->port +
                       "); left stand-alone");
    } else {
      backups[found->second.front()].push_back(&port);
    }
  }

  std::map<std::string, std::string> interface_user;  // Linux interface -> the port using it
  for (const PortParams* head : heads) {
    std::vector<const PortParams*> members = backups[head];
    // Rule 4.
    const bool any_linux = !head->host_interface.empty() ||
                           std::any_of(members.begin(), members.end(), [](const PortParams* p) {
                             return !p->host_interface.empty();
                           });
    const bool all_linux = !head->host_interface.empty() &&
                           std::all_of(members.begin(), members.end(), [](const PortParams* p) {
                             return !p->host_interface.empty();
                           });
    if (any_linux && !all_linux) {
      const std::string reason =
          "group " + head->port + " mixes emulated ports and Linux interfaces; not formed";
      reject(*head, reason);
      for (const PortParams* member : members) reject(*member, reason);
      continue;
    }
    // Rule 5.
    if (all_linux) {
      if (const auto user = interface_user.find(head->host_interface);
          user != interface_user.end()) {
        reject(*head, "interface " + head->host_interface + " already serves " + user->second +
                          "; group not formed");
        for (const PortParams* member : members)
          reject(*member, "its group head " + head->port + " is rejected; left stand-alone");
        continue;
      }
      interface_user[head->host_interface] = head->port;
    }
    GroupConfig group;
    group.name = head->group_name;
    group.head = head->port;
    group.link_check_timeout_s = *head->link_check_timeout;
    group.emulated = !all_linux;
    group.members.push_back({head->port, head->host_interface});
    std::sort(members.begin(), members.end(),
              [](const PortParams* a, const PortParams* b) { return a->instance > b->instance; });
    for (const PortParams* member : members) {
      if (all_linux) {
        if (const auto user = interface_user.find(member->host_interface);
            user != interface_user.end()) {
          reject(*member, "interface " + member->host_interface + " already serves " +
                              user->second + "; left out of group " + head->port);
          continue;
        }
        interface_user[member->host_interface] = member->port;
      }
      group.members.push_back({member->port, member->host_interface});
    }
    group.addresses = GroupAddresses(*head, &model.notes);
    model.groups.push_back(std::move(group));
  }
  std::map<std::string, int> instance_of;
  for (const PortParams& port : ports) instance_of[port.port] = port.instance;
  std::stable_sort(model.rejected.begin(), model.rejected.end(),
                   [&](const RejectedPort& a, const RejectedPort& b) {
                     return instance_of[a.port] < instance_of[b.port];
                   });
  return model;
}

std::string LinuxInterfaceName(const std::string& group_name, const std::string& head,
                               const std::function<bool(const std::string&)>& taken) {
  std::string base;
  for (char c : group_name) {
    const auto byte = static_cast<unsigned char>(c);
    base.push_back(byte > ' ' && byte < 0x7f && c != '/' && c != ':' ? c : '-');
  }
  if (base.size() > kMaxLinuxName) base.resize(kMaxLinuxName);
  if (base.empty() || base == "." || base == "..") {
    base.clear();
    for (char c : head)
      base.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    base.resize(std::min(base.size(), kMaxLinuxName));
  }
  if (!taken(base)) return base;
  for (int n = 2; n < 100; ++n) {
    const std::string suffix = "-" + std::to_string(n);
    const std::string name = base.substr(0, kMaxLinuxName - suffix.size()) + suffix;
    if (!taken(name)) return name;
  }
  return {};
}

}  // namespace pairway::driver
