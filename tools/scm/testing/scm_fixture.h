// scm_fixture.h: a pairway-scm daemon for one test, on the test's TempRoot.
#ifndef PAIRWAY_TOOLS_SCM_TESTING_SCM_FIXTURE_H
#define PAIRWAY_TOOLS_SCM_TESTING_SCM_FIXTURE_H

#include <sys/types.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "temp_root.h"

namespace pairway::testing {

// Starts build/bin/pairway-scm --foreground with `args` on the current root and returns once it
// printed its ready line (ok() false when it exited instead). The destructor sends SIGTERM and
// waits for the daemon's exit.
class ScmDaemon {
 public:
  explicit ScmDaemon(const std::vector<std::string>& args = {});
  ~ScmDaemon();
  ScmDaemon(const ScmDaemon&) = delete;
  ScmDaemon& operator=(const ScmDaemon&) = delete;

  bool ok() const { return ready_; }
  // Sends SIGTERM (as systemd at shutdown) and returns Wait().
  int Stop();
  // Waits for the daemon's exit and returns its exit status (-1 when it was ended by a signal).
  int Wait();

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
  int exit_status_ = -1;
};

// Installs the test service in the root's system folder as tsvc.exe and creates `name` for it
// with ImagePath "C:\WINNT\System32\tsvc.exe MODE". Returns the CreateServiceA error.
DWORD CreateTestService(const TempRoot& root, const std::string& name, const std::string& mode,
                        DWORD start_type = SERVICE_DEMAND_START);

// The lines the test service of `name` recorded so far.
std::vector<std::string> ServiceEvents(const TempRoot& root, const std::string& name);

// Polls `condition` every 10 ms until it holds (true) or about 10 s passed (false). For states
// that another process reaches in its own time; never a measure of speed.
bool WaitFor(const std::function<bool()>& condition);

// The pid the test service of `name` recorded when its main began; -1 when it did not.
pid_t ServicePid(const TempRoot& root, const std::string& name);

// The current state of `name`, 0 when it cannot be queried.
DWORD ServiceState(const std::string& name);

}  // namespace pairway::testing

#endif  // PAIRWAY_TOOLS_SCM_TESTING_SCM_FIXTURE_H
