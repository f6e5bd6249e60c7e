// The typical configuration, end to end: scripts/demo on an empty root in a temporary folder,
// with the real service manager, the driver, portwarden, snmpd and pairway-snmp, checked by what
// it showed and by what it left in the registry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "temp_root.h"

namespace {

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::SourceDir;
using pairway::testing::TempRoot;

TEST(Machine, TheMainJobFormsAGroupAndAnswersOverSnmp) {
  if (RunCommand("command -v snmpd >/dev/null && command -v snmpwalk >/dev/null") != 0) {
    GTEST_SKIP() << "snmpd or snmpwalk is not installed (scripts/install-deps installs them)";
  }
  TempRoot temp;
  std::string root = (temp.path() / "machine").string();
  std::string out;
  int status = RunCommand(
      "env -u DISPLAY -u WAYLAND_DISPLAY '" + (SourceDir() / "scripts" / "demo").string() +
          "' --no-build --root '" + root + "' --build-dir '" + BuildDir().string() + "' 2>&1",
      &out);
  ASSERT_EQ(status, 0) << out;

  // The group: TREVAN3, the highest-numbered port, is its primary; the others name its index.
  EXPECT_NE(out.find("GroupName    REG_SZ    Group1"), std::string::npos) << out;
  EXPECT_NE(out.find("LinkCheckTimeOut    REG_DWORD    0xa"), std::string::npos) << out;
  EXPECT_NE(out.find("PrimaryIndex    REG_DWORD"), std::string::npos) << out;
  // The service manager started portwarden.
  EXPECT_NE(out.find("STATE              : 4  RUNNING"), std::string::npos) << out;
  // The agent answered through snmpd for the ports, and the status figures were shown.
  EXPECT_NE(out.find(".1.3.6.1.4.1.32473."), std::string::npos) << out;
  EXPECT_EQ(out.find("No Such Object"), std::string::npos) << out;
  EXPECT_NE(out.find("TREVAN3   3    primary     Group1"), std::string::npos) << out;
  // Each phase said how long it took, and the last line sums up the run and names the root.
  EXPECT_NE(out.find(" s)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("4 emulated ports, group Group1"), std::string::npos) << out;
  // The driver moved the group to the highest-numbered backup when the primary lost its link,
  // and back once the link held; pairwayctl watch saw both.
  EXPECT_NE(out.find("group Group1 (failover TREVAN3 -> TREVAN2 -> TREVAN3)"), std::string::npos)
      << out;
  EXPECT_NE(out.find("Group1: active port TREVAN3 -> TREVAN2 (failovers 1, failbacks 0"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Group1: active port TREVAN2 -> TREVAN3 (failovers 1, failbacks 1"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("the machine root is " + root + " "), std::string::npos) << out;
  // Everything it started has stopped: snmpd and the service manager are gone.
  EXPECT_NE(RunCommand("kill -0 \"$(cat '" + root + "/demo/snmpd.pid')\" 2>/dev/null"), 0);
  EXPECT_NE(
      RunCommand("PAIRWAY_ROOT='" + root + "' '" + (BuildDir() / "bin" / "pairway-sc").string() +
                 "' query portwarden >/dev/null 2>&1"),
      0);
}

TEST(Machine, OnLinuxPortsTheGroupFailsOverWhileThePingAnswers) {
  if (geteuid() != 0 ||
      RunCommand("command -v ping >/dev/null && command -v snmpd >/dev/null") != 0) {
    GTEST_SKIP() << "needs root (network namespaces), ping and snmpd";
  }
  TempRoot temp;
  std::string root = (temp.path() / "machine").string();
  std::string out;
  int status =
      RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY '" +
                     (SourceDir() / "scripts" / "demo").string() + "' --no-build --linux --root '" +
                     root + "' --build-dir '" + BuildDir().string() + "' 2>&1",
                 &out);
  ASSERT_EQ(status, 0) << out;
  // The group interface on the veth ports, through the kernel path where this kernel has one.
  EXPECT_NE(out.find("TREVAN2:down TREVAN1:up*"), std::string::npos) << out;
  EXPECT_NE(out.find("failed over to TREVAN1 and back, the ping answered "), std::string::npos)
      << out;
  // The namespaces the demo made are gone.
  size_t named = out.find("host pwdemo-host-");
  ASSERT_NE(named, std::string::npos) << out;
  std::string host = out.substr(named + 5, out.find(':', named) - named - 5);
  std::string left;
  RunCommand(
      "ip netns list | grep -c '" + host.substr(std::string("pwdemo-host-").size()) + "' || true",
      &left);
  EXPECT_EQ(left, "0\n") << host;
}

}  // namespace
