// service_manager.h: the service control manager's calls beyond the platform's own, for Pairway's
// tools (pairway-sc). The hosted system never sees them.
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

}  // namespace pairway

#endif  // PAIRWAY_SERVICE_MANAGER_H
