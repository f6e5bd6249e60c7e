// host_nic.h: NIC ports served from a Linux network interface instead of an emulated state.
//
// `pairway-netsetup add-card --interface IF` records IF in the port's driver parameters; the
// driver stand-in then answers the port's NDIS queries from that interface as the kernel sees it
// now, in the network namespace of the calling thread (docs/linux-nic.md has the mapping).
#ifndef PAIRWAY_HOST_NIC_H
#define PAIRWAY_HOST_NIC_H

#include <string>
#include <string_view>

#include "pairway/api.h"
#include "windef.h"

namespace pairway {

// The driver parameter (SYSTEM\CurrentControlSet\Services\<service>\Parameters) that names the
// Linux interface a port is served from.
inline constexpr char kHostInterfaceValue[] = "HostInterface";

// The interface port `service` is served from, read from the current root's registry.
// ERROR_FILE_NOT_FOUND when the port has none (an emulated port, or no such port);
// *interface is untouched then.
PAIRWAY_API DWORD HostInterfaceOfService(std::string_view service, std::string* interface);

// The interface's figures now, in the calling thread's network namespace, as "field=value"
// lines: interface, driver, the counters by their NDIS names, permanent-address,
// current-address, multicast, multicast-max, driver-version, link, speed (Mbit/s), duplex,
// vendor-id, adapter-info. A figure the port does not answer reads "not-supported" (or
// "unknown" for the driver, speed and duplex, which no query carries). ERROR_FILE_NOT_FOUND
// when there is no such interface; ERROR_GEN_FAILURE when the kernel cannot be asked.
PAIRWAY_API DWORD ShowHostNic(std::string_view interface, std::string* text);

}  // namespace pairway

#endif  // PAIRWAY_HOST_NIC_H
