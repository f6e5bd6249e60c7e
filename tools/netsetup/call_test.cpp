// pairway-netsetup call: setup procedures reached as the network setup reaches them, from the
// machine's system directory, with their result text on the last line.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "registry_layout.h"
#include "temp_root.h"

namespace {

using pairway::testing::BuildDir;
using pairway::testing::InstallInSystemDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;

class CallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallInSystemDir(root_, "setupprobe.dll", BuildDir() / "lib" / "tests" / "setup_probe.so");
  }
  // Runs `pairway-netsetup call ARGS`; returns the exit status, *out gets standard output.
  static int Call(const std::string& args, std::string* out = nullptr) {
    std::string ignored;
    if (out != nullptr) out->clear();
    return RunCommand(
        (BuildDir() / "bin" / "pairway-netsetup").string() + " call " + args + " 2>/dev/null",
        out != nullptr ? out : &ignored);
  }
  static bool KeyHasValue(const char* path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
      return false;
    }
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }

  TempRoot root_;
};

TEST_F(CallTest, ArgumentsArePassedAsTheConventionSays) {
  std::string out;
  EXPECT_EQ(Call("setupprobe.dll EchoArguments 3 'two words'", &out), 0);
  EXPECT_EQ(out, "2:3,two words\n");
  EXPECT_EQ(Call("SETUPPROBE.DLL EchoArguments", &out), 0);
  EXPECT_EQ(out, "0:\n");
}

TEST_F(CallTest, ProceduresThatFailOrGiveNoTextExitNonZero) {
  std::string out;
  EXPECT_EQ(Call("setupprobe.dll Refuse", &out), 7);
  EXPECT_EQ(out, "refused\n");
  EXPECT_EQ(Call("setupprobe.dll Silent", &out), 7);
  EXPECT_EQ(out, "");
}

TEST_F(CallTest, MissingLibraryOrProcedureIsAClearError) {
  std::string errors;
  EXPECT_EQ(RunCommand((BuildDir() / "bin" / "pairway-netsetup").string() +
                           " call nosuch.dll Anything 2>&1 >/dev/null",
                       &errors),
            4);
  EXPECT_NE(errors.find("cannot load C:\\WINNT\\System32\\nosuch.dll"), std::string::npos)
      << errors;
  EXPECT_EQ(Call("setupprobe.dll NoSuchProcedure"), 4);
  EXPECT_EQ(Call("setupprobe.dll"), 1);
}

TEST_F(CallTest, InstallsAndRemovesTheDriversCountersOnAnInitialisedMachine) {
  // init links ctrsetup.dll, the two counter tools and perfctr.ini into the system directory.
  ASSERT_EQ(RunCommand((BuildDir() / "bin" / "pairway-netsetup").string() + " init >/dev/null"), 0);
  std::string out;
  EXPECT_EQ(Call("ctrsetup.dll InstallTrevanPerformance 0", &out), 0);
  EXPECT_EQ(out, "Success\n");
  for (const char* name :
       {VAL_PERF_OPEN, VAL_PERF_CLOSE, VAL_PERF_COLLECT, VAL_PERF_LIBRARY, VAL_FIRST_COUNTER}) {
    EXPECT_TRUE(KeyHasValue(DRIVER_PERFORMANCE_KEY, name)) << name;
  }
  EXPECT_EQ(Call("ctrsetup.dll RemoveTrevanPerformance 0", &out), 0);
  EXPECT_EQ(out, "Success\n");
  EXPECT_FALSE(KeyHasValue(DRIVER_PERFORMANCE_KEY, VAL_PERF_LIBRARY));
}

}  // namespace
