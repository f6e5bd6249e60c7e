// The client calls of the service control manager: each manager handle owns one connection to
// pairway-scm; service handles opened through it share that connection, so a manager handle may be
// closed before its service handles, as on the platform.
//
// The daemon decides what a caller may do (from its credentials); the handle's access mask is
// checked here as well, so a handle opened for query only cannot start or stop, whoever holds it.
#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "pairway/machine_root.h"
#include "pairway/service_manager.h"
#include "services/scm_wire.h"

namespace pairway::scm {
namespace {

// One connection to the daemon; requests on it are serialised.
class Connection {
 public:
  explicit Connection(int fd) : fd_(fd) {}
  ~Connection() { close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends one request and reads its reply. ERROR_SUCCESS or the daemon's error; transport
  // failures become RPC_S_SERVER_UNAVAILABLE.
  DWORD Call(FrameWriter& request, SERVICE_STATUS* status) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string body;
    if (!SendFrame(fd_, request.Bytes()) || !ReceiveFrame(fd_, &body))
      return RPC_S_SERVER_UNAVAILABLE;
    FrameReader reader(std::move(body));
    MessageKind kind{};
    uint32_t error = 0;
    SERVICE_STATUS ignored{};
    if (!reader.Kind(&kind) || kind != MessageKind::kReply || !reader.U32(&error) ||
        !reader.Status(status != nullptr ? status : &ignored) || !reader.Finish())
      return RPC_S_SERVER_UNAVAILABLE;
    return error;
  }

 private:
  std::mutex mutex_;
  const int fd_;
};

struct ScObject {
  bool manager = false;
  std::shared_ptr<Connection> connection;
  std::string name;  // the service's name; empty for a manager
  DWORD access = 0;
};

// Live handles; a pointer not in here is not a handle (closed, or never ours).
std::mutex g_handles_mutex;
std::set<ScObject*>& Handles() {
  static auto* handles = new std::set<ScObject*>;
  return *handles;
}

SC_HANDLE Publish(std::unique_ptr<ScObject> object) {
  std::lock_guard<std::mutex> lock(g_handles_mutex);
  ScObject* raw = object.release();
  Handles().insert(raw);
  return reinterpret_cast<SC_HANDLE>(raw);
}

// A copy of the handle's object (sharing its connection), or null with ERROR_INVALID_HANDLE.
std::shared_ptr<ScObject> Lookup(SC_HANDLE handle, bool want_manager) {
  std::lock_guard<std::mutex> lock(g_handles_mutex);
  auto* raw = reinterpret_cast<ScObject*>(handle);
  if (raw == nullptr || Handles().count(raw) == 0 || raw->manager != want_manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return std::make_shared<ScObject>(*raw);
}

int ConnectToDaemon(DWORD* error) {
  std::optional<std::filesystem::path> root = MachineRoot();
  std::filesystem::path dir = root ? SocketDir(*root) : std::filesystem::path();
  std::string path = dir.empty() ? std::string() : (dir / kSocketName).string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    // A root the caller may not enter hides its manager: that is a denial, not an absence.
    bool denied = root && access(root->c_str(), X_OK) != 0 && errno == EACCES;
    *error = denied ? ERROR_ACCESS_DENIED : RPC_S_SERVER_UNAVAILABLE;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return -1;
  }
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = (errno == EACCES || errno == EPERM) ? ERROR_ACCESS_DENIED : RPC_S_SERVER_UNAVAILABLE;
    close(fd);
    return -1;
  }
  return fd;
}

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

bool ValidServiceName(LPCSTR name) {
  if (name == nullptr || *name == '\0') return false;
  size_t length = std::strlen(name);
  return length <= 256 && std::strpbrk(name, "/\\") == nullptr;
}

// Sends a request that names the handle's service and copies the returned status out.
BOOL ServiceCall(const ScObject& service, FrameWriter& request, LPSERVICE_STATUS status) {
  SERVICE_STATUS reply{};
  DWORD error = service.connection->Call(request, &reply);
  if (status != nullptr && (error == ERROR_SUCCESS || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
                            error == ERROR_INVALID_SERVICE_CONTROL))
    *status = reply;
  if (error != ERROR_SUCCESS) return Fail(error);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// Sends a create or open request and, when the daemon agrees, makes the service's handle.
SC_HANDLE OpenThrough(const ScObject& manager, FrameWriter& request, const char* name,
                      DWORD access) {
  DWORD error = manager.connection->Call(request, nullptr);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  auto service = std::make_unique<ScObject>();
  service->connection = manager.connection;
  service->name = name;
  service->access = access;
  SetLastError(ERROR_SUCCESS);
  return Publish(std::move(service));
}

}  // namespace
}  // namespace pairway::scm

