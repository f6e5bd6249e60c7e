// The bond back end: its rtnetlink requests checked against a stand-in kernel, and a live
// group where the kernel has bonding (skipped where it has not, as on this project's machines).
#include <arpa/inet.h>
#include <linux/if.h>
#include <linux/if_bonding.h>
#include <linux/rtnetlink.h>

#include <gtest/gtest.h>

#include <map>

#include "back_ends.h"
#include "netlink/address.h"
#include "netlink/link.h"
#include "temp_root.h"
#include "topology.h"

namespace pairway::driver {
namespace {

using netlink::Attributes;
using netlink::MessageHandler;
using netlink::Request;
using netlink::Status;
using namespace std::chrono_literals;

// Answers link requests as a kernel with bonding would, from a table of links, and keeps a
// copy of every request.
class FakeKernel final : public netlink::Channel {
 public:
  explicit FakeKernel(std::filesystem::path journal) : journal_(std::move(journal)) {}

  Status Call(Request& request, const MessageHandler& on_reply) override {
    const nlmsghdr* message = request.message();
    requests.emplace_back(reinterpret_cast<const uint8_t*>(message),
                          reinterpret_cast<const uint8_t*>(message) + message->nlmsg_len);
    const auto* info = static_cast<const ifinfomsg*>(mnl_nlmsg_get_payload(message));
    Attributes attributes(message, sizeof(ifinfomsg), IFLA_MAX);
    switch (message->nlmsg_type) {
      case RTM_GETLINK: {
        netlink::Link* link = Find(info->ifi_index, attributes.String(IFLA_IFNAME));
        if (link == nullptr) return Status::Error(ENODEV);
        if (on_reply) on_reply(Describe(*link).message());
        return {};
      }
      case RTM_NEWLINK:
        if (message->nlmsg_flags & NLM_F_CREATE) {
          journaled_before_bond = std::filesystem::exists(journal_ / "g0.journal");
          netlink::Link bond;
          bond.index = next_index_++;
          bond.name = attributes.String(IFLA_IFNAME);
          bond.kind = "bond";
          links[bond.name] = bond;
        }
        return {};
      case RTM_SETLINK:
        if (netlink::Link* link = Find(info->ifi_index, ""); link && attributes.has(IFLA_MASTER))
          link->master = static_cast<int>(attributes.U32(IFLA_MASTER));
        return {};
      case RTM_DELLINK:
        std::erase_if(links,
                      [&](const auto& item) { return item.second.index == info->ifi_index; });
        return {};
      default:
        return {};
    }
  }

  Status Dump(Request& request, const MessageHandler&) override {
    const nlmsghdr* message = request.message();
    requests.emplace_back(reinterpret_cast<const uint8_t*>(message),
                          reinterpret_cast<const uint8_t*>(message) + message->nlmsg_len);
    return {};  // no addresses anywhere
  }

  // The requests of `type`, in order.
  std::vector<const nlmsghdr*> Of(uint16_t type) const {
    std::vector<const nlmsghdr*> found;
    for (const auto& bytes : requests) {
      const auto* message = reinterpret_cast<const nlmsghdr*>(bytes.data());
      if (message->nlmsg_type == type) found.push_back(message);
    }
    return found;
  }

  std::map<std::string, netlink::Link> links;
  std::vector<std::vector<uint8_t>> requests;
  bool journaled_before_bond = false;

 private:
  netlink::Link* Find(int index, const std::string& name) {
    for (auto& [link_name, link] : links) {
      if ((index != 0 && link.index == index) || (index == 0 && link_name == name)) return &link;
    }
    return nullptr;
  }

