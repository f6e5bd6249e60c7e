// End-to-end tests of pairway-scm: a daemon per test on a fresh root, the test service under it,
// the client calls as the system makes them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <cstring>
#include <string>

#include "pairway/machine_root.h"
#include "pairway/service_manager.h"
#include "scm_fixture.h"
#include "service_process.h"
#include "services/scm_wire.h"

namespace pairway::testing {
namespace {

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Manager and service handles that close themselves.
struct Opened {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  explicit Opened(const std::string& name, DWORD access = SERVICE_ALL_ACCESS) {
    manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager != nullptr) service = OpenServiceA(manager, name.c_str(), access);
  }
  ~Opened() {
    if (service != nullptr) CloseServiceHandle(service);
    if (manager != nullptr) CloseServiceHandle(manager);
  }
  SERVICE_STATUS Query() const {
    SERVICE_STATUS status{};
    QueryServiceStatus(service, &status);
    return status;
  }
};

bool StartAndWaitRunning(const std::string& name) {
  Opened svc(name);
  if (!StartServiceA(svc.service, 0, nullptr)) return false;
  return WaitFor([&] { return svc.Query().dwCurrentState == SERVICE_RUNNING; });
}

TEST(ScmDatabase, CreateTwiceGivesServiceExistsAndTheKeysHoldTheConfiguration) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_TRUE(daemon.ok());
  ASSERT_EQ(CreateTestService(root, "Probe", "normal", SERVICE_AUTO_START), ERROR_SUCCESS);
  EXPECT_EQ(CreateTestService(root, "probe", "normal"), static_cast<DWORD>(ERROR_SERVICE_EXISTS));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Probe", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  auto dword = [&](const char* name) {
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    return value;
  };
  auto text = [&](const char* name, DWORD* type) {
    char value[256] = "";
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(value), &size),
              ERROR_SUCCESS);
    return std::string(value);
  };
  EXPECT_EQ(dword("Type"), static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(dword("Start"), static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(dword("ErrorControl"), static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  DWORD type = 0;
  EXPECT_EQ(text("ImagePath", &type), "C:\\WINNT\\System32\\tsvc.exe normal");
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(text("DisplayName", &type), "Probe");
  EXPECT_EQ(text("ObjectName", &type), "LocalSystem");
  RegCloseKey(key);
}

TEST(ScmDatabase, DeletingARunningServiceRemovesItsKeyWhenItStops) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Doomed", "normal"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Doomed"));
  Opened svc("Doomed");
  ASSERT_TRUE(DeleteService(svc.service));
  EXPECT_FALSE(DeleteService(svc.service));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(svc.service, SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(WaitFor([] {
    Opened again("Doomed");
    return again.service == nullptr && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  }));
}

