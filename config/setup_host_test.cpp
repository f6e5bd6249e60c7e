// The library on a machine prepared by the network setup stand-in: cards installed with
// pairway-netsetup, procedures reached through its call verb, as the platform's setup does.
#define AGGCFG_TEST_FIXTURE
#include <gtest/gtest.h>

#include <filesystem>

#include "groups_config_app.h"
#include "pairway/machine_root.h"
#include "test_hive.h"

namespace aggcfg_test {
namespace {

class SetupHostTest : public ConfigTest {
 protected:
  // Runs pairway-netsetup with `args`; returns its exit status, *out gets standard output.
  static int Netsetup(const std::string& args, std::string* out = nullptr) {
    std::string tool = (pairway::testing::BuildDir() / "bin" / "pairway-netsetup").string();
    return pairway::testing::RunCommand("'" + tool + "' " + args + " 2>/dev/null", out);
  }

  // Three ports in slot 4, as the setup installs them.
  void InstallThreeCards() {
    ASSERT_EQ(Netsetup("init >/dev/null"), 0);
    for (int card = 1; card <= 3; ++card) {
      ASSERT_EQ(Netsetup("add-card --slot 4 --bus 1 >/dev/null"), 0);
    }
  }
};

TEST_F(SetupHostTest, NewlyInstalledCardsAreListedAsUntypedPorts) {
  InstallThreeCards();
  auto model = LoadModel();
  ASSERT_EQ(model->entries().size(), 3u);
  theApp.LoadUntypedPorts();
  ASSERT_EQ(theApp.m_standalonePorts.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const StandalonePortRecord& port = *theApp.m_standalonePorts[i];
    EXPECT_EQ(port.m_name, "TREVAN" + std::to_string(i + 1));
    EXPECT_EQ(port.m_connectionType, 8u);
    EXPECT_EQ(port.m_busText, "1");
    EXPECT_EQ(port.m_slotText, "4");
  }
  theApp.FreeStandalonePorts();
  theApp.LoadConfiguration("");
  EXPECT_EQ(theApp.m_standalonePorts.size(), 3u);
  EXPECT_TRUE(theApp.m_groups.empty());
}

// Where nobody can answer a window (no screen, no program answering for a person) the sheet and
// the new-hardware dialog are not shown: the call returns "99" at once, saves nothing and names
// the pairwayctl commands that do the same work.
TEST_F(SetupHostTest, WithoutAScreenTheWindowsAreNotShownAndTheCommandsAreNamed) {
  InstallThreeCards();
  std::string tool = (pairway::testing::BuildDir() / "bin" / "pairway-netsetup").string();
  // `timeout` only keeps a broken build from hanging the run; the call must not wait at all.
  std::string prefix =
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 300 '" + tool + "' call ";
  std::string out;
  ASSERT_EQ(pairway::testing::RunCommand(prefix + "aggcfg.dll TrevanConfig 0 2>&1", &out), 0)
      << out;
  EXPECT_NE(out.find("Pairway Port Aggregation: there is no screen"), std::string::npos) << out;
  EXPECT_NE(out.find("pairwayctl group create NAME PORT..."), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1), "99\n") << out;

  ASSERT_EQ(pairway::testing::RunCommand(prefix + "aggcfg.dll TrevanGetConnType 0 2>&1", &out), 0)
      << out;
  EXPECT_NE(out.find("Corvane New Hardware Found: there is no screen"), std::string::npos) << out;
  EXPECT_NE(out.find("pairwayctl port type PORT... TYPE"), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1), "99\n") << out;
  for (int card = 1; card <= 3; ++card) {
    EXPECT_FALSE(Has(ParamsKey(card), VAL_CONNECTION_TYPE)) << card;
    EXPECT_FALSE(Has(ParamsKey(card), VAL_ADAPTER_INDEX)) << card;
  }
}

}  // namespace
}  // namespace aggcfg_test

namespace aggcfg_test {
namespace {

// TREVAN1 heads "Group1" (time-out 45) with backups TREVAN2 and TREVAN3, on cards the setup
// installed.
class InstalledGroupTest : public SetupHostTest {
 protected:
  void SetUp() override {
    InstallThreeCards();
    for (int card = 1; card <= 3; ++card) SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
    MakePrimaryPort(1, 0, 45, "Group1");
    MakeBackupPort(2, 1, 0);
    MakeBackupPort(3, 2, 0);
    for (int card = 2; card <= 3; ++card) {
      for (const char* name : {VAL_BINDFORM, VAL_CLASS, VAL_TYPE}) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, NetRulesKey(card).c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
        RegDeleteValueA(key, name);
        RegCloseKey(key);
      }
    }
  }

  void ExpectGroupHandedToTrevan3() {
    EXPECT_EQ(Dword(ParamsKey(3), VAL_LINK_CHECK_TIMEOUT), 45u);
    EXPECT_EQ(Text(ParamsKey(3), VAL_GROUP_NAME), "Group1");
    EXPECT_FALSE(Has(ParamsKey(3), VAL_PRIMARY_INDEX));
    EXPECT_TRUE(Has(NetRulesKey(3), VAL_BINDFORM));
    EXPECT_EQ(Dword(ParamsKey(2), VAL_PRIMARY_INDEX), 2u);
    EXPECT_FALSE(Has(NetRulesKey(2), VAL_BINDFORM));
  }
};

TEST_F(InstalledGroupTest, CallVerbReachesTheRemoveLinksProcedure) {
  std::string out;
  ASSERT_EQ(Netsetup("call aggcfg.dll TrevanRemoveLinks 1", &out), 0);
  EXPECT_EQ(out, "\n");  // a fresh library's result text is empty
  ExpectGroupHandedToTrevan3();
  EXPECT_FALSE(Has(ParamsKey(1), VAL_LINK_CHECK_TIMEOUT));
  EXPECT_FALSE(Has(ParamsKey(1), VAL_GROUP_NAME));
  EXPECT_TRUE(Has(NetRulesKey(1), VAL_BINDFORM));
}

TEST_F(InstalledGroupTest, RemovingTheCardOfAPrimaryFirstHandsOnItsGroup) {
  ASSERT_EQ(Netsetup("remove-card 1"), 0);
  EXPECT_FALSE(Has(CardKey(1), VAL_PRODUCT_NAME));
  ExpectGroupHandedToTrevan3();
  auto model = LoadModel();
  theApp.LoadConfiguration("");
  ASSERT_EQ(theApp.m_groups.size(), 1u);
  EXPECT_EQ(theApp.m_groups[0]->m_ports, (std::vector<std::string>{"TREVAN2", "TREVAN3"}));
}

TEST_F(InstalledGroupTest, CardStaysWhenTheLibraryCannotBeCalled) {
  std::filesystem::path installed;
  ASSERT_EQ(pairway::MapNtPath("C:\\WINNT\\System32\\aggcfg.dll", &installed), ERROR_SUCCESS);
  std::filesystem::remove(installed);
  EXPECT_EQ(Netsetup("remove-card 1"), 4);
  EXPECT_TRUE(Has(CardKey(1), VAL_PRODUCT_NAME));
  EXPECT_EQ(Dword(ParamsKey(1), VAL_LINK_CHECK_TIMEOUT), 45u);
}

}  // namespace
}  // namespace aggcfg_test
