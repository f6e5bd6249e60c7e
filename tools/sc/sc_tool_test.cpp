// pairway-sc end to end: its output and exit status against a daemon on a fresh root.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include "scm_fixture.h"

namespace pairway::testing {
namespace {

// Runs pairway-sc with `args`; returns its exit status and sets *out to what it printed.
int Sc(const std::string& args, std::string* out) {
  out->clear();
  return RunCommand((BuildDir() / "bin" / "pairway-sc").string() + " " + args + " 2>&1", out);
}

TEST(ScTool, CreateStartQueryAndShutdownEndToEnd) {
  TempRoot root;
  InstallInSystemDir(root, "tsvc.exe", BuildDir() / "bin/tests/scm_test_service");
  ScmDaemon daemon;
  ASSERT_TRUE(daemon.ok());
  std::string out;
  EXPECT_EQ(Sc("create Demo binPath= 'C:\\WINNT\\System32\\tsvc.exe' start= auto "
               "DisplayName= 'Demo service'",
               &out),
            0);
  EXPECT_EQ(out, "[SC] CreateService SUCCESS\n");
  EXPECT_EQ(Sc("start Demo", &out), 0);
  EXPECT_NE(out.find("SERVICE_NAME: Demo"), std::string::npos);
  ASSERT_TRUE(WaitFor([] { return ServiceState("Demo") == SERVICE_RUNNING; }));
  EXPECT_EQ(Sc("query Demo", &out), 0);
  EXPECT_EQ(out,
            "\n"
            "SERVICE_NAME: Demo\n"
            "        TYPE               : 10  WIN32_OWN_PROCESS \n"
            "        STATE              : 4  RUNNING\n"
            "                                (STOPPABLE, PAUSABLE, ACCEPTS_SHUTDOWN)\n"
            "        WIN32_EXIT_CODE    : 0  (0x0)\n"
            "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
            "        CHECKPOINT         : 0x0\n"
            "        WAIT_HINT          : 0x0\n");
  EXPECT_EQ(Sc("interrogate Demo", &out), 0);
  EXPECT_EQ(Sc("control Demo 130", &out), 0);
  EXPECT_EQ(Sc("shutdown", &out), 0);
  EXPECT_EQ(out, "[SC] Shutdown SUCCESS\n");
  EXPECT_EQ(daemon.Wait(), 0);
  std::vector<std::string> events = ServiceEvents(root, "Demo");
  for (const char* line : {"control 4", "control 130", "control 5", "stopped"})
    EXPECT_NE(std::find(events.begin(), events.end(), line), events.end()) << line;
}

TEST(ScTool, FailuresPrintThePlatformsCodeAndTextWithStableExitCodes) {
  TempRoot root;
  std::string out;
  EXPECT_EQ(Sc("query Demo", &out), 3);
  EXPECT_EQ(out, "[SC] OpenSCManager FAILED 1722:\n\nThe RPC server is unavailable.\n\n");
  ScmDaemon daemon;
  EXPECT_EQ(Sc("query Nothing", &out), 4);
  EXPECT_EQ(out,
            "[SC] OpenService FAILED 1060:\n\n"
            "The specified service does not exist as an installed service.\n\n");
  ASSERT_EQ(Sc("create Twice binPath= 'C:\\x.exe'", &out), 0);
  EXPECT_EQ(Sc("create Twice binPath= 'C:\\x.exe'", &out), 1);
  EXPECT_EQ(out, "[SC] CreateService FAILED 1073:\n\nThe specified service already exists.\n\n");
  EXPECT_EQ(Sc("start Twice", &out), 1);
  EXPECT_EQ(out.rfind("[SC] StartService FAILED 2:", 0), 0u) << out;
  EXPECT_EQ(Sc("stop Twice", &out), 1);
  EXPECT_EQ(out.rfind("[SC] ControlService FAILED 1062:", 0), 0u) << out;
  EXPECT_EQ(Sc("delete Twice", &out), 0);
  EXPECT_EQ(out, "[SC] DeleteService SUCCESS\n");
}

TEST(ScTool, UsageErrorsAndHelp) {
  TempRoot root;
  std::string out;
  EXPECT_EQ(Sc("--help", &out), 0);
  EXPECT_NE(out.find("binPath="), std::string::npos);
  EXPECT_EQ(Sc("", &out), 2);
  EXPECT_EQ(Sc("frobnicate X", &out), 2);
  EXPECT_EQ(Sc("create X start= auto", &out), 2);  // no binPath=
  EXPECT_EQ(Sc("create X binPath=", &out), 2);     // key without a value
  EXPECT_EQ(Sc("create X binPath= a start= sometimes", &out), 2);
  EXPECT_EQ(Sc("control X notacode", &out), 2);
  EXPECT_EQ(Sc("query", &out), 2);
}

}  // namespace
}  // namespace pairway::testing
