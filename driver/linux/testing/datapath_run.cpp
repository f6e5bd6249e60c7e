// pairway-datapath-run: one group on this host's interfaces, kept by the simplest
// active-backup rule, for tests and benchmarks of the data paths without the daemon.
//
//   pairway-datapath-run [--kind bond|tc|tap] [--timeout S] --journal DIR --group IF
//                        [--address A.B.C.D/N]... MEMBER...
//
// The first member is the head: it is active whenever its link is up; otherwise the first
// other member whose link is up. A change waits until the new state has held for the time-out
// (0: at once). Prints "ready KIND" once the group is made, then "active I T" at every change
// (I the member, -1 for none; T the CLOCK_MONOTONIC time in nanoseconds). SIGTERM or SIGINT
// takes the group apart and ends with 0; errors end with 1, a usage error with 2. --help
// prints the usage line.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data_path.h"
#include "link_watch.h"

namespace {

using pairway::driver::GroupSpec;

int Usage(FILE* to = stderr) {
  std::fprintf(to,
               "usage: pairway-datapath-run [--kind bond|tc|tap] [--timeout S] --journal DIR "
               "--group IF [--address A.B.C.D/N]... MEMBER...\n");
  return to == stderr ? 2 : 0;
}

bool ParsePrefix(const std::string& text, pairway::driver::Ipv4Prefix* prefix) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return false;
  prefix->prefix_length = static_cast<unsigned>(std::stoul(text.substr(slash + 1)));
  return inet_pton(AF_INET, text.substr(0, slash).c_str(), &prefix->address) == 1 &&
         prefix->prefix_length <= 32;
}

int64_t Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Head first, then the first backup with its link.
int Choose(const std::vector<bool>& up) {
  for (size_t i = 0; i < up.size(); ++i) {
    if (up[i]) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string kind, journal;
  GroupSpec spec;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      return Usage(stdout);
    } else if (arg == "--kind" && has_value) {
      kind = argv[++i];
    } else if (arg == "--journal" && has_value) {
      journal = argv[++i];
    } else if (arg == "--group" && has_value) {
      spec.ifname = spec.group = argv[++i];
    } else if (arg == "--timeout" && has_value) {
      spec.link_check_timeout_s = static_cast<unsigned>(std::stoul(argv[++i]));
    } else if (arg == "--address" && has_value) {
      pairway::driver::Ipv4Prefix prefix;
      if (!ParsePrefix(argv[++i], &prefix)) return Usage();
      spec.addresses.push_back(prefix);
    } else if (arg.rfind("--", 0) == 0) {
      return Usage();
    } else {
      spec.members.push_back({arg, arg});
    }
  }
  if (journal.empty() || spec.ifname.empty() || spec.members.empty()) return Usage();

  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  const int stop = signalfd(-1, &stop_signals, SFD_CLOEXEC);

  std::string error;
  std::unique_ptr<pairway::driver::LinkWatch> watch =
      pairway::driver::MakeInterfaceLinkWatch(&error);
  std::unique_ptr<pairway::driver::DataPath> path =
      watch ? pairway::driver::MakeDataPath(kind, journal, &error) : nullptr;
  if (!path || !path->Create(spec, &error)) {
    std::fprintf(stderr, "pairway-datapath-run: %s\n", error.c_str());
    return 1;
  }
  std::vector<bool> up;
  std::map<std::string, size_t> member_of;
  for (size_t i = 0; i < spec.members.size(); ++i) {
    up.push_back(watch->Watch(spec.members[i].ifname).value_or(false));
    member_of[spec.members[i].ifname] = i;
  }
  int active = -2;
  auto apply = [&](int wanted) {
    if (path->monitors_links()) wanted = path->Active();
    if (wanted == active) return;
    if (!path->monitors_links() && !path->SetActive(wanted, &error)) {
      std::fprintf(stderr, "pairway-datapath-run: %s\n", error.c_str());
      return;
    }
    active = wanted;
    std::printf("active %d %lld\n", active, static_cast<long long>(Now()));
    std::fflush(stdout);
  };
  std::printf("ready %s\n", path->kind());
  std::fflush(stdout);
  apply(Choose(up));

  const int64_t timeout_ns = int64_t{spec.link_check_timeout_s} * 1000000000;
  std::optional<int64_t> change_at;  // when the pending choice takes effect
  for (;;) {
    int wait_ms = -1;
    if (change_at) wait_ms = static_cast<int>(std::max<int64_t>(0, *change_at - Now()) / 1000000);
    if (path->monitors_links() && wait_ms < 0) wait_ms = 100;
    pollfd ready[2] = {{watch->fd(), POLLIN, 0}, {stop, POLLIN, 0}};
    if (poll(ready, 2, wait_ms) < 0 && errno != EINTR) break;
    if (ready[1].revents & POLLIN) break;
    watch->Dispatch([&](const pairway::driver::LinkChange& change) {
      if (const auto found = member_of.find(change.key); found != member_of.end())
        up[found->second] = change.up && !change.gone;
    });
    const int wanted = Choose(up);
    if (wanted == active) {
      change_at.reset();
    } else if (!change_at) {
      change_at = Now() + timeout_ns;
    }
    if (path->monitors_links() || (change_at && Now() >= *change_at)) {
      apply(wanted);
      change_at.reset();
    }
  }
  path->Destroy();
  return 0;
}
