// The library on a machine prepared by the network setup stand-in: cards installed with
// pairway-netsetup, procedures reached through its call verb, as the platform's setup does.
#define AGGCFG_TEST_FIXTURE
#include <gtest/gtest.h>

#include "groups_config_app.h"
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

}  // namespace
}  // namespace aggcfg_test
