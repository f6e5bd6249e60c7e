// The daemon's start-up, requests, service processes and shutdown sequence, on its loop.
//
//   1. Logging
//   2. Start-up and the loop
//   3. Clients and requests
//   4. Service processes and their channels
//   5. Shutdown
#include "scm_daemon.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>

#include <algorithm>
#include <cstring>

#include "pairway/machine_root.h"
#include "service_db.h"
#include "service_process.h"

namespace pairway::scm {

// ---- 1. Logging ------------------------------------------------------------------------------

namespace {
bool g_syslog = false;
}

void LogToSyslog() {
  openlog("pairway-scm", LOG_PID, LOG_DAEMON);
  g_syslog = true;
}

void Log(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (g_syslog)
    syslog(LOG_INFO, "%s", line);
  else
    fprintf(stderr, "pairway-scm: %s\n", line);
}

namespace {

constexpr size_t kMaxClients = 512;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

SERVICE_STATUS StoppedStatus(DWORD type, DWORD exit_code) {
  SERVICE_STATUS status{};
  status.dwServiceType = type;
  status.dwCurrentState = SERVICE_STOPPED;
  status.dwWin32ExitCode = exit_code;
  return status;
}

// What a caller without full access may ask for.
constexpr DWORD kQueryManagerAccess =
    SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL;
constexpr DWORD kQueryServiceAccess = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                      SERVICE_ENUMERATE_DEPENDENTS | SERVICE_INTERROGATE |
                                      READ_CONTROL;

}  // namespace

struct Daemon::Client {
  uint64_t id = 0;
  UniqueFd fd;
  bool privileged = false;
  bool awaiting = false;  // a request is being served; later frames wait
  FrameBuffer in;
};

struct Daemon::Service {
  std::string name;
  SERVICE_STATUS status{};
  pid_t pid = -1;  // the running process, -1 when none
  UniqueFd channel;
  FrameBuffer in;
  bool connected = false;  // the dispatcher has said hello
  std::vector<std::string> args;
  std::vector<uint64_t> start_waiters;
  std::deque<Control> controls;  // front is in flight when control_in_flight
  bool control_in_flight = false;
  int acks_to_ignore = 0;  // acknowledgements of controls that timed out
  bool delete_pending = false;
  bool awaiting_shutdown = false;
  bool driver = false;  // a kernel driver: notified of shutdown after the services
};

// ---- 2. Start-up and the loop ----------------------------------------------------------------

Daemon::Daemon(DaemonOptions options) : options_(std::move(options)) {}

Daemon::~Daemon() {
  // The socket goes with the daemon that listened on it; a failed start leaves the owner's alone.
  if (listen_fd_.valid()) unlink(socket_path_.c_str());
}

bool Daemon::Start(std::string* error, int* exit_code) {
  *exit_code = 1;
  std::error_code ec;
  std::filesystem::path run = RunDir(options_.root);
  std::filesystem::create_directories(run, ec);
  std::string lock_path = (run / "pairway-scm.lock").string();
  lock_fd_ = UniqueFd(open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock_fd_.valid()) {
    *error = "cannot open " + lock_path + ": " + strerror(errno);
    return false;
  }
  if (flock(lock_fd_.get(), LOCK_EX | LOCK_NB) != 0) {
    *error = "another pairway-scm already serves the machine root " + options_.root.string();
    *exit_code = 3;
    return false;
  }
  std::filesystem::path dir = SocketDir(options_.root);
  if (dir.empty()) {
    *error = "no private folder for the socket of " + options_.root.string();
    return false;
  }
  socket_path_ = dir / kSocketName;
  unlink(socket_path_.c_str());  // a socket left by a daemon that died; we hold the lock
  listen_fd_ = UniqueFd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_path_.c_str(), sizeof address.sun_path - 1);
  // Owner-only from the first moment: the socket is made under a umask that leaves nothing to
  // others, not chmod-ed afterwards.
  mode_t old_mask = umask(0177);
  bool bound = listen_fd_.valid() &&
               bind(listen_fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  umask(old_mask);
  if (!bound || listen(listen_fd_.get(), 64) != 0) {
    *error = "cannot listen on " + socket_path_.string() + ": " + strerror(errno);
    return false;
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGCHLD);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal_fd_ = UniqueFd(signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!signal_fd_.valid() || !loop_.Open() ||
      !loop_.Watch(listen_fd_.get(), [this] { Accept(); }) ||
      !loop_.Watch(signal_fd_.get(), [this] { OnSignal(); })) {
    *error = std::string("cannot set up the event loop: ") + strerror(errno);
    return false;
  }
  *exit_code = 0;
  return true;
}

void Daemon::Run() {
  // Drivers first, as the platform loads them before any service that may use them.
  for (const std::string& name : SystemStartDrivers()) {
    DWORD error = StartService(name, {}, 0);
    if (error != ERROR_SUCCESS) Log("start of driver %s failed: error %u", name.c_str(), error);
  }
  for (const std::string& name : AutoStartServices()) {
    DWORD error = StartService(name, {}, 0);
    if (error != ERROR_SUCCESS) Log("auto-start of %s failed: error %u", name.c_str(), error);
  }
  // FinishShutdown stops the loop.
  if (!loop_.Run()) {
    Log("epoll_wait: %s", strerror(errno));
    BeginShutdown(0);
    FinishShutdown();
  }
}

void Daemon::OnSignal() {
  signalfd_siginfo info;
  while (read(signal_fd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    if (info.ssi_signo == SIGCHLD) {
      ReapChildren();
    } else {
      Log("signal %u: shutting down", info.ssi_signo);
      BeginShutdown(0);
    }
  }
}

void Daemon::ReapChildren() {
  int wait_status = 0;
  pid_t pid;
  while ((pid = waitpid(-1, &wait_status, WNOHANG)) > 0) {
    for (auto& [key, service] : services_) {
      if (service->pid == pid) {
        OnServiceExit(service.get(), wait_status);
        break;
      }
    }
    if (done_) return;
  }
}

// ---- 3. Clients and requests -----------------------------------------------------------------

void Daemon::Accept() {
  while (true) {
    int fd = accept4(listen_fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EINTR) Log("accept: %s", strerror(errno));
      return;
    }
    auto client = std::make_unique<Client>();
    client->fd = UniqueFd(fd);
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) continue;
    client->privileged = credentials.uid == 0 || credentials.uid == geteuid();
    if (clients_.size() >= kMaxClients) {
      Log("too many connections; refusing one from uid %u", credentials.uid);
      continue;
    }
    uint64_t id = client->id = next_client_id_++;
    if (!loop_.Watch(fd, [this, id] { OnClientReadable(id); })) continue;
    clients_[id] = std::move(client);
  }
}

