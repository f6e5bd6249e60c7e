#define AGGCFG_TEST_FIXTURE
#include "groups_config_app.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>

#include "test_hive.h"

namespace aggcfg_test {
namespace {

using ConfigModelTest = ConfigTest;

TEST(ConnectionTypes, PositionsAndValuesConvertBothWays) {
  const DWORD values[] = {8, 0, 256, 128, 384, 3, 259, 15, 271, 2, 1};
  for (int position = 0; position < kConnectionTypeCount; ++position) {
    EXPECT_EQ(CGroupsConfigApp::ConnectionTypeFromIndex(position), values[position]);
    EXPECT_EQ(CGroupsConfigApp::IndexFromConnectionType(values[position]), position);
  }
  EXPECT_EQ(CGroupsConfigApp::IndexFromConnectionType(8), 0);
  EXPECT_EQ(CGroupsConfigApp::IndexFromConnectionType(259), 6);
  EXPECT_EQ(CGroupsConfigApp::IndexFromConnectionType(5), 11);
  EXPECT_EQ(CGroupsConfigApp::IndexFromConnectionType(kConnectionTypeUnknown), 11);
}

TEST(ConnectionTypes, PositionOutsideTheTableIsAutodetect) {
  EXPECT_EQ(CGroupsConfigApp::ConnectionTypeFromIndex(-1), 8u);
  EXPECT_EQ(CGroupsConfigApp::ConnectionTypeFromIndex(11), 8u);
}

TEST(ConnectionTypes, OnlyTheFirstSixHaveLabels) {
  EXPECT_STREQ(CGroupsConfigApp::ConnectionTypeLabel(0), "Autodetect Default Connection");
  EXPECT_STREQ(CGroupsConfigApp::ConnectionTypeLabel(4), "100 Mbps/Full Duplex");
  EXPECT_STREQ(CGroupsConfigApp::ConnectionTypeLabel(5), "THIN");
  EXPECT_EQ(CGroupsConfigApp::ConnectionTypeLabel(6), nullptr);
}

// Cards 1 to 6: TREVAN1 heads "Alpha" (index 0) with backups TREVAN2 and TREVAN4; TREVAN3 is
// stand-alone; TREVAN5 heads a group of one without a name; TREVAN6 follows index 9, which no
// primary has.
class LoadedConfigurationTest : public ConfigTest {
 protected:
  void SetUp() override {
    SetRefCount(6);
    for (int card = 1; card <= 6; ++card) AddCard(card);
    MakePrimaryPort(1, 0, 20, "Alpha");
    MakeBackupPort(2, 1, 0);
    SetDword(ParamsKey(3), VAL_ADAPTER_INDEX, 2);
    MakeBackupPort(4, 3, 0);
    SetDword(ParamsKey(5), VAL_ADAPTER_INDEX, 5);
    SetDword(ParamsKey(5), VAL_LINK_CHECK_TIMEOUT, 7);
    MakeBackupPort(6, 6, 9);
    SetDword(ParamsKey(1), VAL_CONNECTION_TYPE, 384);
    SetDword(ParamsKey(2), VAL_CONNECTION_TYPE, 128);
    SetDword(ParamsKey(3), VAL_CONNECTION_TYPE, 3);
    SetDword(ParamsKey(3), VAL_BUS_NUMBER, 1);
    SetDword(ParamsKey(3), VAL_SLOT_NUMBER, 4);
    model_ = LoadModel();
  }
  std::unique_ptr<CAdapterRegistry> model_;
};

TEST_F(LoadedConfigurationTest, GroupsListBackupsInModelOrderThenThePrimary) {
  theApp.LoadConfiguration("TREVAN4");
  ASSERT_EQ(theApp.m_groups.size(), 2u);
  const GroupRecord& alpha = *theApp.m_groups[0];
  EXPECT_EQ(alpha.m_name, "Alpha");
  EXPECT_EQ(alpha.m_timeout, "20");
  EXPECT_EQ(alpha.m_ports, (std::vector<std::string>{"TREVAN2", "TREVAN4", "TREVAN1"}));
  EXPECT_EQ(alpha.m_connectionTypes, (std::vector<DWORD>{128, kConnectionTypeUnknown, 384}));
  EXPECT_EQ(alpha.m_currentPort, "TREVAN4");
}

TEST_F(LoadedConfigurationTest, PrimaryWithoutBackupsIsAGroupOfOneWithAnEmptyName) {
  theApp.LoadConfiguration("");
  const GroupRecord& single = *theApp.m_groups[1];
  EXPECT_EQ(single.m_name, "");
  EXPECT_EQ(single.m_timeout, "7");
  EXPECT_EQ(single.m_ports, (std::vector<std::string>{"TREVAN5"}));
  EXPECT_EQ(single.m_currentPort, "");
}

TEST_F(LoadedConfigurationTest, BackupOfNoPrimaryIsInNeitherList) {
  theApp.LoadConfiguration("");
  for (const auto& group : theApp.m_groups) {
    for (const auto& port : group->m_ports) EXPECT_NE(port, "TREVAN6");
  }
  ASSERT_EQ(theApp.m_standalonePorts.size(), 1u);
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_name, "TREVAN3");
}

TEST_F(LoadedConfigurationTest, StandalonePortCarriesItsTypeBusSlotAndSelection) {
  theApp.LoadConfiguration("TREVAN3");
  const StandalonePortRecord& port = *theApp.m_standalonePorts[0];
  EXPECT_EQ(port.m_selected, 1);
  EXPECT_EQ(port.m_connectionType, 3u);
  EXPECT_EQ(port.m_connectionTypeText, "");
  EXPECT_EQ(port.m_busText, "1");
  EXPECT_EQ(port.m_slotText, "4");
  theApp.FreeStandalonePorts();
  theApp.FreeGroups();
  theApp.LoadConfiguration("trevan3");  // names compare exactly
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_selected, 0);
}