using pairway::scm::FrameWriter;
using pairway::scm::MessageKind;
using pairway::scm::ScObject;

extern "C" {

WINADVAPI SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                          DWORD dwDesiredAccess) {
  if (lpMachineName != nullptr && *lpMachineName != '\0') {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);  // only this machine has a manager
    return nullptr;
  }
  if (lpDatabaseName != nullptr && std::strcmp(lpDatabaseName, SERVICES_ACTIVE_DATABASEA) != 0) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  int fd = pairway::scm::ConnectToDaemon(&error);
  if (fd < 0) {
    SetLastError(error);
    return nullptr;
  }
  auto object = std::make_unique<ScObject>();
  object->manager = true;
  object->connection = std::make_shared<pairway::scm::Connection>(fd);
  object->access = dwDesiredAccess;
  FrameWriter request(MessageKind::kOpenManager);
  request.U32(dwDesiredAccess);
  error = object->connection->Call(request, nullptr);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return pairway::scm::Publish(std::move(object));
}

WINADVAPI SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName,
                                          LPCSTR lpDisplayName, DWORD dwDesiredAccess,
                                          DWORD dwServiceType, DWORD dwStartType,
                                          DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                          LPCSTR /*lpLoadOrderGroup*/, LPDWORD lpdwTagId,
                                          LPCSTR /*lpDependencies*/, LPCSTR lpServiceStartName,
                                          LPCSTR /*lpPassword*/) {
  std::shared_ptr<ScObject> manager = pairway::scm::Lookup(hSCManager, true);
  if (!manager) return nullptr;
  if ((manager->access & SC_MANAGER_CREATE_SERVICE) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // Only services of their own process run here, under the system account.
  if (!pairway::scm::ValidServiceName(lpServiceName)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  if (lpBinaryPathName == nullptr || *lpBinaryPathName == '\0' || lpdwTagId != nullptr ||
      (dwServiceType & ~SERVICE_INTERACTIVE_PROCESS) != SERVICE_WIN32_OWN_PROCESS ||
      dwStartType < SERVICE_AUTO_START || dwStartType > SERVICE_DISABLED ||
      dwErrorControl > SERVICE_ERROR_CRITICAL ||
      (lpServiceStartName != nullptr && strcasecmp(lpServiceStartName, "LocalSystem") != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  FrameWriter request(MessageKind::kCreate);
  request.Text(lpServiceName)
      .Text(lpDisplayName != nullptr ? lpDisplayName : lpServiceName)
      .U32(dwDesiredAccess)
      .U32(dwServiceType)
      .U32(dwStartType)
      .U32(dwErrorControl)
      .Text(lpBinaryPathName);
  return pairway::scm::OpenThrough(*manager, request, lpServiceName, dwDesiredAccess);
}

WINADVAPI SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName,
                                        DWORD dwDesiredAccess) {
  std::shared_ptr<ScObject> manager = pairway::scm::Lookup(hSCManager, true);
  if (!manager) return nullptr;
  if (!pairway::scm::ValidServiceName(lpServiceName)) {
    SetLastError(lpServiceName == nullptr ? ERROR_INVALID_ADDRESS : ERROR_INVALID_NAME);
    return nullptr;
  }
  FrameWriter request(MessageKind::kOpenService);
  request.Text(lpServiceName).U32(dwDesiredAccess);
  return pairway::scm::OpenThrough(*manager, request, lpServiceName, dwDesiredAccess);
}

WINADVAPI BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs,
                                    LPCSTR* lpServiceArgVectors) {
  std::shared_ptr<ScObject> service = pairway::scm::Lookup(hService, false);
  if (!service) return FALSE;
  if ((service->access & SERVICE_START) == 0) return pairway::scm::Fail(ERROR_ACCESS_DENIED);
  if (dwNumServiceArgs > pairway::scm::kMaxArgs ||
      (dwNumServiceArgs > 0 && lpServiceArgVectors == nullptr))
    return pairway::scm::Fail(ERROR_INVALID_PARAMETER);
  FrameWriter request(MessageKind::kStart);
  request.Text(service->name).U32(dwNumServiceArgs);
  for (DWORD i = 0; i < dwNumServiceArgs; ++i) {
    if (lpServiceArgVectors[i] == nullptr) return pairway::scm::Fail(ERROR_INVALID_PARAMETER);
    request.Text(lpServiceArgVectors[i]);
  }
  return pairway::scm::ServiceCall(*service, request, nullptr);
}

WINADVAPI BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl,
                                     LPSERVICE_STATUS lpServiceStatus) {
  std::shared_ptr<ScObject> service = pairway::scm::Lookup(hService, false);
  if (!service) return FALSE;
  if (lpServiceStatus == nullptr) return pairway::scm::Fail(ERROR_INVALID_ADDRESS);
  DWORD needed = 0;
  switch (dwControl) {
    case SERVICE_CONTROL_STOP:
      needed = SERVICE_STOP;
      break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:  // the platform asks the same right for a re-read
      needed = SERVICE_PAUSE_CONTINUE;
      break;
    case SERVICE_CONTROL_INTERROGATE:
      needed = SERVICE_INTERROGATE;
      break;
    default:
      // SHUTDOWN is the manager's own; codes 128-255 are the service's.
      if (dwControl < 128 || dwControl > 255) return pairway::scm::Fail(ERROR_INVALID_PARAMETER);
      needed = SERVICE_USER_DEFINED_CONTROL;
  }
  if ((service->access & needed) == 0) return pairway::scm::Fail(ERROR_ACCESS_DENIED);
  FrameWriter request(MessageKind::kControl);
  request.Text(service->name).U32(dwControl);
  return pairway::scm::ServiceCall(*service, request, lpServiceStatus);
}

WINADVAPI BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  std::shared_ptr<ScObject> service = pairway::scm::Lookup(hService, false);
  if (!service) return FALSE;
  if (lpServiceStatus == nullptr) return pairway::scm::Fail(ERROR_INVALID_ADDRESS);
  if ((service->access & SERVICE_QUERY_STATUS) == 0) return pairway::scm::Fail(ERROR_ACCESS_DENIED);
  FrameWriter request(MessageKind::kQuery);
  request.Text(service->name);
  return pairway::scm::ServiceCall(*service, request, lpServiceStatus);
}