void Daemon::OnClientReadable(uint64_t id) {
  Client* client = clients_[id].get();
  char buffer[4096];
  ssize_t n = read(client->fd.get(), buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    DropClient(id, nullptr);
    return;
  }
  client->in.Append(buffer, static_cast<size_t>(n));
  ProcessClientFrames(client);
}

void Daemon::ProcessClientFrames(Client* client) {
  uint64_t id = client->id;
  while (clients_.count(id) != 0 && !client->awaiting) {
    bool malformed = false;
    std::optional<std::string> body = client->in.Next(&malformed);
    if (malformed) {
      DropClient(id, "a frame of impossible length");
      return;
    }
    if (!body) return;
    HandleRequest(client, *body);
  }
}

void Daemon::DropClient(uint64_t id, const char* why) {
  if (why != nullptr) Log("closing a client connection: %s", why);
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  loop_.Unwatch(it->second->fd.get());
  clients_.erase(it);
}

void Daemon::Reply(uint64_t id, DWORD error, const SERVICE_STATUS& status) {
  FrameWriter reply(MessageKind::kReply);
  SendReply(id, reply.U32(error).Status(status).Bytes());
}

void Daemon::SendReply(uint64_t id, const std::string& frame) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;  // the caller has gone
  Client* client = it->second.get();
  ssize_t n = send(client->fd.get(), frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n != static_cast<ssize_t>(frame.size())) {
    DropClient(id, "it does not read its replies");
    return;
  }
  client->awaiting = false;
  ProcessClientFrames(client);
}