TEST_F(LoadedConfigurationTest, UntypedPortsAreListedAsAutodetectAndNoneIsSelected) {
  theApp.LoadUntypedPorts();
  std::vector<std::string> names;
  for (const auto& port : theApp.m_standalonePorts) {
    names.push_back(port->m_name);
    EXPECT_EQ(port->m_selected, 0);
    EXPECT_EQ(port->m_connectionType, 8u);
    EXPECT_EQ(port->m_connectionTypeText, "Autodetect Default Connection");
    EXPECT_EQ(port->m_busText, "Error");
    EXPECT_EQ(port->m_slotText, "Error");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"TREVAN4", "TREVAN5", "TREVAN6"}));
}

TEST_F(LoadedConfigurationTest, TypedPortIsListedSelectedOnlyWhenItHasAType) {
  theApp.LoadTypedPort("TREVAN4");
  EXPECT_TRUE(theApp.m_standalonePorts.empty());
  theApp.LoadTypedPort("TREVAN9");
  EXPECT_TRUE(theApp.m_standalonePorts.empty());
  theApp.LoadTypedPort("TREVAN2");
  ASSERT_EQ(theApp.m_standalonePorts.size(), 1u);
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_name, "TREVAN2");
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_selected, 1);
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_connectionType, 128u);
}

// A port carrying both marks counts as a primary; it heads its own group and is not listed as a
// backup of another one as well.
TEST_F(ConfigModelTest, PortWithBothMarksIsAPrimaryOnly) {
  SetRefCount(2);
  AddCard(1);
  AddCard(2);
  MakePrimaryPort(1, 0, 5, "A");
  MakePrimaryPort(2, 1, 6, "B");
  SetDword(ParamsKey(2), VAL_PRIMARY_INDEX, 0);
  auto model = LoadModel();
  theApp.LoadConfiguration("");
  ASSERT_EQ(theApp.m_groups.size(), 2u);
  EXPECT_EQ(theApp.m_groups[0]->m_ports, (std::vector<std::string>{"TREVAN1"}));
  EXPECT_EQ(theApp.m_groups[1]->m_ports, (std::vector<std::string>{"TREVAN2"}));
  EXPECT_TRUE(theApp.m_standalonePorts.empty());
}

