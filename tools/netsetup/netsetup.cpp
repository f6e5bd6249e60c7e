// pairway-netsetup: the command table, global options and dispatch; see netsetup.h.
#include "netsetup.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>

#include "pairway/service_manager.h"
#include "registry_layout.h"

namespace netsetup {
namespace {

const char kProgram[] = "pairway-netsetup";

const Command kCommands[] = {
    {"init", "[--snmp]",
     "Prepares a machine root: creates it if needed, the registry keys the network setup and\n"
     "the driver's installation own (the card list, the TREVAN driver's service key with its\n"
     "empty linkage lists, the maker's software key; with --snmp the SNMP service's\n"
     "ExtensionAgents key), and the system directory with the installed programs and\n"
     "libraries linked from the build this tool belongs to. Safe to run again.",
     RunInit},
    {"add-card", "[--slot N] [--bus N] [--title TEXT] [--interface IFNAME]",
     "Installs one port of the TREVAN driver under the next free card number n: its card entry\n"
     "and bind rules, the driver service TREVANn with its parameters, its entries in the\n"
     "driver's Route, Bind and Export lists, and one more in RefCount. Without --interface the\n"
     "port is emulated; with it, the port is served from that Linux interface, whose PCI\n"
     "address gives bus and slot where it has one. Prints the card number.",
     RunAddCard},
    {"remove-card", "N",
     "Removes card N, a TREVAN port. First calls TrevanRemoveLinks N of aggcfg.dll, which\n"
     "takes the port out of its group; then removes its card entry, its driver service key,\n"
     "its linkage entries, and one from RefCount. Then tells the driver TREVAN to read its\n"
     "parameters again (SERVICE_CONTROL_PARAMCHANGE), when it runs.",
     RunRemoveCard},
    {"set-ip", "N [ADDRESS[/PREFIX]...]",
     "Sets the TCP/IP addresses of card N (\"IPAddress\" of its Parameters\\Tcpip key), as the\n"
     "TCP/IP setup would; with no address, removes them. With a prefix (10.0.0.1/24) the masks\n"
     "go to \"SubnetMask\", one per address (the class mask for an address given without one);\n"
     "without any, a \"SubnetMask\" left from earlier addresses is removed. Then tells the driver\n"
     "TREVAN to read its parameters again (SERVICE_CONTROL_PARAMCHANGE), which gives a group\n"
     "the addresses of its primary; when no service manager or driver runs, nothing is sent\n"
     "and the driver reads them at its start.",
     RunSetIp},
    {"call", "LIBRARY PROCEDURE [ARG...]",
     "Loads LIBRARY from the machine's system directory by its NT name (ctrsetup.dll) and\n"
     "calls its setup procedure PROCEDURE as the network setup does: the ARGs as its argument\n"
     "count and array, and the address of its result text, which is printed as the last line.\n"
     "Without a screen (neither DISPLAY nor WAYLAND_DISPLAY) a procedure's window is not shown:\n"
     "standard error says so and names the pairwayctl commands that do the same work, and the\n"
     "procedure returns at once (aggcfg.dll answers 99, nothing saved).\n"
     "A procedure that saved a configuration (result text 0, or 98: saved, restart needed) is\n"
     "followed by SERVICE_CONTROL_PARAMCHANGE to the driver TREVAN, as the network setup has\n"
     "the driver read its parameters again; not sent when no service manager or driver runs.",
     RunCall},
    {"nic", "N show | N set FIELD=VALUE...",
     "Shows or changes the NIC port of card N as its driver answers for it. show prints one\n"
     "FIELD=VALUE line per field; set changes the fields given, all or (on any error) none:\n"
     "  OID_GEN_XMIT_OK=5 ...            a counter, by its NDIS name (as show lists them)\n"
     "  permanent-address=00A0C9123456   current-address=00A0C9123456\n"
     "  multicast=01005E000001,...       the multicast list (empty for none); multicast-max=N\n"
     "  driver-version=0x0302            major version in the high byte\n"
     "  link=up|down                     vendor-id=023C7A\n"
     "  adapter-info=MODE,TEXT[,PAIR1,PAIR2,A,B,C] | none   the driver's adapter record\n"
     "  silent=1|0                       the driver answers no query at all\n"
     "  traffic=on|off                   the counters count up on their own\n"
     "A port served from a Linux interface (add-card --interface) shows the interface's live\n"
     "figures and cannot be set. Unknown card, field or bad value: exit code 1.",
     RunNic},
};

void PrintUsage(FILE* out) {
  fprintf(out,
          "Usage: %s [--root DIR] VERB [ARGS...]\n"
          "       %s VERB --help\n\n"
          "The stand-in for the platform's network setup. The machine root is DIR, or\n"
          "PAIRWAY_ROOT when --root is not given.\n\nVerbs:\n",
          kProgram, kProgram);
  for (const Command& command : kCommands) {
    fprintf(out, "  %-12s %s\n", command.name, command.synopsis);
  }
  fprintf(out,
          "\nExit codes: 0 done, 1 usage, 2 no machine root, 3 registry failure, 4 not found,\n"
          "5 system directory failure, 6 no free card number, 7 the setup procedure failed.\n");
}

void PrintVerbHelp(const Command& command) {
  printf("Usage: %s [--root DIR] %s %s\n\n%s\n", kProgram, command.name, command.synopsis,
         command.help);
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace

int Fail(const char* verb, int code, const std::string& message) {
  fprintf(stderr, "%s: %s: %s\n", kProgram, verb, message.c_str());
  return code;
}

void TellDriver(const char* verb) {
  DWORD error = ERROR_SUCCESS;
  if (pairway::SendParamChange(TREVAN_PRODUCT_NAME, &error) != pairway::ParamChange::kFailed)
    return;
  fprintf(stderr,
          "%s: %s: warning: the change is written, but the driver " TREVAN_PRODUCT_NAME
          " could not be told of it (error %u); it reads it at its next start\n",
          kProgram, verb, error);
}

bool ParseNumber(const std::string& text, long min, long max, long* value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  long number = strtol(text.c_str(), nullptr, 10);
  if (number < min || number > max) return false;
  *value = number;
  return true;
}

}  // namespace netsetup

int main(int argc, char* argv[]) {
  using namespace netsetup;
  std::string verb;
  Args args;
  bool help = false;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if (arg == "--root") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Fail("--root", kExitUsage, "needs a DIR");
      std::error_code error;
      std::filesystem::path root = std::filesystem::absolute(argv[++i], error);
      if (error) return Fail("--root", kExitUsage, "bad directory " + std::string(argv[i]));
      setenv("PAIRWAY_ROOT", root.c_str(), 1);
    } else if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (verb.empty()) {
      verb = arg;
    } else {
      args.push_back(arg);
    }
  }
  if (verb.empty()) {
    PrintUsage(help ? stdout : stderr);
    return help ? kExitOk : kExitUsage;
  }
  const Command* command = FindCommand(verb);
  if (command == nullptr) {
    fprintf(stderr, "%s: unknown verb '%s'\n", "pairway-netsetup", verb.c_str());
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (help) {
    PrintVerbHelp(*command);
    return kExitOk;
  }
  const char* root = getenv("PAIRWAY_ROOT");
  if (root == nullptr || *root == '\0') {
    return Fail(command->name, kExitNoRoot, "no machine root: give --root DIR or set PAIRWAY_ROOT");
  }
  return command->run(args);
}
