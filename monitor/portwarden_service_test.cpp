// The program as a service under the real service manager (pairway-scm): installed by its own
// foreground run, started by the manager, and its shutdown pass run by the manager's shutdown
// sequence (SIGTERM), with the effects checked in the hive and the trace.
#include <windows.h>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "monitor_test_util.h"
#include "temp_root.h"

extern char** environ;

namespace {

using namespace monitor_test;
using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;
namespace fs = std::filesystem;

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::seconds limit = std::chrono::seconds(60)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A program of the build, its output into a file; killed if still running at the end.
class Process {
 public:
  Process(std::vector<std::string> args, const fs::path& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (out.string() + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void Signal(int signal) { kill(pid_, signal); }
  // Exit status when it ended within the limit, else -1.
  int Wait(std::chrono::seconds limit) {
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) return -1;
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
};

DWORD ServiceState(SERVICE_STATUS* status) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return 0;
  SC_HANDLE service = OpenServiceA(manager, "portwarden", SERVICE_ALL_ACCESS);
  DWORD state = 0;
  if (service != nullptr && QueryServiceStatus(service, status)) state = status->dwCurrentState;
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return state;
}

class PortwardenServiceTest : public ::testing::Test {
 protected:
  fs::path Bin(const char* name) { return BuildDir() / "bin" / name; }
  TempRoot root_;
};

TEST_F(PortwardenServiceTest, InstalledStartedAndAdjustedAtShutdown) {
  ASSERT_EQ(RunCommand(Bin("pairway-netsetup").string() + " init --snmp >/dev/null"), 0);
  Process manager({Bin("pairway-scm").string(), "--foreground"}, root_.path() / "scm.out");
  ASSERT_TRUE(manager.started());
  ASSERT_TRUE(WaitFor([] {
    SC_HANDLE handle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (handle != nullptr) CloseServiceHandle(handle);
    return handle != nullptr;
  }));

  {  // First run: no service key, so it installs itself and watches in the foreground.
    Process foreground({Bin("portwarden").string()}, root_.path() / "foreground.out");
    // Installed means every value of the entry is there, not just its key.
    ASSERT_TRUE(WaitFor([] {
      for (const char* value :
           {"Type", "Start", "ErrorControl", "ImagePath", "DisplayName", "ObjectName"}) {
        if (GetBytes(MONITOR_SERVICE_KEY, value) == "<missing>") return false;
      }
      return true;
    }));
  }
  DWORD type = 0;
  EXPECT_EQ(GetBytes(MONITOR_SERVICE_KEY, "ImagePath", &type),
            std::string("C:\\WINNT\\System32\\portwarden.exe") + '\0');
  EXPECT_EQ(GetBytes(MONITOR_SERVICE_KEY, "Start"), std::string("\x02\0\0\0", 4));
  EXPECT_EQ(GetBytes(MONITOR_SERVICE_KEY, "Type"), std::string("\x10\0\0\0", 4));
  EXPECT_EQ(GetBytes(MONITOR_SERVICE_KEY, "DisplayName"),
            std::string("Corvane Failover Backup Monitor") + '\0');

  // Four ports, the third in slot 4; the fourth a backup missing from the lists; an address
  // on the second.
  for (int i = 1; i <= 4; i++) {
    ASSERT_EQ(RunCommand(Bin("pairway-netsetup").string() + " add-card" +
                         (i == 3 ? " --slot 4" : "") + " >/dev/null"),
              0);
  }
  ASSERT_EQ(RunCommand(Bin("pairway-netsetup").string() + " set-ip 2 192.168.5.2"), 0);
  SetDword(ParamsKey(4), VAL_PRIMARY_INDEX, 2);
  SetLinkage({1, 2, 3});
  SetDword(MONITOR_PARAMETERS_KEY, VAL_DEBUG_FLAG, 1);

  {
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(scm, "portwarden", SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    SERVICE_STATUS status;
    ASSERT_TRUE(WaitFor([&] { return ServiceState(&status) == SERVICE_RUNNING; }));
    EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_SHUTDOWN));
    // Interrogate is answered with RUNNING and leaves it running.
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    CloseServiceHandle(service);
    CloseServiceHandle(scm);
  }
  // Running, the service changes nothing.
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\"", "\"TREVAN3\""}));

  manager.Signal(SIGTERM);
  EXPECT_EQ(manager.Wait(std::chrono::seconds(60)), 0);

  std::string devices =
      Multi({"\\Device\\TREVAN3", "\\Device\\TREVAN1", "\\Device\\TREVAN2", "\\Device\\TREVAN4"});
  EXPECT_EQ(Linkage(VAL_ROUTE),
            Multi({"\"TREVAN3\"", "\"TREVAN1\"", "\"TREVAN2\"", "\"TREVAN4\""}));
  EXPECT_EQ(Linkage(VAL_BIND), devices);
  EXPECT_EQ(Linkage(VAL_EXPORT), devices);
  EXPECT_EQ(GetBytes(ParamsKey(2), VAL_IP_ADDRESS), std::string("192.168.5.2") + '\0');
  EXPECT_NE(GetBytes(SNMP_EXTENSION_AGENTS_KEY, "2"), "<missing>");

  std::string trace = ReadFile(root_.path() / "drive_c" / "portwarden.dbg");
  EXPECT_EQ(trace.rfind("DebugFlag= 1\nEnableBindReorder Flag= 1\nservice_main()\n", 0), 0u)
      << trace;
  EXPECT_NE(trace.find("service_handler()\ncontrol interrogate\n"), std::string::npos);
  EXPECT_NE(
      trace.find("service_handler()\n1) control shutdown\nshutdown_service\nadjust_backups()\n"
                 "[4] TREVAN BACKUP adapter\nBind rules not present and written\n"),
      std::string::npos);
  const std::string end = "shutdown_service end\n2) control shutdown end\n";
  ASSERT_GE(trace.size(), end.size());
  EXPECT_EQ(trace.substr(trace.size() - end.size()), end);
}

}  // namespace
