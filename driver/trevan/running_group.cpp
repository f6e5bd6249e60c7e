// One running group (running_group.h).
#include "running_group.h"

#include <net/if.h>
#include <windows.h>

#include <algorithm>

#include "netlink/link.h"
#include "netlink/socket.h"
#include "pairway/nic_state.h"

namespace pairway::driver {

RunningGroup::RunningGroup(GroupConfig config, std::string ifname, GroupContext context,
                           GroupCounts carried)
    : config_(std::move(config)),
      ifname_(std::move(ifname)),
      context_(std::move(context)),
      carried_(carried),
      links_(config_.members.size(), MemberLink::kMissing),
      unusable_(config_.members.size()),
      path_index_(config_.members.size(), -1),
      backend_(config_.emulated ? "emulated" : "") {}

RunningGroup::~RunningGroup() {
  if (path_) {
    path_->Destroy();
    context_.log("group " + config_.head + ": interface " + ifname_ + " taken apart");
  }
  for (size_t i = 0; i < config_.members.size(); ++i) context_.watch->Unwatch(KeyOf(i));
}

std::string RunningGroup::KeyOf(size_t member) const {
  return config_.emulated ? config_.members[member].port : config_.members[member].ifname;
}

// A Linux interface the driver may take in: there, Ethernet, not loopback.
void RunningGroup::CheckMember(size_t member) {
  unusable_[member].clear();
  if (config_.emulated || links_[member] == MemberLink::kMissing) return;
  netlink::Socket socket;
  netlink::Link link;
  const std::string& ifname = config_.members[member].ifname;
  if (!socket.Open().ok() || !netlink::GetLink(socket, ifname, &link).ok()) return;
  if ((link.flags & IFF_LOOPBACK) != 0 || link.address.size() != 6)
    unusable_[member] = "interface " + ifname + " is no Ethernet interface; left out";
}

void RunningGroup::Start(int64_t now_ms) {
  std::vector<bool> up;
  GroupSpec spec;
  spec.group = config_.name.empty() ? config_.head : config_.name;
  spec.ifname = ifname_;
  spec.addresses = config_.addresses;
  spec.link_check_timeout_s = config_.link_check_timeout_s;
  for (size_t i = 0; i < config_.members.size(); ++i) {
    const std::optional<bool> link = context_.watch->Watch(KeyOf(i));
    links_[i] = !link ? MemberLink::kMissing : *link ? MemberLink::kUp : MemberLink::kDown;
    CheckMember(i);
    const bool usable = links_[i] != MemberLink::kMissing && unusable_[i].empty();
    if (!unusable_[i].empty()) context_.log(config_.members[i].port + ": " + unusable_[i]);
    if (!config_.emulated && links_[i] == MemberLink::kMissing)
      context_.log(config_.members[i].port + ": interface " + config_.members[i].ifname +
                   " is not here; the group runs without it until it comes");
    up.push_back(usable && links_[i] == MemberLink::kUp);
    if (!config_.emulated && usable) {
      path_index_[i] = static_cast<int>(spec.members.size());
      spec.members.push_back(config_.members[i]);
    }
  }
  if (!config_.emulated && !spec.members.empty()) {
    std::string error;
    path_ = MakeDataPath("", context_.journal, &error);
    if (path_ && !path_->Create(spec, &error)) path_.reset();
    if (!path_) {
      context_.log("group " + config_.head + ": interface " + ifname_ +
                   " cannot be made: " + error);
      std::fill(path_index_.begin(), path_index_.end(), -1);
      std::fill(up.begin(), up.end(), false);
    } else {
      backend_ = path_->kind();
      context_.log("group " + config_.head + " (\"" + config_.name + "\"): interface " + ifname_ +
                   " made (" + backend_ + ")");
    }
  }
  machine_.emplace(up, config_.link_check_timeout_s, now_ms);
  ApplyActive();
}

bool RunningGroup::OnLink(const LinkChange& change, int64_t now_ms) {
  bool mine = false;
  for (size_t i = 0; i < config_.members.size(); ++i) {
    if (KeyOf(i) != change.key) continue;
    mine = true;
    const MemberLink was = links_[i];
    links_[i] = change.gone ? MemberLink::kMissing
                : change.up ? MemberLink::kUp
                            : MemberLink::kDown;
    if (!config_.emulated && ((was == MemberLink::kMissing) != (links_[i] == MemberLink::kMissing)))
      needs_rebuild_ = true;  // the data path must take it in or let it go
    context_.log(config_.members[i].port + ": link " + MemberLinkText(links_[i]));
    // A Linux member outside the data path counts only once the group is made again.
    if (config_.emulated || path_index_[i] >= 0)
      machine_->SetLink(i, links_[i] == MemberLink::kUp, now_ms);
  }
  return mine;
}

bool RunningGroup::Advance(int64_t now_ms) {
  if (path_ && path_->monitors_links()) {
    // The kernel bond chose; the figures follow what it did.
    const int in_path = path_->Active();
    int member = -1;
    for (size_t i = 0; i < path_index_.size(); ++i) {
      if (path_index_[i] == in_path && in_path >= 0) member = static_cast<int>(i);
    }
    if (member == applied_) return false;
    if (applied_ >= 0 && member >= 0) {
      if (links_[static_cast<size_t>(applied_)] != MemberLink::kUp)
        ++extra_counts_.failovers;
      else if (member == 0)
        ++extra_counts_.failbacks;
    }
    applied_ = member;
    return true;
  }
  if (!machine_->Advance(now_ms)) {
    if (config_.emulated) FollowTraffic();
    return false;
  }
  ApplyActive();
  return true;
}

void RunningGroup::ApplyActive() {
  const int wanted = machine_->active();
  if (config_.emulated) {
    if (wanted != applied_)
      context_.log("group " + config_.head + ": active port " +
                   (wanted < 0 ? std::string("none") : config_.members[wanted].port));
    applied_ = wanted;
    FollowTraffic();
    return;
  }
  if (!path_ || path_->monitors_links()) return;
  const int in_path = wanted < 0 ? -1 : path_index_[static_cast<size_t>(wanted)];
  std::string error;
  if (!path_->SetActive(in_path, &error)) {
    context_.log("group " + config_.head + ": cannot make " +
                 (wanted < 0 ? std::string("no port") : config_.members[wanted].port) +
                 " active: " + error);
    return;
  }
  if (wanted != applied_)
    context_.log("group " + config_.head + ": active port " +
                 (wanted < 0 ? std::string("none (no link)") : config_.members[wanted].port));
  applied_ = wanted;
}

void RunningGroup::FollowTraffic() {
  std::vector<bool> on(config_.members.size(), false);
  for (size_t i = 0; i < config_.members.size(); ++i) {
    NicState state;
    if (ReadNicState(context_.root, config_.members[i].port, &state) == ERROR_SUCCESS)
      on[i] = state.traffic;
  }
  const bool any = std::find(on.begin(), on.end(), true) != on.end();
  // Nothing on where the driver had left it on: somebody switched it off. Nothing on while the
  // group was down: the driver holds it for the port that comes back.
  if (any)
    traffic_ = true;
  else if (traffic_on_ >= 0)
    traffic_ = false;
  for (size_t i = 0; i < config_.members.size(); ++i) {
    const bool wanted = traffic_ && static_cast<int>(i) == applied_;
    if (on[i] == wanted || links_[i] == MemberLink::kMissing) continue;
    const DWORD error = UpdateNicState(context_.root, config_.members[i].port, [&](NicState* s) {
      std::string ignored;
      return SetNicField(s, wanted ? "traffic=on" : "traffic=off", &ignored);
    });
    if (error != ERROR_SUCCESS)
      context_.log(config_.members[i].port + ": cannot move the traffic (error " +
                   std::to_string(error) + ")");
  }
  traffic_on_ = traffic_ && applied_ >= 0 ? applied_ : -1;
}

std::optional<int64_t> RunningGroup::NextDeadline() const {
  if (path_ && path_->monitors_links()) return std::nullopt;
  return machine_ ? machine_->NextDeadline() : std::nullopt;
}

void RunningGroup::Update(const GroupConfig& config) {
  if (config.link_check_timeout_s != config_.link_check_timeout_s)
    machine_->SetTimeout(config.link_check_timeout_s);
  if (path_ && !SameAddresses(config.addresses, config_.addresses)) {
    std::string error;
    if (!path_->SetAddresses(config.addresses, &error))
      context_.log("group " + config_.head + ": cannot set its addresses: " + error);
  }
  config_ = config;
}

GroupCounts RunningGroup::counts() const {
  GroupCounts counts = carried_;
  if (machine_) {
    counts.failovers += machine_->failovers();
    counts.failbacks += machine_->failbacks();
    counts.link_changes += machine_->link_changes();
  }
  counts.failovers += extra_counts_.failovers;
  counts.failbacks += extra_counts_.failbacks;
  return counts;
}

GroupStatus RunningGroup::Status() const {
  GroupStatus status;
  status.name = config_.name;
  status.head = config_.head;
  status.interface = path_ ? ifname_ : "";
  status.backend = config_.emulated ? "emulated" : path_ ? backend_ : "none";
  status.active = applied_ >= 0 ? config_.members[static_cast<size_t>(applied_)].port : "";
  status.link_check_timeout_s = config_.link_check_timeout_s;
  status.up = applied_ >= 0 && links_[static_cast<size_t>(applied_)] == MemberLink::kUp;
  const GroupCounts figures = counts();
  status.failovers = figures.failovers;
  status.failbacks = figures.failbacks;
  status.link_changes = figures.link_changes;
  for (const Ipv4Prefix& prefix : config_.addresses)
    status.addresses.push_back(FormatPrefix(prefix));
  for (size_t i = 0; i < config_.members.size(); ++i) {
    MemberStatus member;
    member.port = config_.members[i].port;
    member.interface = config_.members[i].ifname;
    member.role = i == 0 ? MemberRole::kPrimary : MemberRole::kBackup;
    member.link = unusable_[i].empty() ? links_[i] : MemberLink::kMissing;
    member.active = static_cast<int>(i) == applied_;
    status.members.push_back(member);
  }
  return status;
}

std::vector<RejectedPort> RunningGroup::unusable() const {
  std::vector<RejectedPort> refused;
  for (size_t i = 0; i < unusable_.size(); ++i) {
    if (!unusable_[i].empty()) refused.push_back({config_.members[i].port, unusable_[i]});
  }
  return refused;
}

}  // namespace pairway::driver
