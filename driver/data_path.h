// data_path.h: how a group's frames reach the one member that carries them.
//
// The driver's control half decides, by the active-backup rules, which member of a group carries
// its traffic; a data path makes that true on the host. Each back end is one implementation of
// the interface below, chosen once per group by MakeDataPath:
//
//   kind    group interface                 who picks the active member
//   "bond"  a kernel bond, active-backup    the kernel (link monitor from the time-out); the
//                                           daemon reads the choice back with Active()
//   "tc"    a veth pair; clsact + u32 +     the daemon, through SetActive
//           mirred redirect the frames
//           between it and the active member
//   "tap"   a TAP device; packet sockets    the daemon, through SetActive
//           on the members, in user space
//
// Rules every back end keeps:
//   1. Exactly one member carries the group's frames at a time, or none: frames the group sends
//      leave through the active member only; frames are taken in from the active member only;
//      what the other members receive is dropped (no duplicates, no loops).
//   2. The group interface has the head's MAC address (read when the group is made) and the
//      group's IPv4 addresses. While they are members, the member interfaces hold no addresses of
//      their own; Destroy gives back each member's addresses, MAC and up/down state.
//   3. With no active member the group interface has no carrier; it regains it by itself when a
//      member becomes active again.
//   4. When the active member changes to another member, the group's addresses are announced
//      through the new one: a gratuitous ARP for each IPv4 address, an unsolicited neighbour
//      advertisement for each IPv6 address the group interface holds.
//   5. A back end owns only the interfaces it made and the changes it made to members. Before it
//      changes anything it records what it is about to change in the journal (see
//      RemoveLeftovers), so that a driver killed at any point and started again can put the
//      host back as it was.
//
// Threads: a DataPath is used by the daemon's one thread only.
#ifndef PAIRWAY_DRIVER_DATA_PATH_H
#define PAIRWAY_DRIVER_DATA_PATH_H

#include <netinet/in.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pairway::driver {

struct Ipv4Prefix {
  in_addr address{};           // network byte order
  unsigned prefix_length = 0;  // 0..32
};

struct MemberSpec {
  std::string port;    // the port's instance name, "TREVAN3"
  std::string ifname;  // the Linux interface that serves it
};

struct GroupSpec {
  std::string group;                  // the group's name in the registry
  std::string ifname;                 // the Linux name chosen for the group interface (<= 15 bytes)
  std::vector<MemberSpec> members;    // the head first, then the backups
  std::vector<Ipv4Prefix> addresses;  // may be empty: the head has no address yet
  unsigned link_check_timeout_s = 0;  // for a back end that watches links itself
};

class DataPath {
 public:
  virtual ~DataPath() = default;

  // "bond", "tc" or "tap".
  virtual const char* kind() const = 0;

  // True when the back end watches the members' links and picks the active member itself (the
  // kernel bond). The daemon then never calls SetActive and reads Active() after link events.
  virtual bool monitors_links() const = 0;

  // Makes the group interface and takes the members in, with no member active yet. On failure
  // returns false with a message in *error, and nothing it made or changed is left behind.
  [[nodiscard]] virtual bool Create(const GroupSpec& spec, std::string* error) = 0;

  // Makes member `index` (into spec.members) the one that carries the group's frames; -1 makes
  // none active (rule 3). Announces the addresses (rule 4) when the active member changed to
  // another member. False with *error when the host refused; the previous state then holds.
  [[nodiscard]] virtual bool SetActive(int index, std::string* error) = 0;

  // Replaces the group interface's IPv4 addresses.
  [[nodiscard]] virtual bool SetAddresses(const std::vector<Ipv4Prefix>& addresses,
                                          std::string* error) = 0;

  // The member that carries the frames as the host has it now; -1 for none.
  virtual int Active() const = 0;

  // Takes the group apart: the group interface is deleted and the members get back what rule 2
  // says. Never fails halfway silently: what could not be restored is logged.
  virtual void Destroy() = 0;
};

// A back end of the given kind ("bond", "tc", "tap"), or with an empty kind the best one this
// host has: "bond" where the kernel makes bonds, else "tc" where clsact and mirred work, else
// "tap". Null with *error when the kind asked for is not available here. `journal` is the folder
// (in the root's run folder) where back ends record what they change (rule 5).
std::unique_ptr<DataPath> MakeDataPath(std::string_view kind, const std::filesystem::path& journal,
                                       std::string* error);

// Puts the host back as the journal says an earlier driver left it: deletes the group
// interfaces it made and gives the members back their MAC, addresses and up/down state. Called at
// the driver's start, before any group is made. Returns the number of groups cleaned up.
int RemoveLeftovers(const std::filesystem::path& journal);

// Where the back ends and the interface link watch write what went wrong where no caller
// could be told (a member that could not be given back, a journal that could not be read):
// one call per line, without a newline. Until this is called, lines go to standard error with
// "trevan: " in front. Call it before any group is made; `log` must be callable from any
// thread (a back end may log from a thread of its own).
void SetDataPathLog(std::function<void(const std::string&)> log);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_DATA_PATH_H
