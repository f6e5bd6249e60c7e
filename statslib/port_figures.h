// port_figures.h: one port's traffic figures and link state, asked of the NIC driver through the
// port's device, as every reader of the driver asks.
#ifndef PAIRWAY_STATSLIB_PORT_FIGURES_H
#define PAIRWAY_STATSLIB_PORT_FIGURES_H

#include <windows.h>

#include <cstdint>
#include <string>

namespace standbyag {

enum class PortFigure {
  kBytesSent,      // directed, multicast and broadcast bytes sent
  kBytesReceived,  // directed, multicast and broadcast bytes received
  kLinkUp,         // 1 while the port has a link, else 0
};

// Reads `figure` of the port whose driver instance is `service` (TREVAN3) into *value. False,
// with *value untouched, when the name is empty, too long or not a plain name, or the port's
// device does not open or fails a query.
bool ReadPortFigure(const std::string& service, PortFigure figure, uint64_t* value);

}  // namespace standbyag

#endif  // PAIRWAY_STATSLIB_PORT_FIGURES_H
