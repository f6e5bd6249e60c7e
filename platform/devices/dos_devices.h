// dos_devices.h: the MS-DOS device names of a root, for CreateFileA on "\\.\NAME".
#ifndef PAIRWAY_DEVICES_DOS_DEVICES_H
#define PAIRWAY_DEVICES_DOS_DEVICES_H

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pairway {

// The targets of `name`, newest first; empty when the name is not defined or not valid.
std::vector<std::string> DosDeviceTargets(const std::filesystem::path& root, std::string_view name);

}  // namespace pairway

#endif  // PAIRWAY_DEVICES_DOS_DEVICES_H
