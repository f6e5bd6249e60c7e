// nic_state_store.h: the layer's own access to the emulated ports' state, beside the public
// calls of pairway/nic_state.h.
#ifndef PAIRWAY_DEVICES_NIC_STATE_STORE_H
#define PAIRWAY_DEVICES_NIC_STATE_STORE_H

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pairway/nic_state.h"

namespace pairway {

// The port's state as ReadNicState gives it, without a copy: the device answers a query from
// it. Null with *status ERROR_INVALID_NAME, ERROR_FILE_NOT_FOUND or ERROR_INVALID_DATA. The
// object never changes; a later write makes a new one.
std::shared_ptr<const NicState> LoadNicState(const std::filesystem::path& root,
                                             std::string_view service, DWORD* status);

// ListNicPorts without a copy.
std::shared_ptr<const std::vector<std::string>> LoadNicPorts(const std::filesystem::path& root);

// The text of a state file, and its parse (false for a line that is not a known field with a
// good value: the file is damaged).
std::string NicStateFileText(const NicState& state);
bool ParseNicStateFile(std::string_view text, NicState* state);

}  // namespace pairway

#endif  // PAIRWAY_DEVICES_NIC_STATE_STORE_H
