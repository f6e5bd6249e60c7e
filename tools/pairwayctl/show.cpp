// pairwayctl show and watch: the configuration as the sheet shows it, with the status page's
// figures.
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
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
  if (!view.statistics) printf("\n(no statistics: %s is not installed)\n", STATISTICS_LIBRARY_NAME);
}

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

void PrintFigures(const View& view) {
  printf("%-20s %-4s %10s %10s\n", "PORT / GROUP", "LINK", "SENT", "RECEIVED");
  for (const PortView& port : view.ports) {
    printf("%-20s %-4s %10s %10s\n", port.name.c_str(), LinkText(port.link_up).c_str(),
           Text(port.bytes_sent).c_str(), Text(port.bytes_received).c_str());
  }
  for (const GroupView& group : view.groups) {
    printf("%-20s %-4s %10s %10s\n", group.name.c_str(), "", Text(group.bytes_sent).c_str(),
           Text(group.bytes_received).c_str());
  }
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
  for (long shown = 0; !interrupted && (count < 0 || shown < count); ++shown) {
    if (shown > 0) {
      // The status page's cycle: 700 ms between refreshes.
      for (int slept = 0; slept < 700 && !interrupted; slept += 50) usleep(50 * 1000);
      if (interrupted) break;
    }
    if (screen) printf("\033[H\033[2J");
    PrintFigures(Collect());
    if (!screen) printf("\n");
    fflush(stdout);
  }
  return kExitOk;
}

}  // namespace pairwayctl
