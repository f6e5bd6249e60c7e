// The link watch for Linux interfaces: rtnetlink link notifications on one socket, reads on
// another (see link_watch.h).
//
// A watched key is an interface name. The watch keeps, per key, the ifindex it last saw under
// that name and the state it last reported, and reports only changes of that state:
//   RTM_NEWLINK of a known index with the key's name    carrier up or down
//   RTM_NEWLINK of a known index with another name      gone (renamed)
//   RTM_DELLINK of a known index                        gone (deleted, or moved to another
//                                                       namespace: the kernel says both alike),
//                                                       once a fresh read finds it no more (a
//                                                       bridge port's removal says the same)
//   RTM_NEWLINK of an unknown index with the key's name the interface (again) exists
// When the kernel dropped notifications (the socket overran), every key is read afresh and
// whatever differs from what was reported is reported.
#include <linux/rtnetlink.h>

#include <cerrno>
#include <map>
#include <optional>

#include "link_watch.h"
#include "log.h"
#include "netlink/link.h"
#include "netlink/socket.h"

namespace pairway::driver {
namespace {

struct WatchedLink {
  int index = 0;  // 0 while no interface has the name
  bool present = false;
  bool up = false;
};

class InterfaceLinkWatch final : public LinkWatch {
 public:
  InterfaceLinkWatch(netlink::Socket requests, netlink::Socket events)
      : requests_(std::move(requests)), events_(std::move(events)) {}

  int fd() const override { return events_.fd(); }

  std::optional<bool> Watch(const std::string& key) override {
    WatchedLink& watched = watched_[key];
    watched = ReadNow(key);
    if (!watched.present) return std::nullopt;
    return watched.up;
  }

  void Unwatch(const std::string& key) override { watched_.erase(key); }

  void Dispatch(const std::function<void(const LinkChange&)>& report) override {
    const netlink::Status status = events_.ReadNotifications([&](const nlmsghdr* message) {
      netlink::Link link;
      if (netlink::ParseLink(message, &link)) Apply(message->nlmsg_type, link, report);
    });
    if (status.code() == ENOBUFS) {
      Resynchronise(report);
    } else if (!status.ok()) {
      LogLine("link watch: " + status.text());
    }
  }

 private:
  WatchedLink ReadNow(const std::string& key) {
    netlink::Link link;
    WatchedLink now;
    if (netlink::GetLink(requests_, key, &link).ok()) {
      now.index = link.index;
      now.present = true;
      now.up = link.carrier_up();
    }
    return now;
  }

  static void Change(const std::string& key, WatchedLink* watched, const WatchedLink& now,
                     const std::function<void(const LinkChange&)>& report) {
    const bool changed = now.present != watched->present || (now.present && now.up != watched->up);
    *watched = now;
    if (changed) report(LinkChange{key, now.present && now.up, !now.present});
  }

  void Apply(uint16_t type, const netlink::Link& link,
             const std::function<void(const LinkChange&)>& report) {
    for (auto& [key, watched] : watched_) {
      const bool same_index = watched.present && watched.index == link.index;
      if (type == RTM_DELLINK) {
        // The kernel also says RTM_DELLINK when an interface only leaves a bridge (the bridge
        // port goes, not the interface): whether it is gone, the interface itself tells.
        if (same_index) Change(key, &watched, ReadNow(key), report);
      } else if (same_index && link.name != key) {
        Change(key, &watched, WatchedLink{}, report);  // renamed away
      } else if (same_index || (!watched.present && link.name == key)) {
        Change(key, &watched, WatchedLink{link.index, true, link.carrier_up()}, report);
      }
    }
  }

  void Resynchronise(const std::function<void(const LinkChange&)>& report) {
    for (auto& [key, watched] : watched_) Change(key, &watched, ReadNow(key), report);
  }

  netlink::Socket requests_;
  netlink::Socket events_;
  std::map<std::string, WatchedLink> watched_;
};

}  // namespace

std::unique_ptr<LinkWatch> MakeInterfaceLinkWatch(std::string* error) {
  netlink::Socket requests, events;
  netlink::Status status = requests.Open();
  if (status.ok()) status = events.Open();
  if (status.ok()) status = events.Subscribe(RTNLGRP_LINK);
  if (!status.ok()) {
    *error = status.text();
    return nullptr;
  }
  return std::make_unique<InterfaceLinkWatch>(std::move(requests), std::move(events));
}

}  // namespace pairway::driver
