// pairway-trevan: the TREVAN driver's failover engine, the driver service TREVAN of a machine
// root. pairway-scm starts it (Type SERVICE_KERNEL_DRIVER, Start SERVICE_SYSTEM_START) before the
// services; it reads the groups from the ports' driver parameters and runs them (engine.h).
//
// Threads: the dispatcher's (the caller of main), which runs the control handler; and the
// service's, which runs the loop. The handler only reports status and writes one byte per
// control into a pipe the loop reads: 'p' read the configuration again, 's' stop.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine.h"
#include "failover_state.h"
#include "pairway/machine_root.h"

namespace {

const char kServiceName[] = "TREVAN";

const char kHelp[] =
    "Usage: pairway-trevan [--help]\n"
    "\n"
    "The failover engine of the TREVAN driver: the driver service TREVAN of the machine root\n"
    "named by PAIRWAY_ROOT, started by pairway-scm before the services. It reads the port\n"
    "groups from the driver parameters of the TREVAN ports at its start and at every\n"
    "PARAMCHANGE control, makes each group of Linux interfaces one active-backup group\n"
    "interface, runs the same rules on the emulated links of emulated ports, and publishes\n"
    "each group's state in the root's run folder (trevan/failover.state).\n"
    "\n"
    "Options:\n"
    "  --help    prints this text\n"
    "\n"
    "Exit status: 0 stopped, 1 not started by the service manager or cannot run, 2 usage.\n";

std::mutex g_log_mutex;
FILE* g_log_file = nullptr;

void LogLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  std::fprintf(stderr, "pairway-trevan: %s\n", line.c_str());
  if (g_log_file != nullptr) {
    char stamp[32] = {};
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(g_log_file, "%s %s\n", stamp, line.c_str());
    std::fflush(g_log_file);
  }
}

SERVICE_STATUS_HANDLE g_status_handle = 0;
std::atomic<DWORD> g_state{SERVICE_START_PENDING};
int g_control_pipe[2] = {-1, -1};
int g_stop_signals = -1;
std::atomic<bool> g_began{false};  // the service's main has run
std::mutex g_done_mutex;
std::condition_variable g_done_changed;
bool g_done = false;  // the groups have been taken apart

void Report(DWORD state, DWORD exit_code = NO_ERROR) {
  g_state = state;
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_KERNEL_DRIVER;
  status.dwCurrentState = state;
  status.dwWin32ExitCode = exit_code;
  if (state == SERVICE_RUNNING)
    status.dwControlsAccepted =
        SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) status.dwWaitHint = 10000;
  SetServiceStatus(g_status_handle, &status);
}

void Send(char what) {
  if (write(g_control_pipe[1], &what, 1) != 1) LogLine("cannot pass a control to the loop");
}

void WINAPI Handler(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING);
      Send('s');
      break;
    case SERVICE_CONTROL_PARAMCHANGE:
      Send('p');
      break;
    default:
      Report(g_state);  // INTERROGATE: the status as it is
      break;
  }
}

void Serve(pairway::driver::Engine* engine) {
  for (;;) {
    std::vector<pollfd> ready = {{g_control_pipe[0], POLLIN, 0}, {g_stop_signals, POLLIN, 0}};
    for (int fd : engine->fds()) ready.push_back({fd, POLLIN, 0});
    if (poll(ready.data(), ready.size(), engine->WaitMs()) < 0 && errno != EINTR) {
      LogLine(std::string("poll: ") + std::strerror(errno));
      return;
    }
    if (ready[1].revents != 0) {
      LogLine("stopping on a signal");
      return;
    }
    if (ready[0].revents != 0) {
      char controls[64];
      const ssize_t n = read(g_control_pipe[0], controls, sizeof controls);
      bool reread = false;
      for (ssize_t i = 0; i < n; ++i) {
        if (controls[i] == 's') return;
        reread = reread || controls[i] == 'p';
      }
      if (reread) {
        LogLine("PARAMCHANGE: reading the groups again");
        engine->Reconfigure();
      }
    }
    engine->Tick();
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  g_began = true;
  g_status_handle = RegisterServiceCtrlHandlerA(kServiceName, Handler);
  Report(SERVICE_START_PENDING);
  const std::optional<std::filesystem::path> root = pairway::MachineRoot();
  {
    std::error_code ignored;
    const std::filesystem::path folder = pairway::driver::FailoverStatePath(*root).parent_path();
    std::filesystem::create_directories(folder, ignored);
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_log_file = std::fopen((folder / "trevan.log").c_str(), "ae");
  }
  DWORD exit_code = NO_ERROR;
  {
    pairway::driver::Engine engine(*root, LogLine);
    std::string error;
    if (engine.Start(&error)) {
      LogLine("started (pid " + std::to_string(getpid()) + ")");
      // Running before the first read: a PARAMCHANGE sent as soon as the groups show waits in
      // the pipe instead of being refused as too early.
      Report(SERVICE_RUNNING);
      engine.Reconfigure();
      Serve(&engine);
      engine.Stop();
      LogLine("stopped");
    } else {
      LogLine("cannot start: " + error);
      exit_code = ERROR_SERVICE_ALREADY_RUNNING;
    }
  }
  {
    std::lock_guard<std::mutex> lock(g_done_mutex);
    g_done = true;
  }
  g_done_changed.notify_all();
  Report(SERVICE_STOPPED, exit_code);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    std::fprintf(stderr, "pairway-trevan: unknown argument '%s'\n%s", argv[i], kHelp);
    return 2;
  }
  if (!pairway::MachineRoot()) {
    std::fprintf(stderr, "pairway-trevan: PAIRWAY_ROOT names no machine root\n");
    return 1;
  }
  // SIGTERM and SIGINT reach the loop as a descriptor, on whichever thread they arrive: the
  // groups are taken apart as for STOP.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  g_stop_signals = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
  if (g_stop_signals < 0 || pipe2(g_control_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "pairway-trevan: %s\n", std::strerror(errno));
    return 1;
  }
  const SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kServiceName), ServiceMain},
                                        {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    const DWORD error = GetLastError();
    if (g_began) {
      // The service manager went away under a running driver: the groups still go in order.
      LogLine("the service manager has gone; stopping");
      Send('s');
      std::unique_lock<std::mutex> lock(g_done_mutex);
      g_done_changed.wait(lock, [] { return g_done; });
      return 0;
    }
    std::fprintf(stderr,
                 "pairway-trevan: runs only as the driver service TREVAN under pairway-scm "
                 "(StartServiceCtrlDispatcher: error %lu)\n",
                 static_cast<unsigned long>(error));
    return 1;
  }
  return 0;
}