WINADVAPI BOOL WINAPI DeleteService(SC_HANDLE hService) {
  std::shared_ptr<ScObject> service = pairway::scm::Lookup(hService, false);
  if (!service) return FALSE;
  if ((service->access & DELETE) == 0) return pairway::scm::Fail(ERROR_ACCESS_DENIED);
  FrameWriter request(MessageKind::kDelete);
  request.Text(service->name);
  return pairway::scm::ServiceCall(*service, request, nullptr);
}

WINADVAPI BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  std::lock_guard<std::mutex> lock(pairway::scm::g_handles_mutex);
  auto* raw = reinterpret_cast<ScObject*>(hSCObject);
  if (raw == nullptr || pairway::scm::Handles().erase(raw) == 0)
    return pairway::scm::Fail(ERROR_INVALID_HANDLE);
  delete raw;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // extern "C"

namespace pairway {

BOOL RequestServiceManagerShutdown(SC_HANDLE manager_handle) {
  std::shared_ptr<scm::ScObject> manager = scm::Lookup(manager_handle, true);
  if (!manager) return FALSE;
  if ((manager->access & SC_MANAGER_ALL_ACCESS) != SC_MANAGER_ALL_ACCESS)
    return scm::Fail(ERROR_ACCESS_DENIED);
  FrameWriter request(MessageKind::kShutdown);
  DWORD error = manager->connection->Call(request, nullptr);
  if (error != ERROR_SUCCESS) return scm::Fail(error);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace pairway
