// The service side: StartServiceCtrlDispatcherA, RegisterServiceCtrlHandlerA, SetServiceStatus.
//
// A process that pairway-scm started holds one end of a private socketpair, named by
// PAIRWAY_SCM_CHANNEL. The dispatcher announces itself on it, receives the service to run, runs
// that service's main on a thread of its own and then calls the control handler, on its own
// (the caller's) thread, for each control the daemon delivers, acknowledging each when the
// handler returns. It returns once the service has reported SERVICE_STOPPED, or when the daemon
// has gone. Only services of their own process run here: one service per dispatcher.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "services/scm_wire.h"

namespace pairway::scm {
namespace {

// The dispatcher's state; one per process, as the platform allows one dispatcher per process.
struct Dispatcher {
  std::mutex mutex;          // guards everything below and writes to `channel`
  int channel = -1;          // -1 until a dispatcher has connected
  int stopped_event = -1;    // eventfd written when the service reports STOPPED
  std::string service_name;  // the service this process runs
  LPHANDLER_FUNCTION handler = nullptr;
  // Arguments handed to the service's main; they live as long as the process.
  std::vector<std::string> args;
  std::vector<char*> argv;
};

Dispatcher& State() {
  static auto* state = new Dispatcher;
  return *state;
}

constexpr SERVICE_STATUS_HANDLE kStatusHandle = 1;

// The channel descriptor the daemon passed down, or -1 when this process has none.
int InheritedChannel() {
  const char* value = std::getenv(kChannelVariable);
  if (value == nullptr || *value == '\0') return -1;
  char* end = nullptr;
  long fd = std::strtol(value, &end, 10);
  if (*end != '\0' || fd < 3 || fd > 1 << 20) return -1;
  struct stat st {};
  if (fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode)) return -1;
  // Programs this service starts must not inherit the right to speak for it.
  unsetenv(kChannelVariable);
  fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  return static_cast<int>(fd);
}

// Waits for the daemon's kStartService and fills the dispatcher's arguments.
bool ReceiveStart(int channel, Dispatcher* d) {
  std::string body;
  if (!ReceiveFrame(channel, &body)) return false;
  FrameReader reader(std::move(body));
  MessageKind kind{};
  uint32_t argc = 0;
  if (!reader.Kind(&kind) || kind != MessageKind::kStartService || !reader.Text(&d->service_name) ||
      !reader.U32(&argc) || argc > kMaxArgs)
    return false;
  d->args.assign(1, d->service_name);
  for (uint32_t i = 0; i < argc; ++i) {
    std::string arg;
    if (!reader.Text(&arg)) return false;
    d->args.push_back(arg);
  }
  if (!reader.Finish()) return false;
  for (std::string& arg : d->args) d->argv.push_back(arg.data());
  d->argv.push_back(nullptr);
  return true;
}

// Runs the handler for each delivered control until the service stops or the daemon goes.
BOOL ControlLoop(Dispatcher* d) {
  while (true) {
    pollfd fds[2] = {{d->channel, POLLIN, 0}, {d->stopped_event, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    if (fds[1].revents != 0) return TRUE;  // the service has stopped
    std::string body;
    if (!ReceiveFrame(d->channel, &body)) {
      SetLastError(ERROR_BROKEN_PIPE);  // the manager has gone
      return FALSE;
    }
    FrameReader reader(std::move(body));
    MessageKind kind{};
    uint32_t control = 0;
    if (!reader.Kind(&kind) || kind != MessageKind::kDeliver || !reader.U32(&control) ||
        !reader.Finish())
      continue;  // nothing else is meant for us; the daemon's checks make this unreachable
    LPHANDLER_FUNCTION handler = nullptr;
    {
      std::lock_guard<std::mutex> lock(d->mutex);
      handler = d->handler;
    }
    if (handler != nullptr) handler(control);
    std::lock_guard<std::mutex> lock(d->mutex);
    FrameWriter done(MessageKind::kDelivered);
    SendFrame(d->channel, done.U32(control).Bytes());
  }
}

}  // namespace
}  // namespace pairway::scm

extern "C" {

WINADVAPI BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable) {
  using namespace pairway::scm;
  if (lpServiceStartTable == nullptr || lpServiceStartTable[0].lpServiceProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Dispatcher& d = State();
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.channel >= 0) {
      SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
      return FALSE;
    }
    int channel = InheritedChannel();
    if (channel < 0) {
      SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
      return FALSE;
    }
    FrameWriter hello(MessageKind::kHello);
    if (!SendFrame(channel, hello.U32(static_cast<uint32_t>(getpid())).Bytes()) ||
        !ReceiveStart(channel, &d)) {
      close(channel);
      SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
      return FALSE;
    }
    d.stopped_event = eventfd(0, EFD_CLOEXEC);
    d.channel = channel;
  }
  // A process of its own runs one service: the table's entry of that name, else its first.
  LPSERVICE_MAIN_FUNCTIONA main_function = lpServiceStartTable[0].lpServiceProc;
  for (const SERVICE_TABLE_ENTRYA* e = lpServiceStartTable; e->lpServiceProc != nullptr; ++e) {
    if (e->lpServiceName != nullptr && strcasecmp(e->lpServiceName, d.service_name.c_str()) == 0)
      main_function = e->lpServiceProc;
  }
  // The main runs on its own thread and may outlive the dispatcher's return, as on the platform.
  std::thread([main_function, &d] {
    main_function(static_cast<DWORD>(d.args.size()), d.argv.data());
  }).detach();
  return ControlLoop(&d);
}

WINADVAPI SERVICE_STATUS_HANDLE WINAPI
RegisterServiceCtrlHandlerA(LPCSTR lpServiceName, LPHANDLER_FUNCTION lpHandlerProc) {
  using namespace pairway::scm;
  Dispatcher& d = State();
  std::lock_guard<std::mutex> lock(d.mutex);
  // A process of its own runs exactly one service, so the platform takes the handler for it
  // whatever name the program gives (programs often pass a longer, descriptive name).
  if (d.channel < 0 || lpServiceName == nullptr) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return 0;
  }
  if (lpHandlerProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  d.handler = lpHandlerProc;
  SetLastError(ERROR_SUCCESS);
  return kStatusHandle;
}

WINADVAPI BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                       LPSERVICE_STATUS lpServiceStatus) {
  using namespace pairway::scm;
  Dispatcher& d = State();
  std::lock_guard<std::mutex> lock(d.mutex);
  if (hServiceStatus != kStatusHandle || d.channel < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpServiceStatus == nullptr || !ValidState(lpServiceStatus->dwCurrentState)) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  FrameWriter report(MessageKind::kStatus);
  if (!SendFrame(d.channel, report.Status(*lpServiceStatus).Bytes())) {
    SetLastError(ERROR_BROKEN_PIPE);
    return FALSE;
  }
  if (lpServiceStatus->dwCurrentState == SERVICE_STOPPED) {
    uint64_t one = 1;
    if (write(d.stopped_event, &one, sizeof one) < 0) {
      // An eventfd write fails only on overflow, which one write per stop cannot reach.
    }
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // extern "C"