void Daemon::HandleRequest(Client* client, const std::string& body) {
  FrameReader reader(body);
  MessageKind kind{};
  SERVICE_STATUS status{};
  DWORD error = ERROR_SUCCESS;
  uint32_t access = 0;
  client->awaiting = true;
  if (!reader.Kind(&kind)) {
    DropClient(client->id, "a malformed request");
    return;
  }
  switch (kind) {
    case MessageKind::kOpenManager:
      if (!reader.U32(&access) || !reader.Finish()) break;
      error = (!client->privileged && (access & ~kQueryManagerAccess) != 0) ? ERROR_ACCESS_DENIED
                                                                            : ERROR_SUCCESS;
      return Reply(client->id, error, status);
    case MessageKind::kCreate:
      error = DoCreate(client, &reader);
      if (!reader.Finish()) break;
      return Reply(client->id, error, status);
    case MessageKind::kOpenService:
      error = DoOpenService(client, &reader);
      if (!reader.Finish()) break;
      return Reply(client->id, error, status);
    case MessageKind::kStart:
      return DoStart(client, &reader);
    case MessageKind::kControl:
      return DoControl(client, &reader);
    case MessageKind::kQuery:
      error = DoQuery(&reader, &status);
      if (!reader.Finish()) break;
      return Reply(client->id, error, status);
    case MessageKind::kDelete:
      error = DoDelete(client, &reader);
      if (!reader.Finish()) break;
      return Reply(client->id, error, status);
    case MessageKind::kQueryEx:
      return DoQueryEx(client->id, &reader);
    case MessageKind::kEnumerate:
      return DoEnumerate(client->id, &reader);
    case MessageKind::kShutdown:
      if (!reader.Finish()) break;
      if (!client->privileged) return Reply(client->id, ERROR_ACCESS_DENIED, status);
      return BeginShutdown(client->id);
    default:
      break;
  }
  DropClient(client->id, "a malformed request");
}

DWORD Daemon::DoCreate(Client* client, FrameReader* reader) {
  ServiceConfig config;
  uint32_t access = 0;
  if (!reader->Text(&config.name) || !reader->Text(&config.display_name) || !reader->U32(&access) ||
      !reader->U32(&config.type) || !reader->U32(&config.start) ||
      !reader->U32(&config.error_control) || !reader->Text(&config.image_path))
    return ERROR_INVALID_PARAMETER;  // the caller closes the connection: Finish() fails
  if (!client->privileged) return ERROR_ACCESS_DENIED;
  if (shutting_down_) return ERROR_SHUTDOWN_IN_PROGRESS;
  if (!ValidServiceName(config.name)) return ERROR_INVALID_NAME;
  if (config.type != SERVICE_WIN32_OWN_PROCESS ||
      (config.start != SERVICE_AUTO_START && config.start != SERVICE_DEMAND_START &&
       config.start != SERVICE_DISABLED) ||
      config.error_control > SERVICE_ERROR_CRITICAL || config.image_path.empty())
    return ERROR_INVALID_PARAMETER;
  if (Service* service = Find(config.name); service != nullptr && service->delete_pending)
    return ERROR_SERVICE_MARKED_FOR_DELETE;
  DWORD error = CreateServiceEntry(config);
  if (error == ERROR_SUCCESS) Log("created service %s", config.name.c_str());
  return error;
}

