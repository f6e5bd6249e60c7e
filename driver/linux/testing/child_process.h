// child_process.h: a program a test starts (in a namespace, through `ip netns exec`), reads
// the lines of, signals and waits for. Destroying the object kills a child still running and
// waits for it, so no test leaves one behind.
#ifndef PAIRWAY_DRIVER_LINUX_TESTING_CHILD_PROCESS_H
#define PAIRWAY_DRIVER_LINUX_TESTING_CHILD_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pairway::testing {

class ChildProcess {
 public:
  // Runs `argv` (argv[0] looked up in PATH) with its standard output on a pipe to this object;
  // standard error is the test's.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool ok() const { return pid_ > 0; }

  // The next line that starts with `prefix` (lines before it are skipped), or "" when the
  // child ended or `timeout` passed first.
  std::string WaitForLine(const std::string& prefix, std::chrono::milliseconds timeout);

  void Signal(int signal) const;
  // Waits for the child to end; its exit status as waitpid gives it.
  int Wait();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;  // read but not yet returned
};

// A program built beside the running test binary.
std::string BesideThisTest(const std::string& program);

}  // namespace pairway::testing

#endif  // PAIRWAY_DRIVER_LINUX_TESTING_CHILD_PROCESS_H
