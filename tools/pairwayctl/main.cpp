// pairwayctl: port groups and connection types from a terminal or a script.
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "change_summary.h"
#include "pairwayctl.h"

namespace pairwayctl {
namespace {

const char kProgram[] = "pairwayctl";

struct Verb {
  const char* name;
  int (*run)(const Options&, const Args&);
  const char* synopsis;
  const char* help;
  bool changes;  // changes the machine: --json prints a summary of the change
};

const Verb kVerbs[] = {
    {"show", RunShow, "show [--json]",
     "Lists the ports (role, group, connection type, adapter index, IP address, link state, bytes\n"
     "sent and received) and the groups (primary, backups, link check time-out, bytes). Byte\n"
     "counts and link states come from the statistics library, as the status page shows them.\n"
     "Then what the driver TREVAN makes of each group while it runs: the group's interface,\n"
     "back end, state, active port, failover, failback and link change counts and the members'\n"
     "links (or \"driver not running\"), and the ports the driver leaves alone, with why.\n"
     "With --json: one JSON object with the lists \"ports\" and \"groups\" and \"statistics\"\n"
     "(false when the statistics library is not installed) and \"driver\".",
     false},
    {"watch", RunWatch, "watch [--count N]",
     "Shows the status page's figures (link state, bytes sent and received per port and group,\n"
     "each group's active port), refreshed every 700 ms until interrupted, or N times. Each\n"
     "change of a group's active port (a failover or a fail-back) and each start or end of the\n"
     "driver adds a line with the time it was seen and the group's counts.",
     false},
    {"port", RunPort, "port type PORT... TYPE",
     "Gives the ports a connection type, as the new-hardware dialog's save does: "
     "\"ConnectionType\",\n"
     "and for a port that had none its \"AdapterIndex\" and bind rules. TYPE is auto, 10half, "
     "10full,\n"
     "100half, 100full, thin or a numeric code of the connection type table. PORT is a card "
     "number\n"
     "(3) or an instance name (TREVAN3).",
     true},
    {"group", RunGroup,
     "group create NAME PORT... [--timeout S] | group add NAME PORT... | group remove PORT...\n"
     "       | group rename OLD NEW | group timeout NAME S",
     "Forms and changes failover groups exactly as the configuration page's Add, Remove, group "
     "name\n"
     "and time-out handling followed by Apply do, titles and bind rules included. NAME \"-\" "
     "takes\n"
     "the page's default name, \"Group\" + the smallest free number; a new group's time-out is 10\n"
     "seconds unless --timeout says otherwise. Where the page would ask before deleting ports' IP\n"
     "settings, pairwayctl asks the same question and goes on only with --yes or a \"y\" typed on\n"
     "a terminal. Whatever the page refuses is refused with the page's text and exit code 1, and\n"
     "then nothing is written.",
     true},
};

void PrintUsage() {
  printf(
      "Usage: %s [--root DIR] [--dry-run] [--yes] [--json] VERB [ARGS...]\n"
      "       %s VERB --help\n\n"
      "Configures the port groups of a machine root, as the configuration sheet does, without a\n"
      "desktop. The machine root is DIR, or PAIRWAY_ROOT when --root is not given. After each\n"
      "change it writes, it tells the driver TREVAN to read its parameters again\n"
      "(SERVICE_CONTROL_PARAMCHANGE); when no service manager or no driver runs, nothing is\n"
      "sent and the driver reads the change at its start.\n\n"
      "Options:\n"
      "  --root DIR  the machine root\n"
      "  --dry-run   print the registry changes the command would make, as a registry file;\n"
      "              write nothing (questions are taken as answered yes)\n"
      "  --yes       answer the configuration library's questions with yes\n"
      "  --json      show: JSON instead of the table; port and group: one JSON object on\n"
      "              standard output that says what was done (or would be, with --dry-run)\n\n"
      "Verbs:\n",
      kProgram, kProgram);
  for (const Verb& verb : kVerbs) printf("  %s\n", verb.synopsis);
  printf(
      "\nExit codes: 0 done, 1 refused or not confirmed (nothing written), 2 usage,\n"
      "3 no machine root or a registry failure.\n");
}

int VerbHelp(const Verb& verb) {
  printf("Usage: %s [--root DIR] [--dry-run] [--yes] [--json] %s\n\n%s\n", kProgram, verb.synopsis,
         verb.help);
  return kExitOk;
}

const Verb* FindVerb(const std::string& name) {
  for (const Verb& verb : kVerbs) {
    if (name == verb.name) return &verb;
  }
  return nullptr;
}

}  // namespace

int Fail(int code, const std::string& what) {
  fprintf(stderr, "%s: %s\n", kProgram, what.c_str());
  NoteMessage(what);
  return code;
}

std::string PortName(const std::string& text) {
  std::string digits = text;
  if (strncasecmp(text.c_str(), "TREVAN", 6) == 0) digits = text.substr(6);
  if (digits.empty() || digits.size() > 2 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return "";
  }
  return "TREVAN" + std::to_string(atoi(digits.c_str()));
}

int Main(int argc, char* argv[]) {
  Options options;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    std::string arg = argv[i];
    if (arg == "--root") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Fail(kExitUsage, "--root needs a DIR");
      std::error_code error;
      std::filesystem::path root = std::filesystem::absolute(argv[++i], error);
      if (error) return Fail(kExitUsage, std::string("bad directory ") + argv[i]);
      setenv("PAIRWAY_ROOT", root.c_str(), 1);
    } else if (arg == "--dry-run") {
      options.dry_run = true;
    } else if (arg == "--yes" || arg == "-y") {
      options.yes = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage();
      return kExitOk;
    } else {
      return Fail(kExitUsage, "unknown option " + arg + " (see pairwayctl --help)");
    }
  }
  if (i >= argc) {
    PrintUsage();
    return kExitUsage;
  }
  const Verb* verb = FindVerb(argv[i]);
  if (verb == nullptr) {
    return Fail(kExitUsage, std::string("unknown verb ") + argv[i] + " (see pairwayctl --help)");
  }
  Args args;
  for (++i; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return VerbHelp(*verb);
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--yes" || arg == "-y") {
      options.yes = true;
    } else if (arg == "--dry-run") {
      options.dry_run = true;
    } else {
      args.push_back(arg);
    }
  }
  const char* root = getenv("PAIRWAY_ROOT");
  if (root == nullptr || *root == '\0') {
    return Fail(kExitFailure, "no machine root: give --root DIR or set PAIRWAY_ROOT");
  }
  if (!std::filesystem::is_directory(root)) {
    return Fail(kExitFailure, std::string("no machine root at ") + root +
                                  " (make one with pairway-netsetup init)");
  }
  if (!verb->changes || !options.json) return verb->run(options, args);
  std::string command = verb->name;
  if (!args.empty()) command += " " + args[0];
  ChangeSummary summary(command, options.dry_run);
  options.summary = &summary;
  int code = verb->run(options, args);
  printf("%s", JsonText(summary.ToJson(code)).c_str());
  return code;
}

}  // namespace pairwayctl

int main(int argc, char* argv[]) { return pairwayctl::Main(argc, argv); }
