// machine_root.h: where "the machine" lives on the host, and how NT paths map into it.
//
// A machine root is one host directory, named by the environment variable PAIRWAY_ROOT, that
// holds everything the hosted system sees as its machine:
//
//   registry.db        the registry hive (SQLite, WAL)
//   machine.conf       settings of the machine, "key=value" lines ("os=win95" or "os=nt4")
//   drive_c/           drive C: (drive_d/ for D: and so on); the Windows directory is
//                      drive_c/WINNT (drive_c/WINDOWS on Windows 95), the system directory
//                      drive_c/WINNT/System32 (drive_c/WINDOWS/SYSTEM)
//   run/               run-time state: sockets, DOS device names, pid files
//
// Nothing of the layer writes outside the root, with one exception: a Unix socket path must stay
// under 108 bytes, so where the run folder is too deep, sockets go into a mode-0700 folder
// /tmp/pairway-<uid>-<hash of the root path> (SocketDir).
//
// These calls are for the layer and for Pairway's own tools; the hosted system never sees them.
// They are safe to call from any thread. PAIRWAY_ROOT is read on every call, so a process (a test)
// may switch roots by changing it.
#ifndef PAIRWAY_MACHINE_ROOT_H
#define PAIRWAY_MACHINE_ROOT_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "pairway/api.h"
#include "windef.h"

namespace pairway {

enum class OsFlavor { kWindowsNt4, kWindows95 };

// The root named by PAIRWAY_ROOT, made absolute; nullopt when the variable is unset or empty.
PAIRWAY_API std::optional<std::filesystem::path> MachineRoot();

// The same, or exits the process with status kNoMachineRootExitCode and a message on stderr
// that says how to choose a root. For tools only.
inline constexpr int kNoMachineRootExitCode = 2;
PAIRWAY_API std::filesystem::path MachineRootOrExit(const char* program);

PAIRWAY_API std::filesystem::path HivePath(const std::filesystem::path& root);
PAIRWAY_API std::filesystem::path RunDir(const std::filesystem::path& root);
// Created on demand (0700 when it is the /tmp fallback); an empty path when it cannot be made,
// or when the fallback exists but is not a private folder of ours (a link, another owner, open
// permissions): sockets never go where another user could reach them.
PAIRWAY_API std::filesystem::path SocketDir(const std::filesystem::path& root);
PAIRWAY_API std::filesystem::path DriveDir(const std::filesystem::path& root, char drive_letter);

// The value of `key` (case-insensitive) in the root's machine.conf, blanks trimmed; the last
// line for a key wins. Lines starting with '#' are comments. nullopt when not set.
PAIRWAY_API std::optional<std::string> RootSetting(const std::filesystem::path& root,
                                                   std::string_view key);

// What machine.conf says the root is; Windows NT 4.0 when it says nothing.
PAIRWAY_API OsFlavor RootOsFlavor(const std::filesystem::path& root);
// The flavour of the current root; Windows NT 4.0 when no root is set.
PAIRWAY_API OsFlavor CurrentOsFlavor();

// "C:\WINNT" / "C:\WINNT\System32" (or the Windows 95 forms) for the given flavour.
PAIRWAY_API std::string WindowsDirectoryNt(OsFlavor flavor);
PAIRWAY_API std::string SystemDirectoryNt(OsFlavor flavor);

// Maps an NT path into the current root.
//   "C:\WINNT\System32\lodctr.exe"   drive C: of the root
//   "\portwarden.dbg"                the root of the current drive (C:)
//   "%SystemRoot%\x", "\SystemRoot\x"  the Windows directory
//   "relative\name"                  relative to the process's NT current directory: the host
//                                    current directory when it lies in a drive of the root,
//                                    otherwise the root of C:
// '/' and '\' both separate; "." and ".." are resolved textually. Each component that names an
// existing entry is matched case-insensitively (the first match in directory order wins); the
// rest keep their spelling. Returns ERROR_SUCCESS and sets *host, or:
//   ERROR_PATH_NOT_FOUND  no root is set, or the path would leave the root ("..")
//   ERROR_INVALID_NAME    empty path, UNC and device paths ("\\server\x", "\\.\X"), bad drive
PAIRWAY_API DWORD MapNtPath(std::string_view nt_path, std::filesystem::path* host);

// The NT path of a host path inside a drive of the current root; nullopt elsewhere.
PAIRWAY_API std::optional<std::string> HostToNtPath(const std::filesystem::path& host);

}  // namespace pairway

#endif  // PAIRWAY_MACHINE_ROOT_H
