// The failover engine (engine.h).
#include "engine.h"

#include <net/if.h>
#include <time.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "pairway/machine_root.h"
#include "registry_ports.h"

namespace pairway::driver {
namespace {

int64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

int64_t WallMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

bool InterfaceExists(const std::string& name) { return if_nametoindex(name.c_str()) != 0; }

// The veth peer a "tc" group interface brings along (as the tc back end names it).
std::string PeerName(const std::string& ifname) { return ifname.substr(0, 12) + "-pw"; }

std::filesystem::path JournalFolder(const std::filesystem::path& root) {
  return FailoverStatePath(root).parent_path() / "journal";
}

bool SameMembers(const std::vector<MemberSpec>& a, const std::vector<MemberSpec>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const MemberSpec& x, const MemberSpec& y) {
                      return x.port == y.port && x.ifname == y.ifname;
                    });
}

}  // namespace

Engine::Engine(std::filesystem::path root, Log log)
    : root_(std::move(root)), log_(std::move(log)) {}

Engine::~Engine() { Stop(); }

bool Engine::Start(std::string* error) {
  publisher_ = StatePublisher::Claim(root_, error);
  if (!publisher_) return false;
  started_ = WallMs() / 1000;
  SetDataPathLog(log_);
  std::error_code failed;
  std::filesystem::create_directories(JournalFolder(root_), failed);
  if (failed) log_("cannot make " + JournalFolder(root_).string() + ": " + failed.message());
  if (const int cleaned = RemoveLeftovers(JournalFolder(root_)); cleaned > 0)
    log_("put back what an earlier driver left of " + std::to_string(cleaned) + " group(s)");
  emulated_watch_ = MakeEmulatedLinkWatch(root_);
  return true;
}

LinkWatch* Engine::WatchFor(bool emulated) {
  if (emulated) return emulated_watch_.get();
  if (!interface_watch_) {
    std::string error;
    interface_watch_ = MakeInterfaceLinkWatch(&error);
    if (!interface_watch_) log_("cannot watch the Linux interfaces: " + error);
  }
  return interface_watch_.get();
}

std::string Engine::ChooseInterfaceName(const GroupConfig& config, const RunningGroup* old) const {
  return LinuxInterfaceName(config.name, config.head, [&](const std::string& name) {
    if (old != nullptr && old->ifname() == name) return false;  // its own, made again
    for (const auto& [head, group] : groups_) {
      if (!group->ifname().empty() && group.get() != old &&
          (group->ifname() == name || PeerName(group->ifname()) == PeerName(name)))
        return true;
    }
    for (const MemberSpec& member : config.members) {
      if (member.ifname == name || member.ifname == PeerName(name)) return true;
    }
    return InterfaceExists(name) || InterfaceExists(PeerName(name));
  });
}

void Engine::Reconfigure() {
  PortsRead read = ReadTrevanPorts();
  GroupModel model = FormGroups(std::move(read.ports));
  for (const std::string& note : model.notes) log_(note);
  rejected_ = std::move(read.rejected);
  rejected_.insert(rejected_.end(), model.rejected.begin(), model.rejected.end());
  for (const RejectedPort& port : rejected_) log_(port.port + ": " + port.reason);

  // Groups that went, or changed members, are taken apart first: their ports may be in a new one.
  std::map<std::string, GroupCounts> carried;
  std::map<std::string, std::string> kept_names;
  for (auto it = groups_.begin(); it != groups_.end();) {
    const auto next = std::find_if(model.groups.begin(), model.groups.end(),
                                   [&](const GroupConfig& g) { return g.head == it->first; });
    const GroupConfig& old = it->second->config();
    const bool same_shape = next != model.groups.end() && next->emulated == old.emulated &&
                            SameMembers(next->members, old.members);
    const bool renamed = next != model.groups.end() && next->name != old.name && !old.emulated;
    // A group whose interface could not be made is tried again at every read.
    if (same_shape && !renamed && it->second->made()) {
      if (!(*next == old)) {
        log_("group " + old.head + ": time-out, name or addresses changed; updated in place");
        it->second->Update(*next);
      }
      ++it;
      continue;
    }
    if (next != model.groups.end()) {
      carried[it->first] = it->second->counts();
      if (!renamed) kept_names[it->first] = it->second->ifname();
      log_("group " + old.head +
           ": made again (its members changed, or its interface was not made)");
    } else {
      log_("group " + old.head + " dissolved");
    }
    it = groups_.erase(it);
  }
  const int64_t now = MonotonicMs();
  for (const GroupConfig& config : model.groups) {
    if (groups_.count(config.head) != 0) continue;
    std::string ifname;
    if (!config.emulated) {
      const auto kept = kept_names.find(config.head);
      ifname = kept != kept_names.end() && !InterfaceExists(kept->second)
                   ? kept->second
                   : ChooseInterfaceName(config, nullptr);
      if (ifname.empty()) {
        log_("group " + config.head + ": no free Linux name for \"" + config.name + "\"");
        for (const MemberSpec& member : config.members)
          rejected_.push_back({member.port, "its group has no free Linux interface name"});
        continue;
      }
      if (ifname != config.name)
        log_("group " + config.head + ": \"" + config.name + "\" is interface " + ifname);
    }
    LinkWatch* watch = WatchFor(config.emulated);
    if (watch == nullptr) continue;
    GroupContext context{root_, JournalFolder(root_), watch, log_};
    auto group = std::make_unique<RunningGroup>(config, ifname, context, carried[config.head]);
    group->Start(now);
    for (const RejectedPort& refused : group->unusable()) rejected_.push_back(refused);
    groups_[config.head] = std::move(group);
  }
  Publish();
}

