// The "bond" data path: a kernel bond in active-backup mode. The kernel watches the members'
// carrier (its link monitor, every 100 ms), waits the group's link check time-out before it
// believes a change either way (updelay and downdelay), prefers the head whenever it is up
// (primary), gives every member the bond's MAC and announces the group's addresses after
// every change itself. The daemon only reads back which member is active.
//
// The members join in the order of the group (the head, then the backups as the daemon
// ranks them): with the head down, the kernel takes the first member in that order that has
// its link.
#include <linux/if.h>
#include <linux/if_bonding.h>

#include <cerrno>

#include "back_ends.h"
#include "host_group.h"
#include "log.h"

namespace pairway::driver {
namespace {

constexpr uint32_t kLinkMonitorMs = 100;

class BondDataPath final : public HostDataPath {
 public:
  BondDataPath(std::unique_ptr<netlink::Channel> channel, const std::filesystem::path& journal)
      : HostDataPath("bond", journal, std::move(channel)) {}
  ~BondDataPath() override { Destroy(); }  // deleting the bond releases the members first

  const char* kind() const override { return "bond"; }
  bool monitors_links() const override { return true; }

  bool SetActive(int index, std::string* error) override {
    if (index == Active()) return true;
    *error = "the kernel bond chooses its active member itself";
    return false;
  }

  int Active() const override {
    if (!created_) return -1;
    netlink::Link bond;
    if (!netlink::GetLink(host_.channel(), group_index_, &bond).ok()) return -1;
    for (size_t i = 0; i < host_.member_count(); ++i) {
      if (host_.member_index(i) == bond.bond.active_slave) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  bool Fail(const netlink::Status& status, std::string* error) {
    if (!status.ok()) *error = status.text();
    return !status.ok();
  }

  std::vector<MadeInterface> ToMake(const GroupSpec& spec) const override {
    return {{spec.ifname, "bond"}};
  }

  bool Build(const GroupSpec& spec, std::string* error) override {
    netlink::Channel& nl = host_.channel();
    netlink::BondSettings settings;
    settings.name = spec.ifname;
    settings.address.assign(host_.mac().begin(), host_.mac().end());
    settings.miimon_ms = kLinkMonitorMs;
    settings.updelay_ms = settings.downdelay_ms = spec.link_check_timeout_s * 1000;
    if (const netlink::Status made = netlink::CreateBond(nl, settings); !made.ok()) {
      if (made.code() == EEXIST) host_.NotMade(spec.ifname);
      return !Fail(made, error);
    }
    group_index_ = netlink::IndexOf(nl, spec.ifname);
    if (group_index_ == 0) {
      *error = "the bond " + spec.ifname + " vanished as it was made";
      return false;
    }
    // The bond sets the MACs and takes the members up itself; a member joins while down.
    TakeOptions take;
    take.disable_ipv6 = false;  // the kernel keeps IPv6 off a bond's members
    take.bring_up = false;
    if (!host_.TakeMembers(take, error)) return false;
    for (size_t i = 0; i < host_.member_count(); ++i) {
      if (Fail(netlink::SetLinkUp(nl, host_.member_index(i), false), error) ||
          Fail(netlink::SetLinkMaster(nl, host_.member_index(i), group_index_), error))
        return false;
    }
    if (Fail(netlink::SetBondPrimary(nl, group_index_, host_.member_index(0)), error)) return false;
    if (!SetGroupAddresses(nl, group_index_, spec.addresses, error)) return false;
    return !Fail(netlink::SetLinkUp(nl, group_index_, true), error);
  }
};

}  // namespace

std::unique_ptr<DataPath> MakeBondDataPath(std::unique_ptr<netlink::Channel> channel,
                                           const std::filesystem::path& journal) {
  return std::make_unique<BondDataPath>(std::move(channel), journal);
}

}  // namespace pairway::driver
