// The installed tree: `cmake --install` of the test's own build into a temporary prefix, then a
// machine root made by the installed network setup. Catches install rules that leave a library
// behind, a run path that only works in the build tree, and a root linked to the build tree
// instead of the installed files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "temp_root.h"

namespace {

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;
namespace fs = std::filesystem;

class InstalledTree : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = root_.path() / "prefix";
    std::string out;
    ASSERT_EQ(RunCommand("cmake --install '" + BuildDir().string() + "' --prefix '" +
                             prefix_.string() + "' 2>&1",
                         &out),
              0)
        << out;
  }

  // Runs an installed tool on a root inside the test's directory, without the build tree's
  // environment: the tool must find its libraries by itself.
  int Run(const std::string& tool, const std::string& arguments, std::string* out = nullptr) {
    return RunCommand("env -u LD_LIBRARY_PATH PAIRWAY_ROOT='" + machine().string() + "' '" +
                          (prefix_ / "bin" / tool).string() + "' " + arguments + " 2>&1",
                      out);
  }
  fs::path machine() const { return root_.path() / "machine"; }
  fs::path system_dir() const { return machine() / "drive_c" / "WINNT" / "System32"; }

  TempRoot root_;
  fs::path prefix_;
};

TEST_F(InstalledTree, ToolsRunAndTheRootLinksTheInstalledFiles) {
  std::string out;
  ASSERT_EQ(Run("pairway-netsetup", "init --snmp", &out), 0) << out;
  const fs::path private_dir = prefix_ / "lib" / "pairway";
  for (const char* name : {"portwarden.exe", "aggcfg.dll", "ctrsetup.dll", "perfctr.ini"}) {
    fs::path link = system_dir() / name;
    ASSERT_TRUE(fs::is_symlink(link)) << name;
    EXPECT_EQ(fs::read_symlink(link).parent_path(), private_dir) << name;
  }
  EXPECT_EQ(fs::read_symlink(system_dir() / "lodctr.exe"), prefix_ / "bin" / "pairway-lodctr");
  // The driver's file is the installed failover engine, which the service manager runs.
  EXPECT_EQ(fs::read_symlink(system_dir() / "drivers" / "trevan.sys"),
            private_dir / "pairway-trevan");

  // A library of the system directory, loaded by an installed host, finds the platform library.
  ASSERT_EQ(Run("pairway-netsetup", "call ctrsetup.dll InstallTrevanPerformance 0", &out), 0)
      << out;
  EXPECT_NE(out.find("Success"), std::string::npos) << out;
  ASSERT_EQ(Run("pairway-reg", "query 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\TREVAN'", &out),
            0)
      << out;
}

TEST_F(InstalledTree, UnitsNameTheInstalledPrograms) {
  fs::path unit = prefix_ / "lib" / "systemd" / "system" / "pairway-scm.service";
  std::string out;
  ASSERT_EQ(RunCommand("grep '^ExecStart=' '" + unit.string() + "'", &out), 0);
  EXPECT_EQ(out.rfind("ExecStart=" + (prefix_ / "bin" / "pairway-scm").string(), 0), 0u) << out;
  EXPECT_FALSE(fs::exists(prefix_ / "lib" / "pairway" / "tests"));
}

}  // namespace
