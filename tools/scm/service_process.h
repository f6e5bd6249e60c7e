// service_process.h: starting a service's program.
#ifndef PAIRWAY_TOOLS_SCM_SERVICE_PROCESS_H
#define PAIRWAY_TOOLS_SCM_SERVICE_PROCESS_H

#include <sys/types.h>
#include <windows.h>

#include <string>
#include <vector>

#include "unique_fd.h"

namespace pairway::scm {

// Splits an ImagePath into the NT program path and its arguments: a quoted first word is the
// path; an unquoted ImagePath is the path as a whole when that file exists, else its first word.
// %SystemRoot% and \SystemRoot\ are left to the path mapping.
std::vector<std::string> SplitImagePath(const std::string& image_path);

struct StartedProcess {
  pid_t pid = -1;
  UniqueFd channel;  // the daemon's end of the private socketpair
};

// Starts the program of `image_path` in the current machine root, with the root's system folder
// as its working directory, the daemon's environment plus SystemRoot, PAIRWAY_ROOT and
// PAIRWAY_SCM_CHANNEL (the child's end of a socketpair, descriptor 3), standard input from
// /dev/null and no other descriptor of the daemon. Returns ERROR_SUCCESS, or
//   ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND  the program does not exist in the root
//   ERROR_ACCESS_DENIED    it exists but may not be executed
//   ERROR_BAD_EXE_FORMAT   the host cannot run it
//   ERROR_NOT_ENOUGH_MEMORY  no process or socket could be made
// Must be called from a single-threaded process: the child runs only system calls before exec.
DWORD StartServiceProcess(const std::string& image_path, StartedProcess* started);

}  // namespace pairway::scm

#endif  // PAIRWAY_TOOLS_SCM_SERVICE_PROCESS_H