  // The RTM_NEWLINK the kernel would answer with.
  static Request Describe(const netlink::Link& link) {
    Request answer(RTM_NEWLINK, 0, sizeof(ifinfomsg));
    answer.header<ifinfomsg>()->ifi_index = link.index;
    answer.PutString(IFLA_IFNAME, link.name);
    if (!link.address.empty())
      answer.PutBytes(IFLA_ADDRESS, link.address.data(), link.address.size());
    if (link.master != 0) answer.PutU32(IFLA_MASTER, static_cast<uint32_t>(link.master));
    nlattr* info = answer.BeginNest(IFLA_LINKINFO);
    answer.PutString(IFLA_INFO_KIND, link.kind);
    nlattr* data = answer.BeginNest(IFLA_INFO_DATA);
    answer.PutU32(IFLA_BOND_ACTIVE_SLAVE, static_cast<uint32_t>(link.bond.active_slave));
    answer.EndNest(data);
    answer.EndNest(info);
    return answer;
  }

  std::filesystem::path journal_;
  int next_index_ = 10;
};

netlink::Link Member(int index, const std::string& name, uint8_t last) {
  netlink::Link link;
  link.index = index;
  link.name = name;
  link.kind = "veth";
  link.flags = IFF_UP;
  link.address = {0x02, 0, 0, 0, 0x0a, last};
  return link;
}

GroupSpec Group(unsigned timeout_s) {
  GroupSpec spec;
  spec.group = "Team";
  spec.ifname = "g0";
  spec.members = {{"TREVAN2", "m0"}, {"TREVAN1", "m1"}};
  Ipv4Prefix prefix;
  inet_pton(AF_INET, "10.77.0.1", &prefix.address);
  prefix.prefix_length = 24;
  spec.addresses = {prefix};
  spec.link_check_timeout_s = timeout_s;
  return spec;
}

class BondRequestsTest : public ::testing::Test {
 protected:
  BondRequestsTest() {
    auto kernel = std::make_unique<FakeKernel>(root_.path());
    kernel_ = kernel.get();
    kernel_->links["m0"] = Member(2, "m0", 1);
    kernel_->links["m1"] = Member(3, "m1", 2);
    path_ = MakeBondDataPath(std::move(kernel), root_.path());
  }

