// Forming groups from driver parameters: the role rules and what the driver refuses.
#include "group_model.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <set>

namespace pairway::driver {
namespace {

PortParams Port(int instance, uint32_t index, std::string ifname = "") {
  PortParams port;
  port.port = "TREVAN" + std::to_string(instance);
  port.instance = instance;
  port.adapter_index = index;
  port.host_interface = std::move(ifname);
  return port;
}

PortParams Head(int instance, uint32_t index, uint32_t timeout, std::string name,
                std::string ifname = "") {
  PortParams port = Port(instance, index, std::move(ifname));
  port.link_check_timeout = timeout;
  port.group_name = std::move(name);
  return port;
}

PortParams Backup(int instance, uint32_t index, uint32_t primary, std::string ifname = "") {
  PortParams port = Port(instance, index, std::move(ifname));
  port.primary_index = primary;
  return port;
}

std::vector<std::string> Ports(const GroupConfig& group) {
  std::vector<std::string> ports;
  for (const MemberSpec& member : group.members) ports.push_back(member.port);
  return ports;
}

std::vector<std::string> Addresses(const GroupConfig& group) {
  std::vector<std::string> text;
  for (const Ipv4Prefix& prefix : group.addresses) text.push_back(FormatPrefix(prefix));
  return text;
}

std::string ReasonFor(const GroupModel& model, const std::string& port) {
  for (const RejectedPort& rejected : model.rejected) {
    if (rejected.port == port) return rejected.reason;
  }
  return "";
}

TEST(GroupModelTest, RolesFormGroupsWithBackupsInTakeOverOrder) {
  const GroupModel model = FormGroups({Backup(1, 0, 3), Port(2, 1), Head(4, 3, 5, "left"),
                                       Backup(7, 4, 3), Head(5, 5, 0, "alone"), Backup(6, 6, 3)});
  ASSERT_EQ(model.groups.size(), 2u);
  EXPECT_EQ(model.groups[0].head, "TREVAN4");
  EXPECT_EQ(model.groups[0].name, "left");
  EXPECT_EQ(model.groups[0].link_check_timeout_s, 5u);
  EXPECT_TRUE(model.groups[0].emulated);
  EXPECT_EQ(Ports(model.groups[0]),
            (std::vector<std::string>{"TREVAN4", "TREVAN7", "TREVAN6", "TREVAN1"}));
  EXPECT_EQ(Ports(model.groups[1]), std::vector<std::string>{"TREVAN5"});  // a group of one
  EXPECT_TRUE(model.rejected.empty());
}

TEST(GroupModelTest, BothMarksMakeAHeadAndABadPrimaryIndexLeavesThePortStandAlone) {
  PortParams both = Head(2, 7, 1, "g");
  both.primary_index = 3;
  const GroupModel model = FormGroups({Head(1, 3, 1, "h"), both, Backup(3, 4, 9), Backup(4, 5, 7)});
  ASSERT_EQ(model.groups.size(), 2u);
  EXPECT_EQ(Ports(model.groups[0]), std::vector<std::string>{"TREVAN1"});
  EXPECT_EQ(Ports(model.groups[1]), (std::vector<std::string>{"TREVAN2", "TREVAN4"}));
  EXPECT_NE(ReasonFor(model, "TREVAN3").find("names no group head"), std::string::npos);
  EXPECT_EQ(model.rejected.size(), 1u);
}

TEST(GroupModelTest, APortTwoHeadsClaimIsLeftOutAndBothHeadsStillRun) {
  const GroupModel model = FormGroups({Head(1, 2, 1, "a"), Head(2, 2, 1, "b"), Backup(3, 3, 2)});
  ASSERT_EQ(model.groups.size(), 2u);
  EXPECT_EQ(model.groups[0].members.size(), 1u);
  EXPECT_EQ(model.groups[1].members.size(), 1u);
  EXPECT_NE(ReasonFor(model, "TREVAN3").find("two group heads (TREVAN1, TREVAN2)"),
            std::string::npos);
}

TEST(GroupModelTest, OneInterfaceServesOnePortAndMixedGroupsAreRefusedWhole) {
  const GroupModel model = FormGroups({
      Head(1, 1, 1, "first", "m0"),
      Backup(2, 2, 1, "m1"),
      Head(3, 3, 1, "second", "m1"),  // its head's interface is taken
      Backup(4, 4, 3, "m2"),          // goes with its head
      Head(5, 5, 1, "third", "m3"),
      Backup(6, 6, 5, "m0"),  // a backup on a taken interface
      Head(7, 7, 1, "mixed", "m4"),
      Backup(8, 8, 7),
  });
  ASSERT_EQ(model.groups.size(), 2u);
  EXPECT_EQ(Ports(model.groups[0]), (std::vector<std::string>{"TREVAN1", "TREVAN2"}));
  EXPECT_FALSE(model.groups[0].emulated);
  EXPECT_EQ(Ports(model.groups[1]), std::vector<std::string>{"TREVAN5"});
  EXPECT_NE(ReasonFor(model, "TREVAN3").find("m1 already serves TREVAN2"), std::string::npos);
  EXPECT_NE(ReasonFor(model, "TREVAN4").find("head TREVAN3 is rejected"), std::string::npos);
  EXPECT_NE(ReasonFor(model, "TREVAN6").find("m0 already serves TREVAN1"), std::string::npos);
  EXPECT_NE(ReasonFor(model, "TREVAN7").find("mixes"), std::string::npos);
  EXPECT_NE(ReasonFor(model, "TREVAN8").find("mixes"), std::string::npos);
}

TEST(GroupModelTest, AddressesComeFromTheHeadsTcpipWithClassMasksWhereMasksAreMissing) {
  PortParams head = Head(1, 1, 1, "g");
  head.ip_addresses = {"192.168.7.5", "10.1.2.3", "172.16.0.9", "10.1.2.3"};
  head.subnet_masks = {"255.255.255.128", ""};
  head.address_copy = "192.0.2.1";  // the copy counts only without a TCP/IP address
  const GroupModel model = FormGroups({head});
  EXPECT_EQ(Addresses(model.groups[0]),
            (std::vector<std::string>{"192.168.7.5/25", "10.1.2.3/8", "172.16.0.9/16"}));
  EXPECT_TRUE(model.notes.empty());

  PortParams copy_only = Head(1, 1, 1, "g");
  copy_only.ip_addresses = {"0.0.0.0"};
  copy_only.address_copy = "192.0.2.1";
  EXPECT_EQ(Addresses(FormGroups({copy_only}).groups[0]), std::vector<std::string>{"192.0.2.1/24"});
}

TEST(GroupModelTest, AddressesThatAreNoHostAddressesAreNotedAndLeftOut) {
  PortParams head = Head(1, 1, 1, "g");
  head.ip_addresses = {"224.0.0.1", "300.1.1.1", "10.0.0.1", "127.0.0.2", "10.0.0.2", "0.0.0.0"};
  head.subnet_masks = {"", "", "255.0.255.0", "", "0.0.0.0", ""};
  const GroupModel model = FormGroups({head});
  EXPECT_TRUE(model.groups[0].addresses.empty());
  EXPECT_EQ(model.notes.size(), 5u);  // 0.0.0.0 is "no address yet", not a fault
  EXPECT_EQ(FormGroups({Head(1, 1, 1, "no address")}).groups[0].addresses.size(), 0u);
}

TEST(GroupModelTest, ConfigurationsCompareByEverythingTheHostIsMadeFrom) {
  PortParams head = Head(1, 1, 1, "g", "m0");
  head.ip_addresses = {"10.0.0.1"};
  const GroupConfig a = FormGroups({head, Backup(2, 2, 1, "m1")}).groups[0];
  EXPECT_TRUE(a == FormGroups({head, Backup(2, 2, 1, "m1")}).groups[0]);
  EXPECT_FALSE(a == FormGroups({head, Backup(2, 2, 1, "m2")}).groups[0]);
  head.ip_addresses = {"10.0.0.2"};
  EXPECT_FALSE(a == FormGroups({head, Backup(2, 2, 1, "m1")}).groups[0]);
}

TEST(GroupModelTest, LinuxNamesFollowTheKernelsRulesAndClashesGetASuffix) {
  const auto none = [](const std::string&) { return false; };
  EXPECT_EQ(LinuxInterfaceName("team0", "TREVAN1", none), "team0");
  EXPECT_EQ(LinuxInterfaceName("My Group/1:a", "TREVAN1", none), "My-Group-1-a");
  EXPECT_EQ(LinuxInterfaceName("a name of thirty-two characters!", "TREVAN1", none),
            "a-name-of-thirt");
  EXPECT_EQ(LinuxInterfaceName("", "TREVAN12", none), "trevan12");
  EXPECT_EQ(LinuxInterfaceName("..", "TREVAN3", none), "trevan3");
  EXPECT_EQ(LinuxInterfaceName("gr\xe9", "TREVAN3", none), "gr-");

  std::set<std::string> taken = {"uplink", "uplink-2", "fifteen-bytes-x", "fifteen-bytes-2"};
  const auto in_use = [&](const std::string& name) { return taken.count(name) != 0; };
  EXPECT_EQ(LinuxInterfaceName("uplink", "TREVAN1", in_use), "uplink-3");
  EXPECT_EQ(LinuxInterfaceName("fifteen-bytes-x", "TREVAN1", in_use), "fifteen-bytes-3");
  EXPECT_EQ(LinuxInterfaceName("x", "TREVAN1", [](const std::string&) { return true; }), "");
}

}  // namespace
}  // namespace pairway::driver
