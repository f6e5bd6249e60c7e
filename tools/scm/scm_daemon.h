// scm_daemon.h: pairway-scm, the service control manager of one machine root.
//
// One thread, one loop (event_loop.h). Everything arrives as readiness of a descriptor: the
// listening socket, client connections, the private channel of each service process, and a
// signalfd for SIGTERM/SIGINT (stop: the shutdown sequence) and SIGCHLD (a service process
// exited). Time-outs are named timers of the loop. No peer can block the loop: sockets are
// non-blocking, partial frames wait in a buffer per connection, and a reply that cannot be written
// at once closes that connection.
//
// Controls. The daemon passes a control to a service only as the platform does:
//   INTERROGATE and the service's own codes 128-255   always, while the service runs
//   STOP                                              when its last status accepts STOP
//   PAUSE, CONTINUE                                   when it accepts PAUSE_CONTINUE
//   PARAMCHANGE                                       when it accepts PARAMCHANGE
//   SHUTDOWN                                          never from a caller; the daemon's own, at
//                                                     shutdown, when the service accepts it
// A control the service does not accept fails with ERROR_INVALID_SERVICE_CONTROL; any control
// while the service is START_PENDING or STOP_PENDING, or before its dispatcher has connected,
// fails with ERROR_SERVICE_CANNOT_ACCEPT_CTRL; a stopped service gives ERROR_SERVICE_NOT_ACTIVE.
// ControlService returns once the handler has returned (the dispatcher acknowledges it), with the
// status the service reported meanwhile; a handler that does not return within the control
// time-out gives ERROR_SERVICE_REQUEST_TIMEOUT, and later controls queue behind it.
//
// Access, from the caller's SO_PEERCRED: root and the daemon's own user may do everything; any
// other user may only open the manager and services for query and query or interrogate.
//
// Shutdown (SIGTERM, SIGINT or a kShutdown request): every running service that accepts SHUTDOWN
// gets it; the daemon waits for each until it reports STOPPED, exits, or its handler returns
// without leaving it STOP_PENDING (a service that reports STOP_PENDING is waited for until it
// reports STOPPED), up to the shutdown time-out; services that do not accept SHUTDOWN get SIGTERM
// at once. Kernel drivers (Type SERVICE_KERNEL_DRIVER) get the same only once the services are
// done (or the time-out passed), with a time-out of their own: a service's shutdown work may
// still use the driver. Whatever still runs after that is killed, and the daemon exits.
//
// Start: system-start drivers (Type SERVICE_KERNEL_DRIVER, Start SERVICE_SYSTEM_START) are
// started before the auto-start services. A driver is a program with a dispatcher, like a
// service of its own process.
#ifndef PAIRWAY_TOOLS_SCM_SCM_DAEMON_H
#define PAIRWAY_TOOLS_SCM_SCM_DAEMON_H

#include <sys/types.h>
#include <windows.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "event_loop.h"
#include "services/scm_wire.h"
#include "unique_fd.h"

namespace pairway::scm {

struct ServiceConfig;

struct DaemonOptions {
  std::filesystem::path root;
  bool foreground = false;
  std::chrono::milliseconds shutdown_timeout{20000};
  std::chrono::milliseconds control_timeout{30000};
  std::chrono::milliseconds start_timeout{30000};
};

class Daemon {
 public:
  explicit Daemon(DaemonOptions options);
  ~Daemon();
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  // Takes the root's lock, listens on the socket and arms the signals. On failure returns false
  // with a message for the user in *error and *exit_code set (3: another daemon serves the root,
  // 1: anything else).
  bool Start(std::string* error, int* exit_code);
  // Path of the listening socket (after Start).
  const std::filesystem::path& socket_path() const { return socket_path_; }
  // Starts the auto-start services, then serves until the shutdown sequence has ended.
  void Run();

 private:
  struct Client;
  struct Service;
  struct Control {
    uint32_t code = 0;
    uint64_t client = 0;  // who waits for the reply; 0 for the daemon's own shutdown control
  };

  // Signals.
  void OnSignal();
  void ReapChildren();

  // Clients.
  void Accept();
  void OnClientReadable(uint64_t id);
  void ProcessClientFrames(Client* client);
  void HandleRequest(Client* client, const std::string& body);
  void Reply(uint64_t client, DWORD error, const SERVICE_STATUS& status);
  // Sends a finished reply frame; a client that cannot take it at once is dropped.
  void SendReply(uint64_t client, const std::string& frame);
  void DropClient(uint64_t id, const char* why);

  // Requests.
  DWORD DoCreate(Client* client, FrameReader* reader);
  DWORD DoOpenService(Client* client, FrameReader* reader);
  void DoStart(Client* client, FrameReader* reader);
  void DoControl(Client* client, FrameReader* reader);
  DWORD DoQuery(FrameReader* reader, SERVICE_STATUS* status);
  DWORD DoDelete(Client* client, FrameReader* reader);
  // The listing requests (scm_enumerate.cpp): one service's status with its process, and the
  // services of a type and state mask.
  void DoQueryEx(uint64_t client, FrameReader* reader);
  void DoEnumerate(uint64_t client, FrameReader* reader);
  // What a configured service's status is now, and its process id (0 when none runs).
  SERVICE_STATUS StatusOf(const ServiceConfig& config, DWORD* pid);

  // Services.
  Service* Find(const std::string& name);
  Service* Track(const std::string& name, DWORD type);
  DWORD StartService(const std::string& name, std::vector<std::string> args, uint64_t waiter);
  void OnChannelReadable(Service* service);
  void HandleServiceMessage(Service* service, const std::string& body);
  void OnHello(Service* service);
  void OnStatus(Service* service, const SERVICE_STATUS& status);
  void OnDelivered(Service* service);
  void SendNextControl(Service* service);
  void OnServiceExit(Service* service, int wait_status);
  void CloseChannel(Service* service);
  void FinishDeletion(Service* service);

  // Shutdown.
  void BeginShutdown(uint64_t requester);
  void NotifyShutdown(bool drivers);
  void ShutdownStepDone(Service* service);
  void FinishShutdown();

  // Members in start order; teardown runs in reverse.
  const DaemonOptions options_;
  UniqueFd lock_fd_;
  std::filesystem::path socket_path_;
  UniqueFd listen_fd_;
  UniqueFd signal_fd_;
  EventLoop loop_;
  std::map<uint64_t, std::unique_ptr<Client>> clients_;
  std::map<std::string, std::unique_ptr<Service>> services_;  // by lower-case name
  uint64_t next_client_id_ = 1;
  bool shutting_down_ = false;
  bool done_ = false;
  bool drivers_notified_ = false;  // shutdown has reached the drivers
  std::vector<uint64_t> shutdown_waiters_;
};

// Writes one line to the daemon's log: stderr in the foreground, syslog otherwise.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogToSyslog();

}  // namespace pairway::scm

#endif  // PAIRWAY_TOOLS_SCM_SCM_DAEMON_H
