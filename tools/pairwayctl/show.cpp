// pairwayctl show and watch: the configuration as the sheet shows it, with the status page's
// figures and what the driver makes of the groups (active ports, failovers).
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "json_view.h"
#include "pairwayctl.h"
#include "registry_layout.h"
#include "view.h"

namespace pairwayctl {
namespace {

template <typename T>
std::string Text(const std::optional<T>& value) {
  return value ? std::to_string(*value) : "-";
}

std::string LinkText(std::optional<bool> up) { return up ? (*up ? "up" : "down") : "-"; }

std::string Or(const std::string& text) { return text.empty() ? "-" : text; }

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}

std::string Count(uint64_t value) { return std::to_string(value); }

// "TREVAN3:up* TREVAN1:down": each member's link, the active one starred.
std::string MembersText(const pairway::driver::GroupStatus& group) {
  std::string text;
  for (const auto& member : group.members) {
    text += (text.empty() ? "" : " ") + member.port + ":" +
            pairway::driver::MemberLinkText(member.link) + (member.active ? "*" : "");
  }
  return text;
}

// What the driver makes of the groups: their interfaces, active ports and counts.
void PrintFailover(const View& view) {
  using pairway::driver::StateRead;
  const DriverView& driver = view.driver;
  if (driver.read == StateRead::kNoDriver) {
    printf("\nFAILOVER: driver not running (the groups fail over while the driver %s runs)\n",
           TREVAN_PRODUCT_NAME);
    return;
  }
  if (driver.read == StateRead::kDamaged) {
    printf("\nFAILOVER: the driver runs, but its state cannot be read (%s)\n",
           pairway::driver::FailoverStatePath(getenv("PAIRWAY_ROOT")).c_str());
    return;
  }
  if (driver.state.pid == 0) {
    printf("\nFAILOVER: the driver is starting\n");
  } else {
    printf("\nFAILOVER (driver %s, pid %d)\n", TREVAN_PRODUCT_NAME,
           static_cast<int>(driver.state.pid));
  }
  printf("%-20s %-15s %-8s %-5s %-9s %9s %9s %12s  %s\n", "GROUP", "INTERFACE", "BACKEND", "STATE",
         "ACTIVE", "FAILOVERS", "FAILBACKS", "LINK CHANGES", "MEMBERS (* active)");
  for (const GroupView& group : view.groups) {
    if (!group.failover) {
      printf("%-20s (not run by the driver)\n", group.name.c_str());
      continue;
    }
    const pairway::driver::GroupStatus& failover = *group.failover;
    printf("%-20s %-15s %-8s %-5s %-9s %9s %9s %12s  %s\n", group.name.c_str(),
           Or(failover.interface).c_str(), failover.backend.c_str(), failover.up ? "up" : "down",
           Or(failover.active).c_str(), Count(failover.failovers).c_str(),
           Count(failover.failbacks).c_str(), Count(failover.link_changes).c_str(),
           MembersText(failover).c_str());
  }
  for (const pairway::driver::RejectedPort& port : driver.state.rejected) {
    printf("the driver leaves %s alone: %s\n", port.port.c_str(), port.reason.c_str());
  }
}

void PrintTable(const View& view) {
  printf("%-9s %-4s %-11s %-12s %-30s %-5s %-15s %-4s %10s %10s\n", "PORT", "CARD", "ROLE", "GROUP",
         "CONNECTION TYPE", "INDEX", "IP ADDRESS", "LINK", "SENT", "RECEIVED");
  for (const PortView& port : view.ports) {
    printf("%-9s %-4d %-11s %-12s %-30s %-5s %-15s %-4s %10s %10s\n", port.name.c_str(), port.card,
           port.role.c_str(), Or(port.group).c_str(),
           ConnectionTypeText(port.connection_type).c_str(), Text(port.adapter_index).c_str(),
           Or(port.ip_address).c_str(), LinkText(port.link_up).c_str(),
           Text(port.bytes_sent).c_str(), Text(port.bytes_received).c_str());
  }
  printf("\n%-20s %-9s %-30s %-7s %10s %10s\n", "GROUP", "PRIMARY", "BACKUPS", "TIMEOUT", "SENT",
         "RECEIVED");
  for (const GroupView& group : view.groups) {
    printf("%-20s %-9s %-30s %-7s %10s %10s\n", group.name.c_str(), Or(group.primary).c_str(),
           Or(Join(group.backups)).c_str(), group.timeout.c_str(), Text(group.bytes_sent).c_str(),
           Text(group.bytes_received).c_str());
  }
  PrintFailover(view);
  if (!view.statistics) printf("\n(no statistics: %s is not installed)\n", STATISTICS_LIBRARY_NAME);
}

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

void PrintFigures(const View& view) {
  printf("%-20s %-4s %10s %10s  %s\n", "PORT / GROUP", "LINK", "SENT", "RECEIVED", "ACTIVE");
  for (const PortView& port : view.ports) {
    printf("%-20s %-4s %10s %10s\n", port.name.c_str(), LinkText(port.link_up).c_str(),
           Text(port.bytes_sent).c_str(), Text(port.bytes_received).c_str());
  }
  for (const GroupView& group : view.groups) {
    std::string active = group.failover ? Or(group.failover->active) : "";
    printf("%-20s %-4s %10s %10s  %s\n", group.name.c_str(), "", Text(group.bytes_sent).c_str(),
           Text(group.bytes_received).c_str(), active.c_str());
  }
}

// What watch last saw of the driver, to tell what changed since.
struct Seen {
  bool running = false;
  pid_t pid = 0;
  // Per group, by its primary: the active port and the counts.
  std::map<std::string, pairway::driver::GroupStatus> groups;
};

std::string Clock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char text[32];
  snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min, local.tm_sec,
           now.tv_nsec / 1000000);
  return text;
}

