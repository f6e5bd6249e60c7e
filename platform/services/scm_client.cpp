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
    std::string body;
    if (!Exchange(request, &body)) return RPC_S_SERVER_UNAVAILABLE;
    FrameReader reader(std::move(body));
    MessageKind kind{};
    uint32_t error = 0;
    SERVICE_STATUS ignored{};
    if (!reader.Kind(&kind) || kind != MessageKind::kReply || !reader.U32(&error) ||
        !reader.Status(status != nullptr ? status : &ignored) || !reader.Finish())
      return RPC_S_SERVER_UNAVAILABLE;
    return error;
  }

  // Sends one request and returns the body of its reply, whatever its kind; false when the
  // daemon cannot be reached.
  bool Exchange(FrameWriter& request, std::string* body) {
    std::lock_guard<std::mutex> lock(mutex_);
    return SendFrame(fd_, request.Bytes()) && ReceiveFrame(fd_, body);
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

// One service of an enumeration, as the daemon sent it.
struct ListedService {
  std::string name;
  std::string display_name;
  SERVICE_STATUS status{};
  DWORD pid = 0;
};

// The services of the type and state masks, fetched page by page. ERROR_SUCCESS or the error.
DWORD FetchServices(const ScObject& manager, DWORD types, DWORD states,
                    std::vector<ListedService>* services) {
  services->clear();
  for (;;) {
    FrameWriter request(MessageKind::kEnumerate);
    request.U32(types).U32(states).U32(static_cast<uint32_t>(services->size()));
    std::string body;
    if (!manager.connection->Exchange(request, &body)) return RPC_S_SERVER_UNAVAILABLE;
    FrameReader reader(std::move(body));
    MessageKind kind{};
    uint32_t error = 0, total = 0;
    if (!reader.Kind(&kind) || kind != MessageKind::kEnumReply || !reader.U32(&error) ||
        !reader.U32(&total))
      return RPC_S_SERVER_UNAVAILABLE;
    if (error != ERROR_SUCCESS) return reader.Finish() ? error : RPC_S_SERVER_UNAVAILABLE;
    size_t before = services->size();
    while (!reader.Finish()) {
      ListedService& entry = services->emplace_back();
      uint32_t pid = 0;
      if (!reader.Text(&entry.name) || !reader.Text(&entry.display_name) ||
          !reader.Status(&entry.status) || !reader.U32(&pid))
        return RPC_S_SERVER_UNAVAILABLE;
      entry.pid = pid;
    }
    // A page without entries ends it too: services deleted meanwhile shrink the total.
    if (services->size() == before || services->size() >= total) return ERROR_SUCCESS;
  }
}

// Copies the listed services from *resume on into the caller's buffer: the array of `Entry`
// first, the names packed after it, as many entries as fit. Fills in the counts as
// EnumServicesStatusA describes them.
template <typename Entry, typename Fill>
BOOL PackServices(const std::vector<ListedService>& services, LPBYTE buffer, DWORD size,
                  LPDWORD needed, LPDWORD returned, LPDWORD resume, Fill fill) {
  size_t first = resume != nullptr ? *resume : 0;
  if (first > services.size()) first = services.size();
  if (buffer == nullptr) size = 0;
  auto bytes_of = [](const ListedService& entry) {
    return sizeof(Entry) + entry.name.size() + 1 + entry.display_name.size() + 1;
  };
  size_t fitting = first, used = 0;
  while (fitting < services.size() && used + bytes_of(services[fitting]) <= size)
    used += bytes_of(services[fitting++]);
  auto* entries = reinterpret_cast<Entry*>(buffer);
  char* text = reinterpret_cast<char*>(buffer) + (fitting - first) * sizeof(Entry);
  for (size_t i = first; i < fitting; ++i) {
    Entry& entry = entries[i - first];
    const ListedService& listed = services[i];
    entry.lpServiceName = text;
    std::memcpy(text, listed.name.c_str(), listed.name.size() + 1);
    text += listed.name.size() + 1;
    entry.lpDisplayName = text;
    std::memcpy(text, listed.display_name.c_str(), listed.display_name.size() + 1);
    text += listed.display_name.size() + 1;
    fill(listed, &entry);
  }
  *returned = static_cast<DWORD>(fitting - first);
  size_t rest = 0;
  for (size_t i = fitting; i < services.size(); ++i) rest += bytes_of(services[i]);
  *needed = static_cast<DWORD>(rest);
  if (fitting < services.size()) {
    if (resume != nullptr) *resume = static_cast<DWORD>(fitting);
    return Fail(ERROR_MORE_DATA);
  }
  if (resume != nullptr) *resume = 0;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// The checks and the fetch both enumerations share; false with the last error set on failure.
bool EnumerateFor(SC_HANDLE handle, DWORD types, DWORD states, LPDWORD needed, LPDWORD returned,
                  std::vector<ListedService>* services) {
  std::shared_ptr<ScObject> manager = Lookup(handle, true);
  if (!manager) return false;
  if (needed == nullptr || returned == nullptr) return Fail(ERROR_INVALID_ADDRESS);
  if ((manager->access & SC_MANAGER_ENUMERATE_SERVICE) == 0) return Fail(ERROR_ACCESS_DENIED);
  if (types == 0 || (types & ~static_cast<DWORD>(SERVICE_TYPE_ALL)) != 0 || states == 0 ||
      (states & ~static_cast<DWORD>(SERVICE_STATE_ALL)) != 0)
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD error = FetchServices(*manager, types, states, services);
  if (error != ERROR_SUCCESS) return Fail(error);
  return true;
}

void CopyStatus(const SERVICE_STATUS& from, DWORD pid, SERVICE_STATUS_PROCESS* to) {
  to->dwServiceType = from.dwServiceType;
  to->dwCurrentState = from.dwCurrentState;
  to->dwControlsAccepted = from.dwControlsAccepted;
  to->dwWin32ExitCode = from.dwWin32ExitCode;
  to->dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
  to->dwCheckPoint = from.dwCheckPoint;
  to->dwWaitHint = from.dwWaitHint;
  to->dwProcessId = pid;
  to->dwServiceFlags = 0;  // every service has a process of its own
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

WINADVAPI BOOL WINAPI QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel,
                                           LPBYTE lpBuffer, DWORD cbBufSize,
                                           LPDWORD pcbBytesNeeded) {
  std::shared_ptr<ScObject> service = pairway::scm::Lookup(hService, false);
  if (!service) return FALSE;
  if (InfoLevel != SC_STATUS_PROCESS_INFO) return pairway::scm::Fail(ERROR_INVALID_LEVEL);
  if (pcbBytesNeeded == nullptr) return pairway::scm::Fail(ERROR_INVALID_ADDRESS);
  if ((service->access & SERVICE_QUERY_STATUS) == 0) return pairway::scm::Fail(ERROR_ACCESS_DENIED);
  *pcbBytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
  if (lpBuffer == nullptr || cbBufSize < sizeof(SERVICE_STATUS_PROCESS))
    return pairway::scm::Fail(ERROR_INSUFFICIENT_BUFFER);
  FrameWriter request(MessageKind::kQueryEx);
  request.Text(service->name);
  std::string body;
  if (!service->connection->Exchange(request, &body))
    return pairway::scm::Fail(RPC_S_SERVER_UNAVAILABLE);
  pairway::scm::FrameReader reader(std::move(body));
  MessageKind kind{};
  uint32_t error = 0, pid = 0;
  SERVICE_STATUS status{};
  if (!reader.Kind(&kind) || kind != MessageKind::kReplyEx || !reader.U32(&error) ||
      !reader.Status(&status) || !reader.U32(&pid) || !reader.Finish())
    return pairway::scm::Fail(RPC_S_SERVER_UNAVAILABLE);
  if (error != ERROR_SUCCESS) return pairway::scm::Fail(error);
  SERVICE_STATUS_PROCESS out{};
  pairway::scm::CopyStatus(status, pid, &out);
  std::memcpy(lpBuffer, &out, sizeof out);  // the caller's buffer need not be aligned
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

WINADVAPI BOOL WINAPI EnumServicesStatusA(SC_HANDLE hSCManager, DWORD dwServiceType,
                                          DWORD dwServiceState, LPENUM_SERVICE_STATUSA lpServices,
                                          DWORD cbBufSize, LPDWORD pcbBytesNeeded,
                                          LPDWORD lpServicesReturned, LPDWORD lpResumeHandle) {
  std::vector<pairway::scm::ListedService> services;
  if (!pairway::scm::EnumerateFor(hSCManager, dwServiceType, dwServiceState, pcbBytesNeeded,
                                  lpServicesReturned, &services))
    return FALSE;
  return pairway::scm::PackServices<ENUM_SERVICE_STATUSA>(
      services, reinterpret_cast<LPBYTE>(lpServices), cbBufSize, pcbBytesNeeded, lpServicesReturned,
      lpResumeHandle, [](const pairway::scm::ListedService& listed, ENUM_SERVICE_STATUSA* entry) {
        entry->ServiceStatus = listed.status;
      });
}

WINADVAPI BOOL WINAPI EnumServicesStatusExA(SC_HANDLE hSCManager, SC_ENUM_TYPE InfoLevel,
                                            DWORD dwServiceType, DWORD dwServiceState,
                                            LPBYTE lpServices, DWORD cbBufSize,
                                            LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned,
                                            LPDWORD lpResumeHandle, LPCSTR pszGroupName) {
  if (InfoLevel != SC_ENUM_PROCESS_INFO) return pairway::scm::Fail(ERROR_INVALID_LEVEL);
  std::vector<pairway::scm::ListedService> services;
  if (!pairway::scm::EnumerateFor(hSCManager, dwServiceType, dwServiceState, pcbBytesNeeded,
                                  lpServicesReturned, &services))
    return FALSE;
  // No service belongs to a load-order group: a group that is named has no services.
  if (pszGroupName != nullptr && *pszGroupName != '\0')
    return pairway::scm::Fail(ERROR_SERVICE_DOES_NOT_EXIST);
  return pairway::scm::PackServices<ENUM_SERVICE_STATUS_PROCESSA>(
      services, lpServices, cbBufSize, pcbBytesNeeded, lpServicesReturned, lpResumeHandle,
      [](const pairway::scm::ListedService& listed, ENUM_SERVICE_STATUS_PROCESSA* entry) {
        pairway::scm::CopyStatus(listed.status, listed.pid, &entry->ServiceStatusProcess);
      });
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