TEST(ScmLifecycle, StartedServiceGoesStartPendingThenRunningAndStopsOnStop) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Life", "normal"), ERROR_SUCCESS);
  Opened svc("Life");
  EXPECT_EQ(svc.Query().dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED));
  ASSERT_TRUE(StartServiceA(svc.service, 0, nullptr));
  EXPECT_FALSE(StartServiceA(svc.service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  ASSERT_TRUE(WaitFor([&] { return svc.Query().dwCurrentState == SERVICE_RUNNING; }));
  std::vector<std::string> events = ServiceEvents(root, "Life");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0], "main Life args 1");

  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(svc.service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  ASSERT_TRUE(WaitFor([&] { return svc.Query().dwCurrentState == SERVICE_STOPPED; }));
  EXPECT_EQ(svc.Query().dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
  EXPECT_TRUE(Has(ServiceEvents(root, "Life"), "control 1"));
  // A stopped service takes no controls.
  EXPECT_FALSE(ControlService(svc.service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
}

TEST(ScmLifecycle, InterrogatePauseAndOwnCodesReachTheHandler) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Talk", "normal"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Talk"));
  Opened svc("Talk");
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(svc.service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(status.dwControlsAccepted,
            static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                               SERVICE_ACCEPT_SHUTDOWN));
  ASSERT_TRUE(ControlService(svc.service, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_PAUSED));
  ASSERT_TRUE(ControlService(svc.service, 200, &status));
  // The manager's own code and codes outside the service's range never reach it.
  EXPECT_FALSE(ControlService(svc.service, SERVICE_CONTROL_SHUTDOWN, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ControlService(svc.service, 300, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  std::vector<std::string> events = ServiceEvents(root, "Talk");
  EXPECT_TRUE(Has(events, "control 4"));
  EXPECT_TRUE(Has(events, "control 2"));
  EXPECT_TRUE(Has(events, "control 200"));
  EXPECT_FALSE(Has(events, "control 5"));
}

TEST(ScmLifecycle, ControlsTheServiceDoesNotAcceptAreRefused) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Stubborn", "no-stop"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Stubborn"));
  Opened svc("Stubborn");
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(svc.service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(ControlService(svc.service, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  // Interrogation is passed on whatever the service accepts.
  EXPECT_TRUE(ControlService(svc.service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_FALSE(Has(ServiceEvents(root, "Stubborn"), "control 1"));
}

TEST(ScmLifecycle, HandlesKeepTheirAccessMasks) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Masked", "normal"), ERROR_SUCCESS);
  Opened svc("Masked", SERVICE_QUERY_STATUS);
  ASSERT_NE(svc.service, nullptr);
  EXPECT_FALSE(StartServiceA(svc.service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteService(svc.service));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(CloseServiceHandle(reinterpret_cast<SC_HANDLE>(&svc)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ScmFaults, CrashingServiceIsRecordedStoppedWhileTheDaemonGoesOn) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Crash", "crash"), ERROR_SUCCESS);
  ASSERT_EQ(CreateTestService(root, "Calm", "normal"), ERROR_SUCCESS);
  Opened svc("Crash");
  ASSERT_TRUE(StartServiceA(svc.service, 0, nullptr));
  ASSERT_TRUE(WaitFor([&] { return svc.Query().dwCurrentState == SERVICE_STOPPED; }));
  EXPECT_EQ(svc.Query().dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
  EXPECT_TRUE(StartAndWaitRunning("Calm"));
  // It can be started again after the crash.
  EXPECT_TRUE(StartServiceA(svc.service, 0, nullptr));
}

TEST(ScmFaults, AHandlerThatHangsTimesOutItsCallersAndNobodyElse) {
  TempRoot root;
  ScmDaemon daemon({"--control-timeout", "0.2", "--shutdown-timeout", "0.2"});
  ASSERT_EQ(CreateTestService(root, "Stuck", "normal"), ERROR_SUCCESS);
  ASSERT_EQ(CreateTestService(root, "Fine", "normal"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Stuck"));
  ASSERT_TRUE(StartAndWaitRunning("Fine"));
  Opened stuck("Stuck"), fine("Fine");
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(stuck.service, 250, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
  // Controls behind the hung one time out as well; the other service answers at once.
  EXPECT_FALSE(ControlService(stuck.service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
  EXPECT_TRUE(ControlService(fine.service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(stuck.Query().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  pid_t pid = ServicePid(root, "Stuck");
  EXPECT_EQ(daemon.Stop(), 0);
  EXPECT_NE(kill(pid, 0), 0);
}

TEST(ScmFaults, NonsenseStateReportsAreIgnored) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Liar", "bad-state"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Liar"));
  EXPECT_EQ(ServiceState("Liar"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(ScmFaults, MissingProgramFailsTheStartWithFileNotFound) {
  TempRoot root;
  ScmDaemon daemon;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service =
      CreateServiceA(manager, "Ghost", "Ghost", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\WINNT\\System32\\ghost.exe",
                     nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  EXPECT_FALSE(StartServiceA(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ServiceState("Ghost"), static_cast<DWORD>(SERVICE_STOPPED));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

// Connects to the daemon's socket without the client calls.
int RawConnect(const TempRoot& root) {
  std::string path = (SocketDir(root.path()) / scm::kSocketName).string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST(ScmFaults, HostileAndSilentClientsOnlyLoseTheirOwnConnection) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Steady", "normal"), ERROR_SUCCESS);
  int silent = RawConnect(root);
  ASSERT_GE(silent, 0);
  const std::string hostile_frames[] = {
      std::string("\xff\xff\xff\xff", 4),                                   // impossible length
      std::string("\x04\x00\x00\x00\x63\x00\x00\x00", 8),                   // unknown kind
      std::string("\x08\x00\x00\x00\x06\x00\x00\x00\xff\xff\x00\x00", 12),  // text past the end
  };
  for (const std::string& frame : hostile_frames) {
    int fd = RawConnect(root);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    char byte;
    EXPECT_EQ(read(fd, &byte, 1), 0) << "the daemon should close a hostile connection";
    close(fd);
  }
  // Half a frame, then silence: nobody else waits for it.
  ASSERT_EQ(write(silent, "\x10\x00", 2), 2);
  EXPECT_EQ(ServiceState("Steady"), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(StartAndWaitRunning("Steady"));
  close(silent);
}

TEST(ScmDaemonProcess, ASecondDaemonOnTheSameRootRefusesToStart) {
  TempRoot root;
  ScmDaemon first;
  ASSERT_TRUE(first.ok());
  ScmDaemon second;
  EXPECT_FALSE(second.ok());
  EXPECT_EQ(second.Wait(), 3);
}

TEST(ScmDaemonProcess, InTheBackgroundItReturnsOnceItListens) {
  TempRoot root;
  std::string program = (BuildDir() / "bin" / "pairway-scm").string();
  ASSERT_EQ(RunCommand(program), 0);
  // No waiting: the socket listens before the starting command returns.
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(RunCommand(program + " 2>/dev/null"), 3) << "one daemon per root";
  EXPECT_TRUE(RequestServiceManagerShutdown(manager));
  CloseServiceHandle(manager);
}

TEST(ScmDaemonProcess, AutoStartServicesStartWithTheDaemon) {
  TempRoot root;
  {
    ScmDaemon daemon;
    ASSERT_EQ(CreateTestService(root, "Early", "normal", SERVICE_AUTO_START), ERROR_SUCCESS);
    ASSERT_EQ(CreateTestService(root, "Later", "normal"), ERROR_SUCCESS);
  }
  ScmDaemon daemon;
  EXPECT_TRUE(WaitFor([] { return ServiceState("Early") == SERVICE_RUNNING; }));
  EXPECT_EQ(ServiceState("Later"), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(ScmShutdown, ShutdownReachesTheServiceAndTheDaemonWaitsForIt) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Polite", "normal"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Polite"));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_TRUE(RequestServiceManagerShutdown(manager));
  CloseServiceHandle(manager);
  EXPECT_EQ(daemon.Wait(), 0);
  std::vector<std::string> events = ServiceEvents(root, "Polite");
  EXPECT_TRUE(Has(events, "control 5"));
  EXPECT_TRUE(Has(events, "stopped"));
}

// The clock the test service recorded right after `line`; -1 when it has no such line.
int64_t ClockAfter(const std::vector<std::string>& events, const std::string& line) {
  for (size_t i = 0; i + 1 < events.size(); ++i) {
    if (events[i] == line && events[i + 1].rfind("clock ", 0) == 0)
      return std::stoll(events[i + 1].substr(6));
  }
  return -1;
}

// A kernel driver with Start SYSTEM_START: started with the daemon, and told of the shutdown
// only once the services are done, so that their shutdown work still finds it running.
TEST(ScmShutdown, SystemStartDriversStartWithTheDaemonAndStopAfterTheServices) {
  TempRoot root;
  {
    ScmDaemon daemon;
    ASSERT_EQ(CreateTestService(root, "Drv", "normal"), ERROR_SUCCESS);
    ASSERT_EQ(CreateTestService(root, "Svc", "normal", SERVICE_AUTO_START), ERROR_SUCCESS);
    ASSERT_EQ(CreateTestService(root, "Slow", "hang", SERVICE_AUTO_START), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Drv", 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    const DWORD driver = SERVICE_KERNEL_DRIVER, system_start = SERVICE_SYSTEM_START;
    RegSetValueExA(key, "Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&driver), 4);
    RegSetValueExA(key, "Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&system_start), 4);
    RegCloseKey(key);
  }
  ScmDaemon daemon({"--shutdown-timeout", "0.5"});
  ASSERT_TRUE(WaitFor([] { return ServiceState("Drv") == SERVICE_RUNNING; }));
  ASSERT_TRUE(WaitFor([] { return ServiceState("Svc") == SERVICE_RUNNING; }));
  ASSERT_TRUE(WaitFor([] { return ServiceState("Slow") == SERVICE_RUNNING; }));
  {
    Opened drv("Drv");
    EXPECT_EQ(drv.Query().dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
  }
  EXPECT_EQ(daemon.Stop(), 0);
  const std::vector<std::string> drv = ServiceEvents(root, "Drv");
  const std::vector<std::string> svc = ServiceEvents(root, "Svc");
  const std::vector<std::string> slow = ServiceEvents(root, "Slow");
  ASSERT_TRUE(Has(drv, "stopped")) << "a service that hangs in its shutdown does not keep the "
                                      "driver from its own";
  EXPECT_GT(ClockAfter(drv, "control 5"), ClockAfter(svc, "stopped"));
  EXPECT_GT(ClockAfter(drv, "control 5"), ClockAfter(slow, "control 5"));
}

TEST(ScmLifecycle, ParamChangeReachesOnlyAServiceThatAcceptsIt) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Plain", "normal"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Plain"));
  Opened svc("Plain");
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(svc.service, SERVICE_CONTROL_PARAMCHANGE, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));
  Opened query_only("Plain", SERVICE_QUERY_STATUS);
  EXPECT_FALSE(ControlService(query_only.service, SERVICE_CONTROL_PARAMCHANGE, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// The monitor acknowledges SHUTDOWN and never reports STOPPED: the acknowledgement is enough.
TEST(ScmShutdown, SigtermEndsAServiceThatNeverReportsStopped) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Monitor", "keep-running"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Monitor"));
  pid_t pid = ServicePid(root, "Monitor");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(daemon.Stop(), 0);
  EXPECT_TRUE(Has(ServiceEvents(root, "Monitor"), "control 5"));
  EXPECT_FALSE(Has(ServiceEvents(root, "Monitor"), "stopped"));
  EXPECT_NE(kill(pid, 0), 0) << "the daemon ends what is left";
}

TEST(ScmShutdown, AHandlerThatHangsIsEndedAfterTheShutdownTimeOut) {
  TempRoot root;
  ScmDaemon daemon({"--shutdown-timeout", "0.3"});
  ASSERT_EQ(CreateTestService(root, "Hang", "hang"), ERROR_SUCCESS);
  ASSERT_EQ(CreateTestService(root, "Other", "normal"), ERROR_SUCCESS);
  ASSERT_TRUE(StartAndWaitRunning("Hang"));
  ASSERT_TRUE(StartAndWaitRunning("Other"));
  pid_t pid = ServicePid(root, "Hang");
  EXPECT_EQ(daemon.Stop(), 0);
  EXPECT_TRUE(Has(ServiceEvents(root, "Hang"), "control 5"));
  EXPECT_TRUE(Has(ServiceEvents(root, "Other"), "stopped"));
  EXPECT_NE(kill(pid, 0), 0);
}

// Runs `body` in a child that dropped to the user nobody; returns the child's exit status.
int AsNobody(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ScmAccess, OtherUsersMayOnlyQuery) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_EQ(CreateTestService(root, "Guarded", "normal"), ERROR_SUCCESS);
  // The socket is the owner's alone: another user cannot even reach the manager.
  EXPECT_EQ(AsNobody([] {
              return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT) == nullptr &&
                             GetLastError() == ERROR_ACCESS_DENIED
                         ? 0
                         : 1;
            }),
            0);
  // Where an administrator opened the way, the daemon's own check still allows queries only.
  std::filesystem::path socket = SocketDir(root.path()) / scm::kSocketName;
  ASSERT_EQ(chmod(root.path().c_str(), 0711), 0);
  ASSERT_EQ(chmod(socket.parent_path().c_str(), 0711), 0);
  ASSERT_EQ(chmod(socket.c_str(), 0666), 0);
  EXPECT_EQ(AsNobody([] {
              if (OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) != nullptr ||
                  GetLastError() != ERROR_ACCESS_DENIED)
                return 1;
              SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
              if (manager == nullptr) return 2;
              if (OpenServiceA(manager, "Guarded", SERVICE_START) != nullptr ||
                  GetLastError() != ERROR_ACCESS_DENIED)
                return 3;
              SC_HANDLE service = OpenServiceA(manager, "Guarded", SERVICE_QUERY_STATUS);
              SERVICE_STATUS status{};
              if (service == nullptr || !QueryServiceStatus(service, &status)) return 4;
              return status.dwCurrentState == SERVICE_STOPPED ? 0 : 5;
            }),
            0);
}

}  // namespace
}  // namespace pairway::testing