// The lines for what changed between `seen` and `view` (none on the first look), and `seen`
// brought up to date. A failover and its fail-back between two looks leave the active port as
// it was, but not the counts: they still give a line.
std::vector<std::string> Changes(const View& view, Seen* seen, bool first) {
  std::vector<std::string> lines;
  bool running = view.driver.read != pairway::driver::StateRead::kNoDriver;
  pid_t pid = view.driver.state.pid;
  if (!first && running != seen->running) {
    lines.push_back(running ? "driver started" : "driver not running");
  } else if (!first && running && pid != 0 && seen->pid != 0 && pid != seen->pid) {
    lines.push_back("driver restarted (pid " + std::to_string(pid) + ")");
  }
  seen->running = running;
  if (pid != 0) seen->pid = pid;
  std::map<std::string, pairway::driver::GroupStatus> now;
  for (const GroupView& group : view.groups) {
    if (!group.failover) continue;
    const pairway::driver::GroupStatus& after = *group.failover;
    now[after.head] = after;
    auto before = seen->groups.find(after.head);
    if (first || before == seen->groups.end()) continue;
    const pairway::driver::GroupStatus& was = before->second;
    if (was.active == after.active && was.failovers == after.failovers &&
        was.failbacks == after.failbacks && was.up == after.up) {
      continue;
    }
    std::string line = group.name + ": active port " + Or(was.active) + " -> " + Or(after.active);
    if (was.active == after.active)
      line = group.name + ": active port " + Or(after.active) + " again";
    line += " (failovers " + Count(after.failovers) + ", failbacks " + Count(after.failbacks) +
            ", link changes " + Count(after.link_changes) + ")";
    if (!after.up) line += ", group down: no member has its link";
    lines.push_back(line);
  }
  seen->groups = std::move(now);
  return lines;
}

}  // namespace

int RunShow(const Options& options, const Args& args) {
  if (!args.empty())
    return Fail(kExitUsage, "show takes no arguments (see pairwayctl show --help)");
  View view = Collect();
  if (options.json) {
    printf("%s", JsonText(ViewJson(view)).c_str());
  } else {
    PrintTable(view);
  }
  return kExitOk;
}

int RunWatch(const Options&, const Args& args) {
  // --count N ends after N refreshes (for scripts); otherwise until interrupted.
  long count = -1;
  if (args.size() == 2 && args[0] == "--count") {
    char* end = nullptr;
    count = strtol(args[1].c_str(), &end, 10);
    if (*end != '\0' || count < 1) return Fail(kExitUsage, "--count needs a number above 0");
  } else if (!args.empty()) {
    return Fail(kExitUsage, "watch takes only --count N (see pairwayctl watch --help)");
  }
  signal(SIGINT, OnInterrupt);
  signal(SIGTERM, OnInterrupt);
  bool screen = isatty(STDOUT_FILENO);
  Seen seen;
  std::deque<std::string> recent;  // on a screen, the last changes stay under the figures
  constexpr size_t kRecentLines = 10;
  for (long shown = 0; !interrupted && (count < 0 || shown < count); ++shown) {
    if (shown > 0) {
      // The status page's cycle: 700 ms between refreshes.
      for (int slept = 0; slept < 700 && !interrupted; slept += 50) usleep(50 * 1000);
      if (interrupted) break;
    }
    View view = Collect();
    std::vector<std::string> changes = Changes(view, &seen, shown == 0);
    if (screen) {
      for (const std::string& line : changes) recent.push_back(Clock() + " " + line);
      while (recent.size() > kRecentLines) recent.pop_front();
      printf("\033[H\033[2J");
      PrintFigures(view);
      if (!recent.empty()) printf("\n");
      for (const std::string& line : recent) printf("%s\n", line.c_str());
    } else {
      // In a pipe each change is a line of its own, as it is seen, before the figures.
      for (const std::string& line : changes) printf("%s at %s\n", line.c_str(), Clock().c_str());
      PrintFigures(view);
      printf("\n");
    }
    fflush(stdout);
  }
  return kExitOk;
}

}  // namespace pairwayctl
