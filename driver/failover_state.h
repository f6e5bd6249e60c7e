// failover_state.h: what the TREVAN driver's failover engine tells the rest of the machine.
//
// The driver service (pairway-trevan) keeps every group it runs in one file of the machine
// root's run folder, <run>/trevan/failover.state, and replaces it whole at each change (a new
// active port, a link change, a configuration read). The statistics library, the failover MIB
// and pairwayctl read it through ReadFailoverState; nobody else writes it.
//
// Readers and the writer never lock each other out:
//   - the file is written to a temporary name in the same folder and renamed over the old one,
//     so a reader sees the previous state or the new one, never a mix;
//   - while a driver runs it holds an open-file-description write lock on <run>/trevan/driver.lock
//     (StatePublisher). A reader tests for that lock without taking it. A driver that was killed
//     leaves its last file behind, but no lock: readers then get kNoDriver, not stale figures.
//
// File layout (text; one record a line; fields separated by tabs; each field is name=value, the
// value escaped: backslash, tab, line feed and carriage return as \\ \t \n \r):
//   pairway-failover-state 1                      the first line, always
//   driver  pid=  started=  updated=              started: Unix seconds; updated: Unix ms
//   group   name= head= interface= backend= active= timeout= state= failovers= failbacks=
//           link_changes= addresses=
//   member  port= interface= role= link= active=  the members of the group line above them
//   rejected port= reason=                        ports the driver leaves alone, with the reason
//   end                                           the last line: a file without it is damaged
// Readers ignore record kinds and fields they do not know, so fields can be added; no field is
// ever renamed or given another meaning.
//
// Threads: the free functions are safe from any thread. A StatePublisher belongs to one thread.
#ifndef PAIRWAY_DRIVER_FAILOVER_STATE_H
#define PAIRWAY_DRIVER_FAILOVER_STATE_H

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pairway::driver {

enum class MemberRole { kPrimary, kBackup };
enum class MemberLink { kUp, kDown, kMissing };  // missing: the port's interface is not here

struct MemberStatus {
  std::string port;       // instance name, "TREVAN3"
  std::string interface;  // the Linux interface serving it; empty for an emulated port
  MemberRole role = MemberRole::kBackup;
  MemberLink link = MemberLink::kMissing;
  bool active = false;  // this member carries the group's traffic now
};

struct GroupStatus {
  std::string name;       // "GroupName" of the head, as the registry holds it (may be empty)
  std::string head;       // the primary's instance name
  std::string interface;  // the group's Linux interface; empty for a group of emulated ports
  std::string backend;    // "bond", "tc", "tap" or "emulated"
  std::string active;     // instance name of the active member; empty when none is
  uint32_t link_check_timeout_s = 0;
  bool up = false;                     // some member carries the traffic
  uint64_t failovers = 0;              // the traffic left a member whose link had failed
  uint64_t failbacks = 0;              // the traffic went back to the primary once its link held
  uint64_t link_changes = 0;           // link state changes of the members, all of them counted
  std::vector<std::string> addresses;  // the group's IPv4 addresses, "192.168.1.10/24"
  std::vector<MemberStatus> members;   // the head first, then the backups
};

struct RejectedPort {
  std::string port;    // instance name
  std::string reason;  // one line, as the driver logged it
};

struct FailoverState {
  pid_t pid = 0;                    // the driver's process; 0 when no driver has published
  int64_t started = 0;              // when it started, Unix seconds
  int64_t updated = 0;              // when this state was published, Unix milliseconds
  std::vector<GroupStatus> groups;  // ordered by the head's instance number
  std::vector<RejectedPort> rejected;
};

const char* MemberRoleText(MemberRole role);  // "primary", "backup"
const char* MemberLinkText(MemberLink link);  // "up", "down", "missing"

enum class StateRead {
  kOk,        // *state holds the running driver's last publication
  kNoDriver,  // no driver runs for the root (never started, stopped or killed); *state is empty
  kDamaged,   // a driver runs, but its file cannot be read or parsed; *state is empty
};

// Reads the state of the driver of machine root `root`. A driver that runs but has not published
// yet (the moment after its start) reads as kOk with no groups and pid 0.
[[nodiscard]] StateRead ReadFailoverState(const std::filesystem::path& root, FailoverState* state);

// The file's text for `state`, and back. ParseFailoverState returns false for a text that is not
// a whole publication (bad first line, a number out of range, an unknown role or link, a member
// before any group, no end line); *state is then empty.
std::string FormatFailoverState(const FailoverState& state);
[[nodiscard]] bool ParseFailoverState(std::string_view text, FailoverState* state);

// Where the files are: <run>/trevan/failover.state and <run>/trevan/driver.lock.
std::filesystem::path FailoverStatePath(const std::filesystem::path& root);
std::filesystem::path DriverLockPath(const std::filesystem::path& root);

// The driver's side: the root's driver lock, held for the object's life, and the publications.
class StatePublisher {
 public:
  // Takes the lock of `root` (making <run>/trevan, mode 0755, when missing). Null with a reason in
  // *error when another driver holds it or the folder cannot be made.
  static std::unique_ptr<StatePublisher> Claim(const std::filesystem::path& root,
                                               std::string* error);
  // Removes the state file, then gives the lock up: readers see kNoDriver from then on.
  ~StatePublisher();
  StatePublisher(const StatePublisher&) = delete;
  StatePublisher& operator=(const StatePublisher&) = delete;

  // Replaces the file with `state` (temporary file and rename). False with *error when the file
  // could not be written; the previous publication then stays.
  [[nodiscard]] bool Publish(const FailoverState& state, std::string* error);

 private:
  StatePublisher(std::filesystem::path root, int lock_fd);
  const std::filesystem::path root_;
  const int lock_fd_;
};

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_FAILOVER_STATE_H
