// SendParamChange: a setup program tells a running service that its parameters changed.
#include <unistd.h>
#include <windows.h>

#include "pairway/service_manager.h"

namespace pairway {
namespace {

// Closes a manager or service handle when it goes.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

ParamChange Outcome(DWORD code, DWORD* error) {
  if (error != nullptr) *error = code;
  switch (code) {
    case ERROR_SUCCESS:
      return ParamChange::kSent;
    case RPC_S_SERVER_UNAVAILABLE:
      return ParamChange::kNoManager;
    case ERROR_SERVICE_DOES_NOT_EXIST:
      return ParamChange::kNoService;
    case ERROR_SERVICE_NOT_ACTIVE:
      return ParamChange::kNotRunning;
    default:
      return ParamChange::kFailed;
  }
}

// How long a service that is between states is waited for, and how often it is asked again.
constexpr int kPendingWaitMs = 5000;
constexpr int kPendingPollMs = 50;

}  // namespace

PAIRWAY_API ParamChange SendParamChange(const char* name, DWORD* error) {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) return Outcome(GetLastError(), error);
  ScHandle service(
      OpenServiceA(manager.get(), name, SERVICE_PAUSE_CONTINUE | SERVICE_QUERY_STATUS));
  if (service.get() == nullptr) return Outcome(GetLastError(), error);
  SERVICE_STATUS status{};
  // A stopped service is not disturbed: it reads its parameters when it starts.
  if (!QueryServiceStatus(service.get(), &status)) return Outcome(GetLastError(), error);
  if (status.dwCurrentState == SERVICE_STOPPED) return Outcome(ERROR_SERVICE_NOT_ACTIVE, error);
  for (int waited = 0;; waited += kPendingPollMs) {
    if (ControlService(service.get(), SERVICE_CONTROL_PARAMCHANGE, &status)) {
      return Outcome(ERROR_SUCCESS, error);
    }
    DWORD code = GetLastError();
    if (code != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return Outcome(code, error);
    // Starting: it may have read its parameters before this change; stopping: it reads them
    // afresh at its next start. Either way the state it settles in decides.
    if (waited >= kPendingWaitMs) return Outcome(code, error);
    usleep(kPendingPollMs * 1000);
  }
}

}  // namespace pairway