DWORD Daemon::DoOpenService(Client* client, FrameReader* reader) {
  std::string name;
  uint32_t access = 0;
  if (!reader->Text(&name) || !reader->U32(&access)) return ERROR_INVALID_PARAMETER;
  ServiceConfig config;
  if (!ValidServiceName(name)) return ERROR_INVALID_NAME;
  if (ReadServiceEntry(name, &config) != ERROR_SUCCESS) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (!client->privileged && (access & ~kQueryServiceAccess) != 0) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

void Daemon::DoStart(Client* client, FrameReader* reader) {
  std::string name;
  uint32_t argc = 0;
  std::vector<std::string> args;
  bool ok = reader->Text(&name) && reader->U32(&argc) && argc <= kMaxArgs;
  for (uint32_t i = 0; ok && i < argc; ++i) ok = reader->Text(&args.emplace_back());
  if (!ok || !reader->Finish()) return DropClient(client->id, "a malformed start request");
  SERVICE_STATUS none{};
  if (!client->privileged) return Reply(client->id, ERROR_ACCESS_DENIED, none);
  DWORD error = StartService(name, std::move(args), client->id);
  if (error != ERROR_SUCCESS) Reply(client->id, error, none);
  // On success the reply waits for the dispatcher's hello (OnHello) or the start time-out.
}

void Daemon::DoControl(Client* client, FrameReader* reader) {
  std::string name;
  uint32_t code = 0;
  if (!reader->Text(&name) || !reader->U32(&code) || !reader->Finish())
    return DropClient(client->id, "a malformed control request");
  SERVICE_STATUS status{};
  ServiceConfig config;
  if (!ValidServiceName(name) || ReadServiceEntry(name, &config) != ERROR_SUCCESS)
    return Reply(client->id, ERROR_SERVICE_DOES_NOT_EXIST, status);
  bool user_code = code >= 128 && code <= 255;
  if (!user_code && code != SERVICE_CONTROL_PARAMCHANGE &&
      (code < SERVICE_CONTROL_STOP || code > SERVICE_CONTROL_INTERROGATE))
    return Reply(client->id, ERROR_INVALID_PARAMETER, status);
  if (!client->privileged && code != SERVICE_CONTROL_INTERROGATE)
    return Reply(client->id, ERROR_ACCESS_DENIED, status);
  Service* service = Find(name);
  if (service == nullptr || service->pid < 0 || service->status.dwCurrentState == SERVICE_STOPPED)
    return Reply(client->id, ERROR_SERVICE_NOT_ACTIVE,
                 service != nullptr ? service->status : StoppedStatus(config.type, 0));
  status = service->status;
  DWORD state = status.dwCurrentState;
  if (!service->connected || state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
    return Reply(client->id, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, status);
  DWORD accepted = status.dwControlsAccepted;
  if ((code == SERVICE_CONTROL_STOP && (accepted & SERVICE_ACCEPT_STOP) == 0) ||
      ((code == SERVICE_CONTROL_PAUSE || code == SERVICE_CONTROL_CONTINUE) &&
       (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) == 0) ||
      (code == SERVICE_CONTROL_PARAMCHANGE && (accepted & SERVICE_ACCEPT_PARAMCHANGE) == 0))
    return Reply(client->id, ERROR_INVALID_SERVICE_CONTROL, status);
  service->controls.push_back({code, client->id});
  SendNextControl(service);
}

DWORD Daemon::DoQuery(FrameReader* reader, SERVICE_STATUS* status) {
  std::string name;
  if (!reader->Text(&name)) return ERROR_INVALID_PARAMETER;
  ServiceConfig config;
  if (!ValidServiceName(name) || ReadServiceEntry(name, &config) != ERROR_SUCCESS)
    return ERROR_SERVICE_DOES_NOT_EXIST;
  *status = StatusOf(config, nullptr);
  return ERROR_SUCCESS;
}

SERVICE_STATUS Daemon::StatusOf(const ServiceConfig& config, DWORD* pid) {
  Service* service = Find(config.name);
  if (pid != nullptr) *pid = service != nullptr && service->pid > 0 ? service->pid : 0;
  return service != nullptr ? service->status
                            : StoppedStatus(config.type, ERROR_SERVICE_NEVER_STARTED);
}

DWORD Daemon::DoDelete(Client* client, FrameReader* reader) {
  std::string name;
  if (!reader->Text(&name)) return ERROR_INVALID_PARAMETER;
  if (!client->privileged) return ERROR_ACCESS_DENIED;
  if (shutting_down_) return ERROR_SHUTDOWN_IN_PROGRESS;
  ServiceConfig config;
  if (!ValidServiceName(name) || ReadServiceEntry(name, &config) != ERROR_SUCCESS)
    return ERROR_SERVICE_DOES_NOT_EXIST;
  Service* service = Find(name);
  if (service != nullptr && service->delete_pending) return ERROR_SERVICE_MARKED_FOR_DELETE;
  // A running service keeps its key until it stops, as the platform marks it for deletion.
  if (service != nullptr && service->pid >= 0) {
    service->delete_pending = true;
    Log("service %s marked for deletion", name.c_str());
    return ERROR_SUCCESS;
  }
  DWORD error = DeleteServiceEntry(config.name);
  if (error == ERROR_SUCCESS) {
    services_.erase(Lower(name));
    Log("deleted service %s", name.c_str());
  }
  return error;
}

// ---- 4. Service processes and their channels -------------------------------------------------

Daemon::Service* Daemon::Find(const std::string& name) {
  auto it = services_.find(Lower(name));
  return it == services_.end() ? nullptr : it->second.get();
}

Daemon::Service* Daemon::Track(const std::string& name, DWORD type) {
  auto& slot = services_[Lower(name)];
  if (!slot) {
    slot = std::make_unique<Service>();
    slot->name = name;
    slot->status = StoppedStatus(type, ERROR_SERVICE_NEVER_STARTED);
  }
  return slot.get();
}

DWORD Daemon::StartService(const std::string& name, std::vector<std::string> args,
                           uint64_t waiter) {
  ServiceConfig config;
  if (!ValidServiceName(name) || ReadServiceEntry(name, &config) != ERROR_SUCCESS)
    return ERROR_SERVICE_DOES_NOT_EXIST;
  if (shutting_down_) return ERROR_SHUTDOWN_IN_PROGRESS;
  if ((config.type & (SERVICE_WIN32_OWN_PROCESS | SERVICE_KERNEL_DRIVER)) == 0)
    return ERROR_NOT_SUPPORTED;
  if (config.start == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
  Service* service = Find(name);
  if (service != nullptr && service->delete_pending) return ERROR_SERVICE_MARKED_FOR_DELETE;
  if (service != nullptr && service->pid >= 0) return ERROR_SERVICE_ALREADY_RUNNING;
  StartedProcess started;
  DWORD error = StartServiceProcess(config.image_path, &started);
  if (error != ERROR_SUCCESS) {
    Log("cannot start %s from \"%s\": error %u", name.c_str(), config.image_path.c_str(), error);
    return error;
  }
  service = Track(name, config.type);
  service->driver = (config.type & SERVICE_KERNEL_DRIVER) != 0;
  service->pid = started.pid;
  service->channel = std::move(started.channel);
  service->in = FrameBuffer();
  service->connected = false;
  service->args = std::move(args);
  service->status = SERVICE_STATUS{config.type, SERVICE_START_PENDING, 0, 0, 0, 0, 2000};
  fcntl(service->channel.get(), F_SETFL, O_NONBLOCK);
  std::string key = Lower(name);
  if (!loop_.Watch(service->channel.get(), [this, key] {
        if (Service* s = Find(key)) OnChannelReadable(s);
      }))
    Log("cannot watch the channel of %s: %s", name.c_str(), strerror(errno));
  if (waiter != 0) service->start_waiters.push_back(waiter);
  loop_.SetTimer("start:" + key, options_.start_timeout, [this, key] {
    Service* s = Find(key);
    if (s == nullptr || s->connected) return;
    Log("service %s did not connect its dispatcher in time; ending it", s->name.c_str());
    for (uint64_t id : std::exchange(s->start_waiters, {}))
      Reply(id, ERROR_SERVICE_REQUEST_TIMEOUT, s->status);
    if (s->pid > 0) kill(s->pid, SIGKILL);
  });
  Log("started service %s (pid %d)", name.c_str(), static_cast<int>(started.pid));
  return ERROR_SUCCESS;
}

void Daemon::OnChannelReadable(Service* service) {
  char buffer[4096];
  ssize_t n = read(service->channel.get(), buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    CloseChannel(service);  // the process's exit is reported by SIGCHLD
    return;
  }
  service->in.Append(buffer, static_cast<size_t>(n));
  while (service->channel.valid()) {
    bool malformed = false;
    std::optional<std::string> body = service->in.Next(&malformed);
    if (malformed) {
      Log("service %s sent a frame of impossible length; ending it", service->name.c_str());
      CloseChannel(service);
      kill(service->pid, SIGKILL);
      return;
    }
    if (!body) return;
    HandleServiceMessage(service, *body);
  }
}

void Daemon::HandleServiceMessage(Service* service, const std::string& body) {
  FrameReader reader(body);
  MessageKind kind{};
  uint32_t value = 0;
  SERVICE_STATUS status{};
  bool ok = reader.Kind(&kind);
  if (ok && kind == MessageKind::kHello && reader.U32(&value) && reader.Finish() &&
      !service->connected)
    return OnHello(service);
  if (ok && kind == MessageKind::kStatus && reader.Status(&status) && reader.Finish())
    return OnStatus(service, status);
  if (ok && kind == MessageKind::kDelivered && reader.U32(&value) && reader.Finish())
    return OnDelivered(service);
  Log("service %s sent a malformed message; ending it", service->name.c_str());
  CloseChannel(service);
  if (service->pid > 0) kill(service->pid, SIGKILL);
}

void Daemon::OnHello(Service* service) {
  service->connected = true;
  loop_.CancelTimer("start:" + Lower(service->name));
  FrameWriter start(MessageKind::kStartService);
  start.Text(service->name).U32(static_cast<uint32_t>(service->args.size()));
  for (const std::string& arg : service->args) start.Text(arg);
  if (!SendFrame(service->channel.get(), start.Bytes())) {
    CloseChannel(service);
    return;
  }
  for (uint64_t id : std::exchange(service->start_waiters, {}))
    Reply(id, ERROR_SUCCESS, service->status);
}

void Daemon::OnStatus(Service* service, const SERVICE_STATUS& reported) {
  if (!ValidState(reported.dwCurrentState)) {
    Log("service %s reported the state %u, which does not exist; ignored", service->name.c_str(),
        reported.dwCurrentState);
    return;
  }
  DWORD type = service->status.dwServiceType;
  service->status = reported;
  service->status.dwServiceType = type;
  if (reported.dwCurrentState == SERVICE_STOPPED) {
    service->status.dwControlsAccepted = 0;
    service->status.dwCheckPoint = 0;
    service->status.dwWaitHint = 0;
    if (service->awaiting_shutdown) ShutdownStepDone(service);
  }
}

void Daemon::OnDelivered(Service* service) {
  if (service->acks_to_ignore > 0) {
    --service->acks_to_ignore;
    return;
  }
  if (!service->control_in_flight) return;  // an acknowledgement nobody asked for
  Control control = service->controls.front();
  service->controls.pop_front();
  service->control_in_flight = false;
  loop_.CancelTimer("control:" + Lower(service->name));
  if (control.client != 0) Reply(control.client, ERROR_SUCCESS, service->status);
  // A handler that returns with the service still running (the monitor after its shutdown pass)
  // has done all it will; one that left it STOP_PENDING is still on its way to STOPPED.
  if (control.code == SERVICE_CONTROL_SHUTDOWN && service->awaiting_shutdown &&
      service->status.dwCurrentState != SERVICE_STOP_PENDING)
    ShutdownStepDone(service);
  if (!done_) SendNextControl(service);
}

void Daemon::SendNextControl(Service* service) {
  if (service->control_in_flight || service->controls.empty() || !service->channel.valid()) return;
  const Control& control = service->controls.front();
  FrameWriter deliver(MessageKind::kDeliver);
  if (!SendFrame(service->channel.get(), deliver.U32(control.code).Bytes())) {
    CloseChannel(service);
    return;
  }
  service->control_in_flight = true;
  std::string key = Lower(service->name);
  loop_.SetTimer("control:" + key, options_.control_timeout, [this, key] {
    Service* s = Find(key);
    if (s == nullptr || !s->control_in_flight) return;
    Control late = s->controls.front();
    s->controls.pop_front();
    s->control_in_flight = false;
    ++s->acks_to_ignore;
    Log("service %s did not return from control %u in time", s->name.c_str(), late.code);
    if (late.client != 0) Reply(late.client, ERROR_SERVICE_REQUEST_TIMEOUT, s->status);
    SendNextControl(s);
  });
}

void Daemon::CloseChannel(Service* service) {
  if (!service->channel.valid()) return;
  loop_.Unwatch(service->channel.get());
  service->channel.Reset();
  service->connected = false;
  loop_.CancelTimer("control:" + Lower(service->name));
  // Controls that can no longer be delivered get the service's last word.
  for (const Control& control : std::exchange(service->controls, {})) {
    if (control.client != 0) Reply(control.client, ERROR_SUCCESS, service->status);
  }
  service->control_in_flight = false;
  service->acks_to_ignore = 0;
}

void Daemon::OnServiceExit(Service* service, int wait_status) {
  if (WIFSIGNALED(wait_status))
    Log("service %s (pid %d) was ended by signal %d", service->name.c_str(),
        static_cast<int>(service->pid), WTERMSIG(wait_status));
  else
    Log("service %s (pid %d) exited with status %d", service->name.c_str(),
        static_cast<int>(service->pid), WEXITSTATUS(wait_status));
  bool reported_stop = service->status.dwCurrentState == SERVICE_STOPPED;
  service->pid = -1;
  // A process that ends without having reported STOPPED ended unexpectedly.
  if (!reported_stop)
    service->status = StoppedStatus(service->status.dwServiceType, ERROR_PROCESS_ABORTED);
  CloseChannel(service);
  loop_.CancelTimer("start:" + Lower(service->name));
  for (uint64_t id : std::exchange(service->start_waiters, {}))
    Reply(id, ERROR_PROCESS_ABORTED, service->status);
  if (service->awaiting_shutdown) ShutdownStepDone(service);
  if (!done_ && service->delete_pending) FinishDeletion(service);
}

void Daemon::FinishDeletion(Service* service) {
  std::string name = service->name;
  DWORD error = DeleteServiceEntry(name);
  if (error != ERROR_SUCCESS && error != ERROR_SERVICE_DOES_NOT_EXIST)
    Log("cannot delete the key of service %s: error %u", name.c_str(), error);
  else
    Log("deleted service %s", name.c_str());
  services_.erase(Lower(name));
}

// ---- 5. Shutdown -----------------------------------------------------------------------------

void Daemon::BeginShutdown(uint64_t requester) {
  if (requester != 0) shutdown_waiters_.push_back(requester);
  if (shutting_down_) return;
  shutting_down_ = true;
  Log("shutdown: notifying services");
  NotifyShutdown(false);
}

// Services first, then (when they are done or the time-out passed) the drivers: a service's
// shutdown work (the monitor's adjustment pass) may still need the driver it runs on.
void Daemon::NotifyShutdown(bool drivers) {
  drivers_notified_ = drivers;
  for (auto& [key, service] : services_) {
    if (service->pid < 0 || service->driver != drivers) continue;
    const SERVICE_STATUS& s = service->status;
    if (service->connected && s.dwCurrentState != SERVICE_STOPPED &&
        (s.dwControlsAccepted & SERVICE_ACCEPT_SHUTDOWN) != 0) {
      service->awaiting_shutdown = true;
      service->controls.push_back({SERVICE_CONTROL_SHUTDOWN, 0});
      SendNextControl(service.get());
    } else {
      kill(service->pid, SIGTERM);
    }
  }
  loop_.SetTimer("shutdown", options_.shutdown_timeout, [this] {
    if (!drivers_notified_) {
      Log("shutdown: time-out; notifying the drivers");
      for (auto& [key, service] : services_) service->awaiting_shutdown = false;
      NotifyShutdown(true);
      return;
    }
    Log("shutdown: time-out; ending the services that are left");
    FinishShutdown();
  });
  ShutdownStepDone(nullptr);
}

void Daemon::ShutdownStepDone(Service* service) {
  if (service != nullptr) service->awaiting_shutdown = false;
  if (!shutting_down_ || done_) return;
  for (auto& [key, s] : services_) {
    if (s->awaiting_shutdown) return;
  }
  if (!drivers_notified_) {
    bool drivers_run = false;
    for (auto& [key, s] : services_) drivers_run = drivers_run || (s->driver && s->pid >= 0);
    if (drivers_run) {
      Log("shutdown: notifying drivers");
      return NotifyShutdown(true);
    }
  }
  FinishShutdown();
}

void Daemon::FinishShutdown() {
  if (done_) return;
  done_ = true;
  loop_.Stop();
  for (auto& [key, service] : services_) {
    if (service->pid < 0) continue;
    kill(service->pid, SIGKILL);
    int wait_status = 0;
    while (waitpid(service->pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    service->pid = -1;
    CloseChannel(service.get());
  }
  Log("shutdown complete");
  SERVICE_STATUS none{};
  for (uint64_t id : std::exchange(shutdown_waiters_, {})) {
    // Reply() would resume reading that client; write the answer and leave it.
    auto it = clients_.find(id);
    if (it == clients_.end()) continue;
    FrameWriter reply(MessageKind::kReply);
    SendFrame(it->second->fd.get(), reply.U32(ERROR_SUCCESS).Status(none).Bytes());
  }
}

}  // namespace pairway::scm
