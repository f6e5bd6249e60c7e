// journal.h: what a data path made on the host and what it changed in its members, written
// down before it makes or changes anything, so that a driver killed at any point can put the
// host back as it was (RemoveLeftovers).
//
// One file per group in the journal folder, "<group interface>.journal", plain text, replaced
// whole at every write (written beside under another name, synced, renamed over, the folder
// synced): after a crash the file holds either what it held before a write or after it, never
// a mix. Its lines:
//
//   pairway-journal 1                          first line, the format's version
//   kind tc                                    the back end: "bond", "tc" or "tap"
//   group g0                                   the group interface's name
//   made g0 veth                               an interface the back end made, and its kind;
//                                              the clean-up deletes it only if it still is one
//                                              of that kind
//   member m1 02:00:00:00:0a:01 up=1 allmulti=0 ipv6=1
//                                              a member as it was before it was taken in:
//                                              MAC, up, IFF_ALLMULTI, IPv6 on (1), off (0) or
//                                              not configurable (-1)
//   address m1 10.0.0.5/24 brd=10.0.0.255 scope=0 flags=128
//   address m1 2001:db8::5/64 scope=0 flags=128
//                                              its addresses then (any number, after its
//                                              member line)
//   clsact m1                                  a clsact qdisc the back end added to a member
//
// Unknown lines are an error: a journal this build cannot read whole is not acted on.
#ifndef PAIRWAY_DRIVER_LINUX_JOURNAL_H
#define PAIRWAY_DRIVER_LINUX_JOURNAL_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "netlink/address.h"

namespace pairway::driver {

struct MemberRecord {
  std::string ifname;
  std::vector<uint8_t> mac;
  bool up = false;
  bool allmulti = false;
  int ipv6 = -1;  // 1 on, 0 disabled, -1 this interface has no IPv6 settings
  std::vector<netlink::Address> addresses;  // their index is not kept: the name is
};

struct MadeInterface {
  std::string ifname;
  std::string kind;  // "veth", "tun", "bond"
};

struct JournalEntry {
  std::string kind;
  std::string group;
  std::vector<MadeInterface> made;
  std::vector<MemberRecord> members;
  std::vector<std::string> clsact;  // members that were given a clsact qdisc
};

// Replaces the group's file. False with *error when it could not be written whole; the file
// then holds what it held before.
[[nodiscard]] bool WriteJournal(const std::filesystem::path& folder, const JournalEntry& entry,
                                std::string* error);

// Reads one journal file. False with *error when it cannot be read or is not a whole journal
// this build knows; *entry is untouched then.
[[nodiscard]] bool ReadJournal(const std::filesystem::path& file, JournalEntry* entry,
                               std::string* error);

// Deletes the group's file; a missing file is no error.
void RemoveJournal(const std::filesystem::path& folder, const std::string& group);

// The journal files in `folder`, by name; none when the folder does not exist.
std::vector<std::filesystem::path> JournalFiles(const std::filesystem::path& folder);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_LINUX_JOURNAL_H
