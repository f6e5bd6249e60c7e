// registry_ports.h: the TREVAN ports' driver parameters, read from the current root's registry.
//
// A port is a card of the card list whose "ProductName" is "TREVAN" (exactly) and whose
// "ServiceName" is "TREVAN" followed by its card number; a card that claims the product but
// breaks the naming rule is rejected with the reason. Values are read whatever their size (the
// configuration library's 64-byte limit is its own); a DWORD value of another type or size
// counts as missing.
#ifndef PAIRWAY_DRIVER_REGISTRY_PORTS_H
#define PAIRWAY_DRIVER_REGISTRY_PORTS_H

#include <vector>

#include "failover_state.h"
#include "group_model.h"

namespace pairway::driver {

struct PortsRead {
  std::vector<PortParams> ports;       // by card number
  std::vector<RejectedPort> rejected;  // cards that are no usable port
};

PortsRead ReadTrevanPorts();

}  // namespace pairway::driver

#endif  // PAIRWAY_DRIVER_REGISTRY_PORTS_H
