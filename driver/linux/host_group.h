// host_group.h: what every Linux back end does around its own work: it checks the group it is
// given, writes down the members as they are before anything changes (journal.h), takes them
// in, gives them back, and sets the group interface's addresses.
//
// A HostGroup is the one owner of its back end's netlink channel and of its journal file.
// Threads: the daemon's one thread.
#ifndef PAIRWAY_DRIVER_LINUX_HOST_GROUP_H
#define PAIRWAY_DRIVER_LINUX_HOST_GROUP_H

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "announce.h"
#include "data_path.h"
#include "journal.h"
#include "members.h"
#include "netlink/link.h"
#include "netlink/socket.h"

namespace pairway::driver {

// Checks what a back end cannot make: an empty member list, a name Linux refuses (empty, over
// 15 bytes, '/', blanks), a member named twice or named as the group, a prefix over 32. False
// with *error naming the fault.
[[nodiscard]] bool CheckGroupSpec(const GroupSpec& spec, std::string* error);

class HostGroup {
 public:
  HostGroup(std::string kind, std::filesystem::path journal,
            std::unique_ptr<netlink::Channel> channel);

  // Checks the spec, reads every member (which must exist and belong to nothing), and writes
  // the journal with the interfaces about to be made. The group interface's name must be free.
  // False with *error when anything is wrong; nothing on the host has changed then.
  [[nodiscard]] bool Begin(const GroupSpec& spec, std::vector<MadeInterface> made,
                           std::string* error);

  // Forgets an interface the back end was about to make but did not (it failed to), so that
  // Restore leaves alone whatever has that name.
  void NotMade(const std::string& ifname);

  // Journals, then adds, a clsact qdisc on member `i`.
  [[nodiscard]] bool AddMemberClsact(size_t i, std::string* error);

  // TakeMember for every member, in order.
  [[nodiscard]] bool TakeMembers(const TakeOptions& options, std::string* error);

  // Deletes what was made, takes the clsact qdiscs off the members, gives the members back
  // and deletes the journal. Each step that fails is logged; the journal is deleted still, as
  // a second try would find nothing more it can do.
  void Restore();

  netlink::Channel& channel() { return *channel_; }
  const MacAddress& mac() const { return mac_; }  // the head's, read by Begin
  int member_index(size_t i) const { return member_links_[i].index; }
  size_t member_count() const { return member_links_.size(); }

 private:
  [[nodiscard]] bool Journal(std::string* error);

  std::filesystem::path journal_;
  std::unique_ptr<netlink::Channel> channel_;
  JournalEntry entry_;
  std::vector<netlink::Link> member_links_;
  MacAddress mac_{};
};

// What the three back ends share: Create checks and journals through a HostGroup, then runs
// the back end's Build, and on failure takes apart what was built; Destroy stops the back end
// (Stop) and restores the host; SetAddresses sets the group interface's IPv4 addresses.
// A derived class's destructor calls Destroy (the base's cannot reach its Stop).
class HostDataPath : public DataPath {
 public:
  [[nodiscard]] bool Create(const GroupSpec& spec, std::string* error) final;
  [[nodiscard]] bool SetAddresses(const std::vector<Ipv4Prefix>& addresses,
                                  std::string* error) final;
  void Destroy() final;

 protected:
  HostDataPath(std::string kind, const std::filesystem::path& journal,
               std::unique_ptr<netlink::Channel> channel)
      : host_(std::move(kind), journal, std::move(channel)) {}

  // The interfaces the back end makes for `spec` (journaled before Build runs).
  virtual std::vector<MadeInterface> ToMake(const GroupSpec& spec) const = 0;
  // Makes the group; sets group_index_. False with *error; Create then calls Destroy.
  virtual bool Build(const GroupSpec& spec, std::string* error) = 0;
  // Stops what the back end runs before the host is restored (a thread, descriptors).
  virtual void Stop() {}

  // Member `index` exists (-1 for none included). False with *error otherwise.
  bool ValidMember(int index, std::string* error) const;

  mutable HostGroup host_;  // Active() may ask the kernel through it
  GroupSpec spec_;
  bool created_ = false;
  int group_index_ = 0;
};

// Puts the host back as `entry` says, as HostGroup::Restore does; false when something could
// not be restored (it is logged).
bool RestoreFromJournal(netlink::Channel& channel, const JournalEntry& entry);

// Makes the IPv4 addresses of interface `index` exactly `addresses` (IPv6 ones are left
// alone). False with *error at the first the kernel refused.
[[nodiscard]] bool SetGroupAddresses(netlink::Channel& channel, int index,
                                     const std::vector<Ipv4Prefix>& addresses, std::string* error);

// The IPv4 and IPv6 addresses interface `index` holds now and may claim (not those still
// tentative), for announcing.
std::vector<netlink::Address> AddressesOf(netlink::Channel& channel, int index);

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_LINUX_HOST_GROUP_H