std::vector<int> Engine::fds() const {
  std::vector<int> fds;
  if (interface_watch_ && interface_watch_->fd() >= 0) fds.push_back(interface_watch_->fd());
  return fds;
}

int Engine::WaitMs() const {
  constexpr int64_t kKernelChoicePollMs = 100;
  int64_t wait = -1;  // -1: nothing to wait for but the descriptors
  auto within = [&wait](int64_t ms) { wait = wait < 0 ? ms : std::min(wait, ms); };
  const int64_t now = MonotonicMs();
  bool emulated = false;
  for (const auto& [head, group] : groups_) {
    if (const std::optional<int64_t> at = group->NextDeadline())
      within(std::max<int64_t>(0, *at - now));
    if (group->kernel_chooses()) within(kKernelChoicePollMs);
    emulated = emulated || group->config().emulated;
  }
  if (emulated && emulated_watch_) within(emulated_watch_->poll_interval_ms());
  return static_cast<int>(std::min<int64_t>(wait, INT_MAX));
}

void Engine::OnLinkChange(bool emulated, const LinkChange& change) {
  const int64_t now = MonotonicMs();
  for (auto& [head, group] : groups_) {
    if (group->config().emulated == emulated) group->OnLink(change, now);
  }
}

void Engine::Tick() {
  if (emulated_watch_)
    emulated_watch_->Dispatch([&](const LinkChange& change) { OnLinkChange(true, change); });
  if (interface_watch_)
    interface_watch_->Dispatch([&](const LinkChange& change) { OnLinkChange(false, change); });
  const int64_t now = MonotonicMs();
  std::vector<std::string> rebuild;
  for (auto& [head, group] : groups_) {
    if (group->NeedsRebuild()) {
      rebuild.push_back(head);
      continue;
    }
    group->Advance(now);
  }
  for (const std::string& head : rebuild) {
    auto old = std::move(groups_[head]);
    const GroupConfig config = old->config();
    const std::string ifname = old->ifname();
    const GroupCounts counts = old->counts();
    const std::string was_active = old->Status().active;
    old.reset();  // the interface goes before the new group makes it again
    log_("group " + head + ": a member came or went; made again");
    GroupContext context{root_, JournalFolder(root_), WatchFor(false), log_};
    auto group = std::make_unique<RunningGroup>(config, ifname, context, counts);
    group->Start(now);
    if (!was_active.empty() && group->Status().active != was_active &&
        !group->Status().active.empty())
      group->CountFailover();
    groups_[head] = std::move(group);
  }
  Publish();
}

void Engine::Publish() {
  if (!publisher_) return;
  FailoverState state;
  state.pid = getpid();
  state.started = started_;
  for (const auto& [head, group] : groups_) state.groups.push_back(group->Status());
  auto instance = [](const std::string& port) {
    return std::atoi(port.c_str() + std::min<size_t>(port.size(), 6));
  };
  std::sort(state.groups.begin(), state.groups.end(),
            [&](const GroupStatus& a, const GroupStatus& b) {
              return instance(a.head) < instance(b.head);
            });
  state.rejected = rejected_;
  const std::string text = FormatFailoverState(state);
  if (text == published_) return;
  state.updated = WallMs();
  std::string error;
  if (!publisher_->Publish(state, &error)) {
    log_("cannot publish the state: " + error);
    return;
  }
  published_ = text;
}

void Engine::Stop() {
  // The groups go in reverse order of their making; then the watches; then the publication.
  while (!groups_.empty()) groups_.erase(std::prev(groups_.end()));
  interface_watch_.reset();
  emulated_watch_.reset();
  publisher_.reset();
}

}  // namespace pairway::driver
