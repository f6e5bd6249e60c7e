// nic_state.h: the emulated NIC ports of a machine root, as the driver stand-in sees them.
//
// Each port of the emulated multi-port card has one state file, <root>/nic/<SERVICE>.state
// (SERVICE is the port's driver instance, TREVAN1, TREVAN2, ...). A device opened on the port
// (CreateFileA on "\\.\TREVAN1") answers every query from the state as it is at that moment, so
// a change made through this API or `pairway-netsetup nic` shows in the very next answer, in
// every process of the root.
//
// The file holds the same "field=value" lines that SetNicField takes and ShowNicState prints;
// callers go through these functions, never through the file. Fields:
//   OID_GEN_XMIT_OK=5 ...          the 64-bit statistics, by their NDIS names (NicCounterNames)
//   permanent-address=00A0C9123456 current-address=...
//   multicast=01005E000001,01005E000002   (empty for none)    multicast-max=N
//   driver-version=0x0302          link=up|down               vendor-id=023C7A
//   adapter-info=MODE,TEXT[,PAIR1,PAIR2,A,B,C] | none   (the driver's own adapter record)
//   silent=0|1                     the port's driver answers no query at all
//   traffic=on|off                 the counters count up on their own while on
//
// SHARING. Any number of processes read and write the ports of one root at once. A write
// replaces the file whole under the lock of the root's NIC folder: a reader sees the state
// before or after it, never a mix, and a process killed during a write leaves one of the two.
// A process keeps the states it has read and knows from change counters shared through
// <root>/run/nic-state.changes whether a write came since, so reading a port that did not change
// costs well under a microsecond; reading one that changed reads and parses its file (about ten
// microseconds). A file changed by hand, bypassing these calls, is seen by the processes that
// had not kept its port and by every process after the port's next write through them.
//
// Calls return ERROR_SUCCESS or a platform error code; out-parameters are untouched on failure.
// Safe from any thread.
#ifndef PAIRWAY_NIC_STATE_H
#define PAIRWAY_NIC_STATE_H

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pairway/api.h"
#include "windef.h"

namespace pairway {

// The driver's own object identifier: its 88-byte adapter information record (NicAdapterInfo).
inline constexpr DWORD kOidAdapterInformation = 0xFF010101;
// Control codes of the Windows 95 virtual device "\\.\NICIOVX.VXD". Input: two 32-bit values.
inline constexpr DWORD kVxdQueryOid = 1;      // (OID, adapter number) -> the OID's reply
inline constexpr DWORD kVxdAdapterCount = 2;  // (0, 0) -> 4-byte number of adapters
inline constexpr size_t kAdapterInfoSize = 88;

using MacAddress = std::array<uint8_t, 6>;

// The driver's adapter information record. On the wire (little-endian): pair1 @0, pair2 @4,
// reserved @8, mode @12, text @16 (60 bytes, zero-terminated), value_a @76, value_b @80,
// value_c @84.
struct NicAdapterInfo {
  uint32_t mode = 1;
  std::string text;  // at most 59 characters
  uint32_t pair1 = 0;
  uint32_t pair2 = 0;
  uint32_t value_a = 0;
  uint32_t value_b = 0;
  uint32_t value_c = 0;
};

struct NicState {
  std::map<DWORD, uint64_t> counters;  // by OID; a counter not listed is 0
  MacAddress permanent_address{};
  MacAddress current_address{};
  std::vector<MacAddress> multicast;
  uint32_t multicast_max = 32;
  uint16_t driver_version = 0x0302;  // major in the high byte
  bool link_up = true;
  std::optional<NicAdapterInfo> adapter_info;  // none: the driver gives no information
  std::array<uint8_t, 3> vendor_id{0x02, 0x3C, 0x7A};
  bool silent = false;
  bool traffic = false;
  int64_t traffic_since_ms = 0;  // wall clock when traffic was last switched on or folded in
};

// A port as a new card brings it: addresses 00A0C9 + instance, the maker's vendor identifier,
// an adapter information record, no multicast addresses, counters at zero.
PAIRWAY_API NicState DefaultNicState(int instance);

// The NDIS names of the counters a port keeps, with their OIDs, in OID order.
PAIRWAY_API const std::vector<std::pair<std::string, DWORD>>& NicCounterNames();

// The counter's value now: the stored value plus, while traffic is on, what the simulated
// traffic added since it was switched on.
PAIRWAY_API uint64_t NicCounter(const NicState& state, DWORD oid);

// Applies one "field=value"; ERROR_INVALID_PARAMETER with a one-line reason in *error for an
// unknown field or a bad value (the state is then unchanged).
PAIRWAY_API DWORD SetNicField(NicState* state, std::string_view assignment, std::string* error);

// Every field, one "field=value" line each, counters at their current values.
PAIRWAY_API std::string ShowNicState(const NicState& state);

// State files of the root. Service names are the port's driver instance: letters and digits
// only, compared without regard to case (ERROR_INVALID_NAME otherwise).
//
// ReadNicState: the port's state now. ERROR_FILE_NOT_FOUND when the port has no state file;
// ERROR_INVALID_DATA when the file is damaged (a line that is not a field with a good value):
// the file is reported, never repaired or replaced by a default.
PAIRWAY_API DWORD ReadNicState(const std::filesystem::path& root, std::string_view service,
                               NicState* state);
// WriteNicState: replaces the port's state whole (making the file and the NIC folder when
// missing). ERROR_WRITE_FAULT when the file cannot be written (it is then as it was);
// ERROR_ACCESS_DENIED when this process may not raise the root's change counters (another user
// made them), with nothing written.
PAIRWAY_API DWORD WriteNicState(const std::filesystem::path& root, std::string_view service,
                                const NicState& state);
// Reads the port's state from its file (a port with no state file starts as DefaultNicState of
// its instance), lets `change` edit it and writes it back unless `change` returns an error, all
// under one lock of the root's NIC folder: two updates at once both land, neither overwrites the
// other, and a reader sees all of one update's fields or none. Returns `change`'s error or
// ReadNicState's / WriteNicState's; on error the file is unchanged (a damaged one is kept).
PAIRWAY_API DWORD UpdateNicState(const std::filesystem::path& root, std::string_view service,
                                 const std::function<DWORD(NicState*)>& change);
// Removes the port's state file: its device answers no more queries. ERROR_FILE_NOT_FOUND when
// it has none.
PAIRWAY_API DWORD RemoveNicState(const std::filesystem::path& root, std::string_view service);

// The service names that have a state file, in port order: by the number after the letters,
// then by name (TREVAN2 before TREVAN10).
PAIRWAY_API std::vector<std::string> ListNicPorts(const std::filesystem::path& root);

// The "ServiceName" of network card `card` in the current root's registry
// (SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards\<card>); ERROR_FILE_NOT_FOUND
// when the card or its value is missing.
PAIRWAY_API DWORD ServiceNameOfCard(int card, std::string* service);

}  // namespace pairway

#endif  // PAIRWAY_NIC_STATE_H