  pairway::testing::TempRoot root_;
  FakeKernel* kernel_;  // owned by path_
  std::unique_ptr<DataPath> path_;
};

TEST_F(BondRequestsTest, GroupBecomesAnActiveBackupBondOfItsMembersHeadAsPrimary) {
  std::string error;
  ASSERT_TRUE(path_->Create(Group(2), &error)) << error;
  EXPECT_TRUE(path_->monitors_links());
  EXPECT_TRUE(kernel_->journaled_before_bond);

  // The bond: the head's MAC, active-backup, the time-out as up and down delay.
  std::vector<const nlmsghdr*> made;
  for (const nlmsghdr* message : kernel_->Of(RTM_NEWLINK))
    if (message->nlmsg_flags & NLM_F_CREATE) made.push_back(message);
  ASSERT_EQ(made.size(), 1u);
  Attributes link(made[0], sizeof(ifinfomsg), IFLA_MAX);
  EXPECT_EQ(link.String(IFLA_IFNAME), "g0");
  const std::span<const uint8_t> mac = link.Bytes(IFLA_ADDRESS);
  EXPECT_EQ(std::vector<uint8_t>(mac.begin(), mac.end()), kernel_->links["m0"].address);
  Attributes data(Attributes(link[IFLA_LINKINFO], IFLA_INFO_MAX)[IFLA_INFO_DATA], IFLA_BOND_MAX);
  EXPECT_EQ(data.U8(IFLA_BOND_MODE), BOND_MODE_ACTIVEBACKUP);
  EXPECT_EQ(data.U32(IFLA_BOND_MIIMON), 100u);
  EXPECT_EQ(data.U32(IFLA_BOND_UPDELAY), 2000u);
  EXPECT_EQ(data.U32(IFLA_BOND_DOWNDELAY), 2000u);

  // Each member taken down, then enslaved, head first; the bond is up last.
  std::vector<std::pair<int, std::string>> changes;
  for (const nlmsghdr* message : kernel_->Of(RTM_SETLINK)) {
    const auto* info = static_cast<const ifinfomsg*>(mnl_nlmsg_get_payload(message));
    Attributes attributes(message, sizeof(ifinfomsg), IFLA_MAX);
    if (attributes.has(IFLA_MASTER))
      changes.push_back({info->ifi_index, "master " + std::to_string(attributes.U32(IFLA_MASTER))});
    else if (info->ifi_change & IFF_UP)
      changes.push_back({info->ifi_index, info->ifi_flags & IFF_UP ? "up" : "down"});
  }
  const std::vector<std::pair<int, std::string>> expected = {
      {2, "down"}, {2, "master 10"}, {3, "down"}, {3, "master 10"}, {10, "up"}};
  EXPECT_EQ(changes, expected);

  // The head is the primary; the group's address is on the bond.
  const nlmsghdr* primary = kernel_->Of(RTM_NEWLINK).back();
  Attributes primary_link(primary, sizeof(ifinfomsg), IFLA_MAX);
  Attributes primary_data(Attributes(primary_link[IFLA_LINKINFO], IFLA_INFO_MAX)[IFLA_INFO_DATA],
                          IFLA_BOND_MAX);
  EXPECT_EQ(primary_data.U32(IFLA_BOND_PRIMARY), 2u);
  const std::vector<const nlmsghdr*> added = kernel_->Of(RTM_NEWADDR);
  ASSERT_EQ(added.size(), 1u);
  netlink::Address address;
  ASSERT_TRUE(netlink::ParseAddress(added[0], &address));
  EXPECT_EQ(address.index, 10);
  EXPECT_EQ(address.ToString(), "10.77.0.1/24");
}

TEST_F(BondRequestsTest, ActiveIsReadBackFromTheKernelAndCannotBeForced) {
  std::string error;
  ASSERT_TRUE(path_->Create(Group(0), &error)) << error;
  EXPECT_EQ(path_->Active(), -1);
  kernel_->links["g0"].bond.active_slave = 3;
  EXPECT_EQ(path_->Active(), 1);
  EXPECT_TRUE(path_->SetActive(1, &error));
  EXPECT_FALSE(path_->SetActive(0, &error));
}

TEST_F(BondRequestsTest, DestroyDeletesTheBondAndTheJournal) {
  std::string error;
  ASSERT_TRUE(path_->Create(Group(0), &error)) << error;
  const int bond = kernel_->links["g0"].index;
  path_->Destroy();
  const std::vector<const nlmsghdr*> deleted = kernel_->Of(RTM_DELLINK);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(static_cast<const ifinfomsg*>(mnl_nlmsg_get_payload(deleted[0]))->ifi_index, bond);
  EXPECT_TRUE(std::filesystem::is_empty(root_.path()));
}

TEST(BondDataPath, CarriesTheGroupWhereTheKernelHasBonding) {
  pairway::testing::Topology topology(2);
  if (!topology.ok()) GTEST_SKIP() << "no namespaces here: " << topology.error();
  pairway::testing::TempRoot root;
  std::unique_ptr<DataPath> path;
  std::string error;
  topology.host().Run([&] { path = MakeDataPath("bond", root.path(), &error); });
  if (!path) GTEST_SKIP() << error;
  bool made = false;
  topology.host().Run([&] { made = path->Create(Group(0), &error); });
  ASSERT_TRUE(made) << error;
  auto active_becomes = [&](int wanted) {
    int active = -2;
    for (int round = 0; round < 50 && active != wanted; ++round) {
      topology.host().Run([&] { active = path->Active(); });
      if (active != wanted) std::this_thread::sleep_for(100ms);
    }
    return active;
  };
  EXPECT_EQ(active_becomes(0), 0);
  pairway::testing::UdpEcho echo(topology, "10.77.0.1", 7009);
  EXPECT_EQ(echo.Exchange(20, 2ms, 2s).answered, 20);
  ASSERT_TRUE(topology.SetLink(0, false));
  EXPECT_EQ(active_becomes(1), 1);
  EXPECT_EQ(echo.Exchange(20, 2ms, 2s).answered, 20);
  topology.host().Run([&] { path->Destroy(); });
}

}  // namespace
}  // namespace pairway::driver