TEST_F(ConfigModelTest, PrimaryNamingItselfIsListedOnce) {
  SetRefCount(1);
  AddCard(1);
  MakePrimaryPort(1, 3, 5, "A");
  SetDword(ParamsKey(1), VAL_PRIMARY_INDEX, 3);
  auto model = LoadModel();
  theApp.LoadConfiguration("");
  ASSERT_EQ(theApp.m_groups.size(), 1u);
  EXPECT_EQ(theApp.m_groups[0]->m_ports, (std::vector<std::string>{"TREVAN1"}));
}

TEST_F(ConfigModelTest, HelpCommandAsksForTheLibrarysHelpFile) {
  EXPECT_TRUE(theApp.OnCmdMsg(pairway::ui::ID_HELP));
  EXPECT_FALSE(theApp.OnCmdMsg(1));
  auto help = sink_.help();
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].command, static_cast<UINT>(HELP_INDEX));
  EXPECT_NE(help[0].help_file.find("aggcfg_tests.HLP"), std::string::npos) << help[0].help_file;
}

TEST_F(ConfigModelTest, MessageBoxesAreCaptionedWithTheApplicationTitle) {
  theApp.DoMessageBox("No Stand Alone Ports To Save!!!", MB_OK, 0);
  ASSERT_EQ(sink_.boxes().size(), 1u);
  EXPECT_EQ(sink_.boxes()[0].caption, "Pairway Port Aggregation");
  EXPECT_EQ(sink_.boxes()[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

}  // namespace
}  // namespace aggcfg_test

namespace aggcfg_test {
namespace {

// A hive seeded the way people seed one: a REGEDIT4 file applied with pairway-reg import.
const char kSeed[] = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Corvane\TREVAN\CurrentVersion]
"RefCount"=dword:00000003

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\1]
"ProductName"="TREVAN"
"ServiceName"="TREVAN1"
"Title"="[1] Corvane Port <Uplink>"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\1\NetRules]
"bindform"="\"TREVAN1\" yes yes container"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\2]
"ProductName"="TREVAN"
"ServiceName"="TREVAN2"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\3]
"ProductName"="TREVAN"
"ServiceName"="TREVAN3"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\TREVAN1\Parameters]
"AdapterIndex"=dword:00000000
"LinkCheckTimeOut"=dword:0000000c
"GroupName"="Uplink"
"ConnectionType"=dword:00000180

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\TREVAN2\Parameters]
"AdapterIndex"=dword:00000001
"PrimaryIndex"=dword:00000000
"ConnectionType"=dword:00000180

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\TREVAN3\Parameters]
"AdapterIndex"=dword:00000002
"BusNumber"=dword:00000000
"SlotNumber"=dword:00000004
)";

TEST_F(ConfigModelTest, LoadsAHiveImportedWithTheRegistryTool) {
  std::filesystem::path seed = root_.path() / "seed.reg";
  FILE* file = fopen(seed.c_str(), "w");
  ASSERT_NE(file, nullptr);
  fputs(kSeed, file);
  fclose(file);
  std::string tool = (pairway::testing::BuildDir() / "bin" / "pairway-reg").string();
  ASSERT_EQ(pairway::testing::RunCommand("'" + tool + "' import '" + seed.string() + "'"), 0);

  auto model = LoadModel();
  theApp.LoadConfiguration("TREVAN2");
  ASSERT_EQ(theApp.m_groups.size(), 1u);
  EXPECT_EQ(theApp.m_groups[0]->m_name, "Uplink");
  EXPECT_EQ(theApp.m_groups[0]->m_timeout, "12");
  EXPECT_EQ(theApp.m_groups[0]->m_ports, (std::vector<std::string>{"TREVAN2", "TREVAN1"}));
  EXPECT_EQ(theApp.m_groups[0]->m_connectionTypes, (std::vector<DWORD>{384, 384}));
  EXPECT_EQ(theApp.m_groups[0]->m_currentPort, "TREVAN2");
  ASSERT_EQ(theApp.m_standalonePorts.size(), 1u);
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_name, "TREVAN3");
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_busText, "0");
  EXPECT_EQ(theApp.m_standalonePorts[0]->m_slotText, "4");
  EXPECT_EQ(model->adapter_indexes()[2], 2);
  EXPECT_EQ(model->adapter_indexes()[3], 99);
}

}  // namespace
}  // namespace aggcfg_test
