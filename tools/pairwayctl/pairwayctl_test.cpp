// pairwayctl on a fresh root with four ports: the group verbs leave what the page's Apply leaves,
// refusals and unconfirmed questions write nothing, and a dry run only tells.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "four_port_root.h"
#include "registry_changes.h"
#include "test_hive.h"

namespace {

using namespace aggcfg_test;
using pairway::testing::RunCommand;

class PairwayctlTest : public pairwayctl_test::FourPortRootTest {
 protected:
  std::string Title(int card) { return Text(CardKey(card), "Title").value_or("<none>"); }
};

TEST_F(PairwayctlTest, PortTypeSavesAsTheNewHardwareDialogDoes) {
  // The new ports got their indexes in card order, autodetect and their bind rules.
  for (int card = 1; card <= 4; ++card) {
    EXPECT_EQ(Dword(ParamsKey(card), "AdapterIndex"), static_cast<DWORD>(card - 1));
    EXPECT_EQ(Dword(ParamsKey(card), "ConnectionType"), 8u);
    EXPECT_TRUE(Has(NetRulesKey(card), "bindform"));
  }
  std::string out;
  // A typed port takes a new type and keeps its index; a code the lists do not label is taken.
  ASSERT_EQ(Ctl("port type TREVAN2 100full", &out), 0) << out;
  EXPECT_EQ(Dword(ParamsKey(2), "ConnectionType"), 384u);
  EXPECT_EQ(Dword(ParamsKey(2), "AdapterIndex"), 1u);
  EXPECT_EQ(Dword(ParamsKey(1), "ConnectionType"), 8u) << "only the named port";
  ASSERT_EQ(Ctl("port type 3 259", &out), 0) << out;
  EXPECT_EQ(Dword(ParamsKey(3), "ConnectionType"), 259u);

  std::string before = Export();
  EXPECT_EQ(Ctl("port type 9 auto", &out), 1) << out;
  EXPECT_EQ(Ctl("port type 1 fast", &out), 2) << out;
  EXPECT_EQ(Ctl("port type 1 7", &out), 2) << "7 is no code of the table";
  EXPECT_EQ(Export(), before);
}

TEST_F(PairwayctlTest, CreateAddRenameAndTimeoutWriteWhatApplyWrites) {
  std::string out;
  ASSERT_EQ(Ctl("group create - 1 2", &out), 0) << out;
  // The highest-numbered port is the primary; the group takes the smallest free default name.
  EXPECT_EQ(Text(ParamsKey(2), "GroupName"), "Group1");
  EXPECT_EQ(Dword(ParamsKey(2), "LinkCheckTimeOut"), 10u);
  EXPECT_EQ(Dword(ParamsKey(1), "PrimaryIndex"), 1u);
  EXPECT_EQ(Title(1), "Adapter 1 <Group1>");

  ASSERT_EQ(Ctl("group add Group1 4", &out), 0) << out;
  EXPECT_EQ(Text(ParamsKey(4), "GroupName"), "Group1");
  EXPECT_FALSE(Has(ParamsKey(2), "LinkCheckTimeOut"));
  EXPECT_EQ(Dword(ParamsKey(2), "PrimaryIndex"), 3u);

  ASSERT_EQ(Ctl("group rename Group1 Fast", &out), 0) << out;
  ASSERT_EQ(Ctl("group timeout Fast 25", &out), 0) << out;
  EXPECT_EQ(Text(ParamsKey(4), "GroupName"), "Fast");
  EXPECT_EQ(Dword(ParamsKey(4), "LinkCheckTimeOut"), 25u);
  EXPECT_EQ(Title(1), "Adapter 1 <Fast>");

  ASSERT_EQ(Ctl("group create Second 3 --timeout 7", &out), 0) << out;
  EXPECT_EQ(Text(ParamsKey(3), "GroupName"), "Second");
  EXPECT_EQ(Dword(ParamsKey(3), "LinkCheckTimeOut"), 7u);
}

TEST_F(PairwayctlTest, RemovingThePrimaryMakesTheNextHighestPortPrimary) {
  std::string out;
  ASSERT_EQ(Ctl("group create - 1 2 3", &out), 0) << out;
  ASSERT_EQ(Ctl("group remove TREVAN3", &out), 0) << out;
  EXPECT_FALSE(Has(ParamsKey(3), "LinkCheckTimeOut"));
  EXPECT_FALSE(Has(ParamsKey(3), "GroupName"));
  EXPECT_EQ(Title(3), "Adapter 3");
  EXPECT_EQ(Text(ParamsKey(2), "GroupName"), "Group1");
  EXPECT_EQ(Dword(ParamsKey(1), "PrimaryIndex"), 1u);

  // The last ports leave: the group is gone.
  ASSERT_EQ(Ctl("group remove 1 2", &out), 0) << out;
  ASSERT_EQ(Ctl("show --json", &out), 0);
  EXPECT_NE(out.find("\"groups\": []"), std::string::npos) << out;
}

TEST_F(PairwayctlTest, RefusalsKeepThePagesTextsAndWriteNothing) {
  std::string out;
  ASSERT_EQ(Ctl("group create - 1 2", &out), 0) << out;
  std::string before = Export();

  EXPECT_EQ(Ctl("group timeout Group1 ''", &out), 1);
  EXPECT_NE(out.find("Error ** Link Check Time Out Can Not Be Empty!! **"), std::string::npos);
  EXPECT_EQ(Ctl("group timeout Group1 1000", &out), 1);
  EXPECT_NE(out.find("Please enter no more than 3 characters."), std::string::npos);
  EXPECT_EQ(Ctl("group add Nothing 3", &out), 1);
  EXPECT_EQ(Ctl("group add Group1 1", &out), 1) << "TREVAN1 is not stand-alone";
  // The page would keep the default name: a name that begins another group's name is refused.
  EXPECT_EQ(Ctl("group create Group 3", &out), 1);
  EXPECT_EQ(Ctl("group rename Group1 group", &out), 1);
  EXPECT_EQ(Ctl("group remove 3", &out), 1);
  EXPECT_EQ(Export(), before);
}

TEST_F(PairwayctlTest, IpSettingsGoOnlyWithConsent) {
  ASSERT_EQ(Tool("pairway-netsetup", "set-ip 2 10.1.2.3"), 0);
  std::string before = Export();
  std::string out;
  EXPECT_EQ(Ctl("group create - 1 2", &out), 1);
  EXPECT_NE(out.find("This action will remove IP Address for following Port(s)\nTREVAN2"),
            std::string::npos)
      << out;
  EXPECT_EQ(Export(), before);

  ASSERT_EQ(Ctl("--yes group create - 1 2", &out), 0) << out;
  EXPECT_FALSE(Has(TcpipKey(2), "IPAddress"));
  EXPECT_EQ(Text(ParamsKey(2), "GroupName"), "Group1");
}

TEST_F(PairwayctlTest, DryRunPrintsTheChangesAndWritesNothing) {
  std::string before = Export();
  std::string out;
  ASSERT_EQ(Ctl("--dry-run group create Fast 3 4 --timeout 30", &out), 0) << out;
  EXPECT_EQ(Export(), before);
  EXPECT_NE(out.find("\"GroupName\"=\"Fast\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"LinkCheckTimeOut\"=dword:0000001e"), std::string::npos) << out;
  EXPECT_NE(out.find("\"Title\"=\"Adapter 3 <Fast>\""), std::string::npos) << out;

  // What a dry run prints, imported, makes the same change as the real run.
  std::string changes = (root_.path() / "changes.reg").string();
  ASSERT_EQ(RunCommand("printf 'REGEDIT4\\n\\n' > '" + changes + "'"), 0);
  ASSERT_EQ(Ctl("--dry-run group create Fast 3 4 --timeout 30 >> '" + changes + "'"), 0);
  ASSERT_EQ(Ctl("group create Fast 3 4 --timeout 30", &out), 0) << out;
  std::string real = Export();
  ASSERT_EQ(Ctl("group remove 3 4", &out), 0) << out;
  ASSERT_EQ(Tool("pairway-reg", "import '" + changes + "'", &out), 0) << out;
  EXPECT_EQ(Export(), real);
}

TEST(RegistryChanges, DescribesNewChangedAndDeletedValuesAndKeys) {
  using pairway::reg::KeySection;
  auto value = [](const char* name, const char* text) {
    std::string bytes(text, strlen(text) + 1);
    return pairway::reg::ExportedValue{name, REG_SZ, std::vector<BYTE>(bytes.begin(), bytes.end())};
  };
  std::vector<KeySection> before = {
      {"HKEY_LOCAL_MACHINE\\A", {value("kept", "1"), value("x", "old")}},
      {"HKEY_LOCAL_MACHINE\\Gone", {}},
      {"HKEY_LOCAL_MACHINE\\Gone\\Child", {value("c", "1")}},
      {"HKEY_LOCAL_MACHINE\\Same", {value("s", "1")}}};
  std::vector<KeySection> after = {
      {"HKEY_LOCAL_MACHINE\\A", {value("kept", "1"), value("y", "new")}},
      {"HKEY_LOCAL_MACHINE\\New", {value("n", "1")}},
      {"HKEY_LOCAL_MACHINE\\Same", {value("s", "1")}}};
  EXPECT_EQ(pairwayctl::DescribeChanges(before, after),
            "[-HKEY_LOCAL_MACHINE\\Gone]\n\n"
            "[HKEY_LOCAL_MACHINE\\A]\n\"y\"=\"new\"\n\"x\"=-\n\n"
            "[HKEY_LOCAL_MACHINE\\New]\n\"n\"=\"1\"\n\n");
  EXPECT_EQ(pairwayctl::DescribeChanges(after, after), "");
}

}  // namespace
