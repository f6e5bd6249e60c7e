// A network namespace per test; see test_netns.h.
#include "test_netns.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "temp_root.h"

namespace pairway::testing {

TestNamespace::TestNamespace() {
  static std::atomic<int> made{0};
  name_ = "pw-test-" + std::to_string(getpid()) + "-" + std::to_string(made++);
  std::string out;
  if (RunCommand("ip netns add " + name_ + " 2>&1", &out) != 0) {
    error_ = "ip netns add " + name_ + " failed: " + out;
    return;
  }
  Exec("ip link set lo up");
}

TestNamespace::~TestNamespace() {
  if (ok()) RunCommand("ip netns del " + name_ + " 2>/dev/null");
}

int TestNamespace::Exec(const std::string& command, std::string* out) const {
  // The whole line goes to a shell inside the namespace: handed to `ip netns exec` bare, only
  // its first command would run inside, and the rest of a list or pipe in the machine's own.
  std::string quoted = "'";
  for (const char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  return RunCommand("ip netns exec " + name_ + " sh -c " + quoted, out);
}

bool TestNamespace::Run(const std::function<void()>& body) const {
  bool entered = false;
  std::thread inside([&] {
    const int fd = open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    entered = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0) close(fd);
    if (entered) body();
  });
  inside.join();
  return entered;
}

}  // namespace pairway::testing
