// The daemon fixture of the service manager's tests.
#include "scm_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace pairway::testing {

ScmDaemon::ScmDaemon(const std::vector<std::string>& args) {
  std::string program = (BuildDir() / "bin" / "pairway-scm").string();
  std::vector<std::string> all = {program, "--foreground"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The ready line is the first thing the daemon writes on stdout; EOF means it gave up.
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(out[0]);
  ready_ = line.rfind("pairway-scm: ready ", 0) == 0;
}

ScmDaemon::~ScmDaemon() { Stop(); }

int ScmDaemon::Stop() {
  if (pid_ > 0) kill(pid_, SIGTERM);
  return Wait();
}

int ScmDaemon::Wait() {
  if (pid_ <= 0) return exit_status_;
  int status = 0;
  if (waitpid(pid_, &status, 0) != pid_) return -1;
  pid_ = -1;
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return exit_status_;
}

DWORD CreateTestService(const TempRoot& root, const std::string& name, const std::string& mode,
                        DWORD start_type) {
  std::error_code ec;
  if (!std::filesystem::exists(root.path() / "drive_c/WINNT/System32/tsvc.exe", ec))
    InstallInSystemDir(root, "tsvc.exe", BuildDir() / "bin/tests/scm_test_service");
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return GetLastError();
  std::string path = "C:\\WINNT\\System32\\tsvc.exe " + mode;
  SC_HANDLE service = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, start_type, SERVICE_ERROR_NORMAL,
                                     path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  DWORD error = service != nullptr ? ERROR_SUCCESS : GetLastError();
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

std::vector<std::string> ServiceEvents(const TempRoot& root, const std::string& name) {
  std::vector<std::string> lines;
  std::ifstream in(root.path() / (name + ".events"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

pid_t ServicePid(const TempRoot& root, const std::string& name) {
  for (const std::string& line : ServiceEvents(root, name)) {
    if (line.rfind("pid ", 0) == 0) return static_cast<pid_t>(std::stol(line.substr(4)));
  }
  return -1;
}

DWORD ServiceState(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return 0;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
  SERVICE_STATUS status{};
  bool ok = service != nullptr && QueryServiceStatus(service, &status);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return ok ? status.dwCurrentState : 0;
}

}  // namespace pairway::testing
