// scm_test_service: a service for the tests of pairway-scm. It records every step in
// ROOT/NAME.events (one line each) so a test can see what reached it.
//
//   scm_test_service.exe [MODE]
//     normal         START_PENDING, RUNNING (accepts stop, pause/continue, shutdown); stops on
//                    STOP or SHUTDOWN
//     keep-running   as normal, but a SHUTDOWN is only recorded: it never reports STOPPED
//     hang           as normal, but the handler never returns from SHUTDOWN
//     crash          dies by SIGKILL right after reporting RUNNING
//     bad-state      reports the state 99 on the raw channel before RUNNING
//     no-stop        RUNNING accepts nothing: STOP is refused by the manager
//     reread         as normal, and accepts PARAMCHANGE too (a driver that rereads its parameters)
// In every mode the service's own code 250 never returns from the handler. After each control and
// after "stopped" it records "clock NS" (CLOCK_MONOTONIC).
// Started by hand it prints the dispatcher's error and exits with 1.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>

#include "services/scm_wire.h"

namespace {

std::string g_mode = "normal";
int g_raw_channel = -1;
std::mutex g_mutex;
std::condition_variable g_changed;
bool g_stop = false;
SERVICE_STATUS_HANDLE g_handle = 0;
SERVICE_STATUS g_status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
FILE* g_events = nullptr;

void Record(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_events == nullptr) return;
  fprintf(g_events, "%s\n", line.c_str());
  fflush(g_events);
}

void Report(DWORD state, DWORD accepted, DWORD check_point, DWORD wait_hint) {
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted = accepted;
  g_status.dwCheckPoint = check_point;
  g_status.dwWaitHint = wait_hint;
  SetServiceStatus(g_handle, &g_status);
}

// CLOCK_MONOTONIC in nanoseconds, recorded after some steps so tests can order two services.
void RecordClock() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  Record("clock " + std::to_string(int64_t{now.tv_sec} * 1000000000 + now.tv_nsec));
}

void WINAPI Handler(DWORD control) {
  Record("control " + std::to_string(control));
  RecordClock();
  switch (control) {
    case SERVICE_CONTROL_SHUTDOWN:
      if (g_mode == "keep-running") return;
      if (g_mode == "hang") pause();
      [[fallthrough]];
    case SERVICE_CONTROL_STOP: {
      Report(SERVICE_STOP_PENDING, 0, 1, 2000);
      std::lock_guard<std::mutex> lock(g_mutex);
      g_stop = true;
      g_changed.notify_all();
      return;
    }
    case SERVICE_CONTROL_PAUSE:
      Report(SERVICE_PAUSED, g_status.dwControlsAccepted, 0, 0);
      return;
    case SERVICE_CONTROL_CONTINUE:
      Report(SERVICE_RUNNING, g_status.dwControlsAccepted, 0, 0);
      return;
    case 250:
      pause();
      return;
    default:
      SetServiceStatus(g_handle, &g_status);  // interrogate and the service's own codes
  }
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  std::string name = argc > 0 ? argv[0] : "unnamed";
  const char* root = getenv("PAIRWAY_ROOT");
  g_events =
      fopen((std::string(root != nullptr ? root : ".") + "/" + name + ".events").c_str(), "a");
  Record("main " + name + " args " + std::to_string(argc));
  Record("pid " + std::to_string(getpid()));
  g_handle = RegisterServiceCtrlHandlerA(name.c_str(), Handler);
  Report(SERVICE_START_PENDING, 0, 1, 3000);
  if (g_mode == "bad-state") {
    SERVICE_STATUS bad = g_status;
    bad.dwCurrentState = 99;
    pairway::scm::FrameWriter frame(pairway::scm::MessageKind::kStatus);
    pairway::scm::SendFrame(g_raw_channel, frame.Status(bad).Bytes());
  }
  DWORD accepted = g_mode == "no-stop" ? 0
                                       : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE |
                                             SERVICE_ACCEPT_SHUTDOWN;
  if (g_mode == "reread") accepted |= SERVICE_ACCEPT_PARAMCHANGE;
  Report(SERVICE_RUNNING, accepted, 0, 0);
  Record("running");
  if (g_mode == "crash") kill(getpid(), SIGKILL);
  std::unique_lock<std::mutex> lock(g_mutex);
  g_changed.wait(lock, [] { return g_stop; });
  lock.unlock();
  Record("stopped");
  RecordClock();
  Report(SERVICE_STOPPED, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_mode = argv[1];
  if (const char* channel = getenv(pairway::scm::kChannelVariable)) g_raw_channel = atoi(channel);
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    printf("StartServiceCtrlDispatcherA failed %u\n", GetLastError());
    return 1;
  }
  return 0;
}
