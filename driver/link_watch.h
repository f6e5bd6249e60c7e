// link_watch.h: the link state of the group members, as events for the daemon's loop.
//
// Two sources stand behind one interface: Linux interfaces (rtnetlink link notifications, so a
// carrier loss is seen at once) and emulated ports (the "link" field of their emulated state).
// The link check time-out is not applied here: a watch reports every change as it happens and
// the active-backup rules decide what a change means.
//
// Threads: used by the daemon's one thread only. The descriptor never blocks the loop.
#ifndef PAIRWAY_DRIVER_LINK_WATCH_H
#define PAIRWAY_DRIVER_LINK_WATCH_H

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pairway::driver {

struct LinkChange {
  std::string key;    // what Watch() was given: an interface name, or a port's instance name
  bool up = false;    // carrier (Linux: IFF_UP and IFF_LOWER_UP) / emulated "link=up"
  bool gone = false;  // the interface left the namespace, was deleted or renamed
};

class LinkWatch {
 public:
  virtual ~LinkWatch() = default;

  // A descriptor that becomes readable when Dispatch has changes to report (-1: the caller
  // polls, calling Dispatch at least every poll_interval_ms()).
  virtual int fd() const = 0;
  virtual int poll_interval_ms() const { return -1; }

  // Starts watching `key`; returns its state now (nullopt: it does not exist here).
  virtual std::optional<bool> Watch(const std::string& key) = 0;
  virtual void Unwatch(const std::string& key) = 0;

  // Reads what is pending and reports each change of a watched key, in order.
  virtual void Dispatch(const std::function<void(const LinkChange&)>& report) = 0;
};

// Linux interfaces of the daemon's network namespace. Null with *error when the netlink socket
// could not be made.
std::unique_ptr<LinkWatch> MakeInterfaceLinkWatch(std::string* error);

// Emulated ports of machine root `root`, keyed by instance name ("TREVAN3"): the "link" field
// of each port's emulated state, read every poll_interval_ms() (reading a port that did not
// change costs well under a microsecond). A port without a state file, or with a damaged one,
// is reported gone.
std::unique_ptr<LinkWatch> MakeEmulatedLinkWatch(const std::filesystem::path& root);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_LINK_WATCH_H
