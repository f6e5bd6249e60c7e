// service_manager.h: the service control manager's calls beyond the platform's own, for Pairway's
// tools (pairway-sc, pairwayctl, pairway-netsetup). The hosted system never sees them.
#ifndef PAIRWAY_SERVICE_MANAGER_H
#define PAIRWAY_SERVICE_MANAGER_H

#include <winsvc.h>

#include "pairway/api.h"

namespace pairway {

// Asks the daemon behind `manager` for its shutdown sequence (SERVICE_CONTROL_SHUTDOWN to every
// service that accepts it, the wait, the end of the rest) and returns once the sequence has ended
// and the daemon is about to exit. FALSE with ERROR_INVALID_HANDLE for a handle that is not a
// manager's, ERROR_ACCESS_DENIED for a caller without full access or a handle opened without
// SC_MANAGER_ALL_ACCESS, RPC_S_SERVER_UNAVAILABLE when the daemon went away without answering.
PAIRWAY_API BOOL RequestServiceManagerShutdown(SC_HANDLE manager);

// What became of telling a service that its parameters changed.
enum class ParamChange {
  kSent,        // the service's handler took SERVICE_CONTROL_PARAMCHANGE
  kNoManager,   // no service control manager runs for the machine root (1722)
  kNoService,   // the service is not installed (1060)
  kNotRunning,  // it is stopped, or stopped while we waited for its start to end (1062)
  kFailed,      // anything else: *error holds the code (1052: it does not accept the control)
};

// Sends SERVICE_CONTROL_PARAMCHANGE to service `name` through the manager of this process's
// machine root, as a setup program does after it changed what the service reads at its start.
// A service that is starting or stopping (1061) is waited for, about 5 s at most, and then told
// or, once stopped, left alone: a service that reads its parameters at its start must not miss a
// change written while it was reading them. kNoManager, kNoService and kNotRunning are no fault
// of the caller's: a service that does not run reads the change when it starts. *error (may be
// null) gets the platform's code of the last call, ERROR_SUCCESS for kSent.
PAIRWAY_API ParamChange SendParamChange(const char* name, DWORD* error);

}  // namespace pairway

#endif  // PAIRWAY_SERVICE_MANAGER_H
