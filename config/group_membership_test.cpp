#define AGGCFG_TEST_FIXTURE
#include <gtest/gtest.h>

#include "groups_config_app.h"
#include "test_hive.h"

namespace aggcfg_test {
namespace {

using Names = std::vector<std::string>;

TEST(PortNames, SortByInstanceNumberAndRebuildEveryName) {
  Names names = {"TREVAN10", "TREVAN2", "TREVAN1"};
  CGroupsConfigApp::SortPortNames(&names);
  EXPECT_EQ(names, (Names{"TREVAN1", "TREVAN2", "TREVAN10"}));
  names = {"TREVAN01", "TREVAN123", "TREVAN", "TREVANx"};
  CGroupsConfigApp::SortPortNames(&names);
  EXPECT_EQ(names, (Names{"TREVAN0", "TREVAN0", "TREVAN1", "TREVAN12"}));
}

TEST(PortNames, PrimaryIsTheHighestNumberedPort) {
  EXPECT_EQ(CGroupsConfigApp::ChoosePrimary({"TREVAN3", "TREVAN12"}), "TREVAN12");
  EXPECT_EQ(CGroupsConfigApp::ChoosePrimary({"TREVAN9", "TREVAN10", "TREVAN2"}), "TREVAN10");
  EXPECT_EQ(CGroupsConfigApp::ChoosePrimary({"TREVAN4"}), "TREVAN4");
  EXPECT_EQ(CGroupsConfigApp::ChoosePrimary({}), "");
}

TEST(PortNames, InstanceNumberUsesAtMostTwoLeadingDigits) {
  EXPECT_EQ(CGroupsConfigApp::InstanceNumber("TREVAN7"), 7);
  EXPECT_EQ(CGroupsConfigApp::InstanceNumber("TREVAN12"), 12);
  EXPECT_EQ(CGroupsConfigApp::InstanceNumber("TREVAN123"), 12);
  EXPECT_EQ(CGroupsConfigApp::InstanceNumber("TREVAN5a"), 5);
  EXPECT_EQ(CGroupsConfigApp::InstanceNumber("TREVAN"), 0);
}

class MembershipTest : public ConfigTest {
 protected:
  // Cards 1, 2, 3 and 5 of the driver, all stand-alone with indexes 0, 1, 2 and 4.
  void MakeCards() {
    SetRefCount(4);
    for (int card : {1, 2, 3, 5}) {
      AddCard(card);
      SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
    }
  }
  void WriteBindRules(int card) {
    SetText(NetRulesKey(card), VAL_BINDFORM, "x");
    SetText(NetRulesKey(card), VAL_CLASS, "x");
    SetText(NetRulesKey(card), VAL_TYPE, "x");
  }
};

TEST_F(MembershipTest, RoleChangesWriteExactlyTheValuesOfEachRole) {
  MakeCards();
  auto model = LoadModel();
  theApp.MakePrimary("TREVAN5", 30, "Group1");
  theApp.MakeBackup("TREVAN5", "TREVAN2");
  ExpectPrimary(5, 30, "Group1");
  ExpectBackup(2, 4);
  theApp.MakeStandalone("TREVAN5");
  theApp.MakeStandalone("TREVAN2");
  ExpectStandalone(5);
  ExpectStandalone(2);
  EXPECT_TRUE(sink_.boxes().empty());
}

// A primary without an index cannot be named by a backup: the port stays a port of its own, with
// its bindings, instead of following no group.
TEST_F(MembershipTest, BackupOfAPrimaryWithoutIndexStaysStandalone) {
  MakeCards();
  SetRefCount(5);
  AddCard(6);
  auto model = LoadModel();
  theApp.MakeBackup("TREVAN6", "TREVAN2");
  ExpectStandalone(2);
}

TEST_F(MembershipTest, IpSettingsAreFoundAndRemovedTogether) {
  MakeCards();
  GiveIpSettings(2);
  GiveIpSettings(5);
  auto model = LoadModel();
  EXPECT_EQ(theApp.ListPortsWithIpAddress({"TREVAN1", "TREVAN2", "TREVAN5", "TREVAN9"}),
            "TREVAN2\nTREVAN5\n");
  EXPECT_EQ(theApp.ListPortsWithIpAddress({"TREVAN1"}), "");
  theApp.RemoveIpSettings("TREVAN2");
  EXPECT_FALSE(theApp.HasIpAddress("TREVAN2"));
  for (const char* name : {VAL_IP_ADDRESS, VAL_SUBNET_MASK, VAL_DEFAULT_GATEWAY, VAL_ENABLE_DHCP}) {
    EXPECT_FALSE(Has(TcpipKey(2), name)) << name;
    EXPECT_TRUE(Has(TcpipKey(5), name)) << name;
  }
}

// TREVAN1 heads "Group1" (time-out 45) with backups TREVAN2 and TREVAN5.
class GroupOfThreeTest : public MembershipTest {
 protected:
  void SetUp() override {
    MakeCards();
    MakePrimaryPort(1, 0, 45, "Group1");
    WriteBindRules(1);
    WriteBindRules(3);
    MakeBackupPort(2, 1, 0);
    MakeBackupPort(5, 4, 0);
    GiveIpSettings(1);
    GiveIpSettings(3);
  }
};

TEST_F(GroupOfThreeTest, RemovingThePrimaryHandsTheGroupToTheHighestNumberedBackup) {
  auto model = LoadModel();
  theApp.RemovePortLinks("TREVAN1");
  ExpectPrimary(5, 45, "Group1");
  ExpectBackup(2, 4);
  ExpectStandalone(1);
  // Indexes never change, and a primary's own TCP/IP settings are not touched.
  for (int card : {1, 2, 3, 5}) EXPECT_EQ(Dword(ParamsKey(card), VAL_ADAPTER_INDEX), card - 1u);
  EXPECT_TRUE(Has(TcpipKey(1), VAL_IP_ADDRESS));
  EXPECT_TRUE(sink_.boxes().empty());
}

TEST_F(GroupOfThreeTest, RemovingABackupClearsItsPrimarysTcpipAndNothingElse) {
  auto model = LoadModel();
  theApp.RemovePortLinks("TREVAN2");
  for (const char* name : {VAL_IP_ADDRESS, VAL_SUBNET_MASK, VAL_DEFAULT_GATEWAY, VAL_ENABLE_DHCP}) {
    EXPECT_FALSE(Has(TcpipKey(1), name)) << name;
  }
  ExpectPrimary(1, 45, "Group1");
  ExpectBackup(2, 0);
  ExpectBackup(5, 0);
  EXPECT_TRUE(Has(TcpipKey(3), VAL_IP_ADDRESS));
}

TEST_F(GroupOfThreeTest, StandaloneOrUnknownPortIsLeftAlone) {
  auto model = LoadModel();
  theApp.RemovePortLinks("TREVAN3");
  theApp.RemovePortLinks("TREVAN9");
  theApp.RemovePortLinks("trevan1");
  ExpectStandalone(3);
  ExpectPrimary(1, 45, "Group1");
  ExpectBackup(2, 0);
  ExpectBackup(5, 0);
  EXPECT_TRUE(Has(TcpipKey(3), VAL_IP_ADDRESS));
  EXPECT_TRUE(Has(TcpipKey(1), VAL_IP_ADDRESS));
}

TEST_F(MembershipTest, RemovingTheOnlyPortOfAGroupOnlyMakesItStandalone) {
  MakeCards();
  MakePrimaryPort(3, 2, 10, "Solo");
  WriteBindRules(3);
  auto model = LoadModel();
  theApp.RemovePortLinks("TREVAN3");
  ExpectStandalone(3);
  for (int card : {1, 2, 5}) {
    EXPECT_FALSE(Has(ParamsKey(card), VAL_LINK_CHECK_TIMEOUT));
    EXPECT_FALSE(Has(ParamsKey(card), VAL_PRIMARY_INDEX));
  }
}

// A primary that is also marked as a backup goes through both steps: its primary's TCP/IP
// settings are cleared, then its own group moves to its highest-numbered backup.
TEST_F(MembershipTest, PortWithBothMarksIsRemovedAsBackupThenAsPrimary) {
  MakeCards();
  MakePrimaryPort(1, 0, 5, "A");
  WriteBindRules(1);
  GiveIpSettings(1);
  MakePrimaryPort(3, 2, 9, "B");
  SetDword(ParamsKey(3), VAL_PRIMARY_INDEX, 0);
  MakeBackupPort(5, 4, 2);
  auto model = LoadModel();
  theApp.RemovePortLinks("TREVAN3");
  EXPECT_FALSE(Has(TcpipKey(1), VAL_IP_ADDRESS));
  ExpectPrimary(5, 9, "B");
  ExpectStandalone(3);
  ExpectPrimary(1, 5, "A");
}

}  // namespace
}  // namespace aggcfg_test
