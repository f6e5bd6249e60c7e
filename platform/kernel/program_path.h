// program_path.h: where the running program lives, as the module and process calls see it.
#ifndef PAIRWAY_KERNEL_PROGRAM_PATH_H
#define PAIRWAY_KERNEL_PROGRAM_PATH_H

#include <filesystem>

namespace pairway {

// The host path the program was started by: the name given to exec, made absolute, so that a
// program started through a link in the root's system directory is seen there (as the platform
// would see C:\WINNT\System32\x.exe), not where the link points.
std::filesystem::path ProgramPath();

}  // namespace pairway

#endif  // PAIRWAY_KERNEL_PROGRAM_PATH_H
