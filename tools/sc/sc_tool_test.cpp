// pairway-sc end to end: its output and exit status against a daemon on a fresh root.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include <windows.h>

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
  EXPECT_EQ(Sc("query state= sometimes", &out), 2);
  EXPECT_EQ(Sc("queryex type= own", &out), 2);
  EXPECT_EQ(Sc("query state=", &out), 2);
  EXPECT_EQ(Sc("query Demo Other", &out), 2);
}

void SetDword(const char* path, const char* name, DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(
      RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
      ERROR_SUCCESS);
  RegCloseKey(key);
}

// The block of one service as a listing prints it.
std::string Block(const std::string& name, const std::string& state_line,
                  const std::string& accepts, const std::string& exit_line,
                  const std::string& process = "") {
  return "\n"
         "SERVICE_NAME: " +
         name +
         "\n"
         "DISPLAY_NAME: " +
         name +
         "\n"
         "        TYPE               : 10  WIN32_OWN_PROCESS \n"
         "        STATE              : " +
         state_line +
         "\n"
         "                                (" +
         accepts +
         ")\n"
         "        WIN32_EXIT_CODE    : " +
         exit_line +
         "\n"
         "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
         "        CHECKPOINT         : 0x0\n"
         "        WAIT_HINT          : 0x0\n" +
         process;
}

TEST(ScTool, QueryWithoutANameListsTheServicesOfATypeAndState) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_TRUE(daemon.ok());
  ASSERT_EQ(CreateTestService(root, "Beta", "normal"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(CreateTestService(root, "alpha", "normal"), static_cast<DWORD>(ERROR_SUCCESS));
  std::string out;
  // A kernel driver as the network setup writes it, and a key that is no service at all.
  SetDword("SYSTEM\\CurrentControlSet\\Services\\Drv", "Type", SERVICE_KERNEL_DRIVER);
  SetDword("SYSTEM\\CurrentControlSet\\Services\\Settings", "Value", 1);
  EXPECT_EQ(Sc("query", &out), 0);
  EXPECT_EQ(out, "");  // nothing runs yet
  ASSERT_EQ(Sc("start Beta", &out), 0);
  ASSERT_TRUE(WaitFor([] { return ServiceState("Beta") == SERVICE_RUNNING; }));

  const std::string running = "4  RUNNING", stopped = "1  STOPPED";
  const std::string running_accepts = "STOPPABLE, PAUSABLE, ACCEPTS_SHUTDOWN";
  const std::string stopped_accepts = "NOT_STOPPABLE, NOT_PAUSABLE, IGNORES_SHUTDOWN";
  const std::string never = "1077  (0x435)";
  const std::string beta = Block("Beta", running, running_accepts, "0  (0x0)");
  const std::string alpha = Block("alpha", stopped, stopped_accepts, never);
  EXPECT_EQ(Sc("query", &out), 0);
  EXPECT_EQ(out, beta);
  EXPECT_EQ(Sc("query type= service state= all", &out), 0);
  EXPECT_EQ(out, alpha + beta);  // by name, whatever the case
  EXPECT_EQ(Sc("query state= inactive", &out), 0);
  EXPECT_EQ(out, alpha);
  EXPECT_EQ(Sc("query type= driver state= all", &out), 0);
  EXPECT_NE(out.find("SERVICE_NAME: Drv\nDISPLAY_NAME: Drv\n        TYPE               : 1  "
                     "KERNEL_DRIVER \n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("SERVICE_NAME: Beta"), std::string::npos);
  EXPECT_EQ(Sc("query type= all state= all", &out), 0);
  EXPECT_LT(out.find("SERVICE_NAME: alpha"), out.find("SERVICE_NAME: Beta"));
  EXPECT_LT(out.find("SERVICE_NAME: Beta"), out.find("SERVICE_NAME: Drv"));
  EXPECT_EQ(out.find("Settings"), std::string::npos);

  // queryex: the same blocks with the process; 0 for a service that does not run.
  const std::string pid = std::to_string(ServicePid(root, "Beta"));
  const std::string beta_process =
      "        PID                : " + pid + "\n" + "        FLAGS              :\n";
  EXPECT_EQ(Sc("queryex", &out), 0);
  EXPECT_EQ(out, Block("Beta", running, running_accepts, "0  (0x0)", beta_process));
  EXPECT_EQ(Sc("queryex state= inactive", &out), 0);
  EXPECT_EQ(out, Block("alpha", stopped, stopped_accepts, never,
                       "        PID                : 0\n        FLAGS              :\n"));
  EXPECT_EQ(Sc("queryex Beta", &out), 0);
  EXPECT_NE(out.find("SERVICE_NAME: Beta\n        TYPE"), std::string::npos) << out;
  EXPECT_NE(out.find(beta_process), std::string::npos) << out;
  EXPECT_EQ(Sc("queryex Nothing", &out), 4);
}

}  // namespace
}  // namespace pairway::testing
