// pairway-scm: the service control manager of a machine root.
//
//   pairway-scm [--foreground] [--shutdown-timeout SECONDS] [--control-timeout SECONDS]
//               [--start-timeout SECONDS]
//
// Without --foreground it returns once the daemon listens (exit 0) or could not start (non-zero,
// with the reason on stderr), and the daemon goes on in the background logging to syslog. With
// --foreground it logs to stderr and prints one line "pairway-scm: ready SOCKET" on stdout when
// it listens, for whoever waits for it (tests, systemd's logs).
//
// Exit status: 0 after a complete shutdown; 1 start-up failed; 2 usage error or no machine root;
// 3 another daemon already serves the root.
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "pairway/machine_root.h"
#include "scm_daemon.h"

namespace {

constexpr int kUsage = 2;

const char kHelp[] =
    "Usage: pairway-scm [--foreground] [--shutdown-timeout SECONDS]\n"
    "                   [--control-timeout SECONDS] [--start-timeout SECONDS]\n"
    "\n"
    "The service control manager of the machine root named by PAIRWAY_ROOT. It keeps the\n"
    "service database in the root's registry (SYSTEM\\CurrentControlSet\\Services), starts the\n"
    "auto-start services, and relays controls and status between callers and services.\n"
    "\n"
    "  --foreground            stay attached, log to stderr, print a ready line on stdout\n"
    "  --shutdown-timeout S    how long the shutdown sequence waits for services (20)\n"
    "  --control-timeout S     how long a control handler may take (30)\n"
    "  --start-timeout S       how long a started service may take to connect (30)\n"
    "\n"
    "SIGTERM or `pairway-sc shutdown` sends SERVICE_CONTROL_SHUTDOWN to the services that\n"
    "accept it, waits for them, ends the rest and exits.\n"
    "Exit status: 0 done, 1 start-up failed, 2 usage, 3 another daemon serves the root.\n";

bool ParseSeconds(const char* text, std::chrono::milliseconds* out) {
  char* end = nullptr;
  double seconds = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 86400)
    return false;
  *out = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
  return true;
}

int Usage(const std::string& message) {
  fprintf(stderr, "pairway-scm: %s\nTry 'pairway-scm --help'.\n", message.c_str());
  return kUsage;
}

// Detaches from the caller once the daemon is ready: the caller's process exits with 0.
void Daemonise() {
  pid_t pid = fork();
  if (pid < 0) {
    perror("pairway-scm: fork");
    exit(1);
  }
  if (pid > 0) _exit(0);
  setsid();
  int devnull = open("/dev/null", O_RDWR);
  if (devnull >= 0) {
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    if (devnull > 2) close(devnull);
  }
  pairway::scm::LogToSyslog();
}

}  // namespace

int main(int argc, char** argv) {
  pairway::scm::DaemonOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--foreground") {
      options.foreground = true;
      continue;
    }
    std::chrono::milliseconds* target = arg == "--shutdown-timeout"  ? &options.shutdown_timeout
                                        : arg == "--control-timeout" ? &options.control_timeout
                                        : arg == "--start-timeout"   ? &options.start_timeout
                                                                     : nullptr;
    if (target == nullptr) return Usage("unknown argument '" + arg + "'");
    if (i + 1 == argc || !ParseSeconds(argv[++i], target))
      return Usage(arg + " needs a number of seconds (0 to 86400)");
  }
  options.root = pairway::MachineRootOrExit("pairway-scm");
  bool foreground = options.foreground;
  pairway::scm::Daemon daemon(std::move(options));
  std::string error;
  int exit_code = 0;
  if (!daemon.Start(&error, &exit_code)) {
    fprintf(stderr, "pairway-scm: %s\n", error.c_str());
    return exit_code;
  }
  if (foreground) {
    printf("pairway-scm: ready %s\n", daemon.socket_path().c_str());
    fflush(stdout);
  } else {
    Daemonise();
  }
  daemon.Run();
  return 0;
}
