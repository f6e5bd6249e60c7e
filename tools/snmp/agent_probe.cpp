// The probe: one child process per listed library, started and reaped by the host.
#include "agent_probe.h"

#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "extension_agent.h"

extern char** environ;

namespace snmphost {
namespace {

constexpr std::chrono::milliseconds kPollInterval(5);

// Waits for the child until the deadline; kills it then. The raw wait status, or -1 on timeout.
int Reap(pid_t child, std::chrono::milliseconds time_out) {
  auto deadline = std::chrono::steady_clock::now() + time_out;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return status;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  kill(child, SIGKILL);
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return -1;
}

}  // namespace

ProbeOutcome ProbeAgent(const std::string& nt_path, std::chrono::milliseconds time_out) {
  std::string program = "/proc/self/exe";
  char* argv[] = {program.data(), const_cast<char*>(kProbeOption),
                  const_cast<char*>(nt_path.c_str()), nullptr};
  pid_t child = -1;
  int error = posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ);
  if (error != 0) return {false, std::string("cannot start its probe: ") + strerror(error)};
  int status = Reap(child, time_out);
  if (status == -1) return {false, "its probe did not finish in time and was killed"};
  if (WIFSIGNALED(status)) {
    return {false, std::string("it crashed while loading or initialising (") +
                       strsignal(WTERMSIG(status)) + ")"};
  }
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == static_cast<int>(LoadResult::kServed)) return {true, "served"};
  switch (static_cast<LoadResult>(code)) {
    case LoadResult::kNotLoaded:
    case LoadResult::kNoEntryPoints:
    case LoadResult::kDeclined:
    case LoadResult::kBadView:
      return {false, LoadResultText(static_cast<LoadResult>(code))};
    default:
      return {false, "its probe ended with status " + std::to_string(code)};
  }
}

int RunProbe(const std::string& nt_path) {
  LoadResult result = LoadResult::kNotLoaded;
  std::unique_ptr<ExtensionAgent> agent = ExtensionAgent::Load(nt_path, &result);
  return static_cast<int>(result);
}

}  // namespace snmphost
