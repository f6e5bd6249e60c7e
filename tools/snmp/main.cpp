// pairway-snmp: the machine's SNMP service, as an AgentX subagent of net-snmp's snmpd.
//
//   pairway-snmp [-f] [-x ADDRESS] [--ping-interval SECONDS]
//
// It loads the extension agents listed in the registry of the machine root named by
// PAIRWAY_ROOT, registers each agent's view with the master agent at ADDRESS and answers the
// master's requests by asking the agents. Agents are loaded once, at start; a restart of the
// service reloads them (as the platform's SNMP service does).
//
// Exit status: 0 after SIGTERM or SIGINT; 1 start-up failed; 2 usage error or no machine root.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "agent_list.h"
#include "agent_probe.h"
#include "agentx_bridge.h"
#include "extension_agent.h"
#include "pairway/machine_root.h"

namespace {

constexpr int kUsage = 2;
constexpr int kStartFailed = 1;
constexpr std::chrono::seconds kProbeTimeOut(30);

const char kHelp[] =
    "Usage: pairway-snmp [-f] [-x ADDRESS] [--ping-interval SECONDS]\n"
    "\n"
    "The SNMP service of the machine root named by PAIRWAY_ROOT: an AgentX subagent of\n"
    "net-snmp's snmpd that serves the extension agents listed in the root's registry\n"
    "(SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents, each entry naming a\n"
    "key whose \"Pathname\" is the agent library). A library that cannot be loaded, whose\n"
    "SnmpExtensionInit declines, or that crashes while starting (each is tried in a child\n"
    "process first) is logged and left out; the others are served.\n"
    "\n"
    "  -f                      stay in the foreground and log to stderr (else: background, "
    "syslog)\n"
    "  -x ADDRESS              the master's AgentX address, as snmpd's agentXSocket:\n"
    "                          unix:/path/agentx.sock or tcp:127.0.0.1:705\n"
    "                          (default: net-snmp's, unix:/var/agentx/master)\n"
    "  --ping-interval S       how often to check the master and reconnect after it\n"
    "                          restarted (5)\n"
    "  --probe NT_PATH         load and initialise one agent library and exit with the outcome\n"
    "                          (what the service runs in a child process for each library)\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit status: 0 stopped by SIGTERM or SIGINT, 1 start-up failed, 2 usage or no machine root.\n";

struct Options {
  snmphost::BridgeSettings bridge;
  std::string probe;
};

volatile sig_atomic_t stop_requested = 0;

void RequestStop(int) { stop_requested = 1; }

int Usage(const std::string& message) {
  fprintf(stderr, "pairway-snmp: %s\nTry 'pairway-snmp --help'.\n", message.c_str());
  return kUsage;
}

// Parses the command line; returns -1 to go on, else the exit status.
int ParseOptions(int argc, char** argv, Options* options) {
  options->bridge.log_to_stderr = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "-h" || arg == "--help") {
      fputs(kHelp, stdout);
      return 0;
    } else if (arg == "-f") {
      options->bridge.log_to_stderr = true;
    } else if (arg == "-x" && has_value) {
      options->bridge.master = argv[++i];
    } else if (arg == "--ping-interval" && has_value) {
      char* end = nullptr;
      long seconds = strtol(argv[++i], &end, 10);
      if (*end != '\0' || seconds < 1 || seconds > 3600) {
        return Usage("--ping-interval wants whole seconds from 1 to 3600");
      }
      options->bridge.ping_interval_seconds = static_cast<int>(seconds);
    } else if (arg == snmphost::kProbeOption && has_value) {
      options->probe = argv[++i];
    } else if (arg == "-x" || arg == "--ping-interval" || arg == snmphost::kProbeOption) {
      return Usage(arg + " needs a value");
    } else {
      return Usage("unknown argument '" + arg + "'");
    }
  }
  return -1;
}

// The agents see the machine's Windows directory as SystemRoot, as under the platform's service.
void SetSystemRoot() {
  char windows_dir[MAX_PATH];
  UINT length = GetWindowsDirectoryA(windows_dir, sizeof windows_dir);
  if (length > 0 && length < sizeof windows_dir) SetEnvironmentVariableA("SystemRoot", windows_dir);
}

void Daemonise() {
  // The working directory stays: PAIRWAY_ROOT may be relative to it.
  if (daemon(1, 0) != 0) {
    perror("pairway-snmp: daemon");
    exit(kStartFailed);
  }
}

// Probes, then loads, every listed agent; the ones that start are returned.
std::vector<std::unique_ptr<snmphost::ExtensionAgent>> LoadAgents() {
  std::vector<std::string> problems;
  std::vector<snmphost::ListedAgent> listed = snmphost::ReadExtensionAgents(&problems);
  for (const std::string& problem : problems) snmphost::Log(problem);
  std::vector<std::unique_ptr<snmphost::ExtensionAgent>> agents;
  for (const snmphost::ListedAgent& entry : listed) {
    snmphost::ProbeOutcome probe = snmphost::ProbeAgent(entry.pathname, kProbeTimeOut);
    if (!probe.serves) {
      snmphost::Log(entry.pathname + " left out: " + probe.text);
      continue;
    }
    snmphost::LoadResult result;
    auto agent = snmphost::ExtensionAgent::Load(entry.pathname, &result);
    if (agent == nullptr) {
      snmphost::Log(entry.pathname + " left out: " + snmphost::LoadResultText(result));
      continue;
    }
    agents.push_back(std::move(agent));
  }
  return agents;
}

void InstallSignalHandlers() {
  // A master that dropped the session after a time-out closes the socket under a pending
  // answer; the write must fail, not end the process.
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int parsed = ParseOptions(argc, argv, &options);
  if (parsed >= 0) return parsed;
  std::filesystem::path root = pairway::MachineRootOrExit("pairway-snmp");
  options.bridge.state_dir = (pairway::RunDir(root) / "snmp").string();
  SetSystemRoot();
  if (!options.probe.empty()) {
    // Straight out: the host judges the library, not what it leaves behind at exit.
    _exit(snmphost::RunProbe(options.probe));
  }
  InstallSignalHandlers();
  if (!options.bridge.log_to_stderr) Daemonise();

  // The agents outlive the bridge, whose registrations point at them.
  std::vector<std::unique_ptr<snmphost::ExtensionAgent>> agents;
  snmphost::AgentxBridge bridge(options.bridge);
  agents = LoadAgents();
  size_t served = 0;
  for (const auto& agent : agents) {
    if (!bridge.Serve(agent.get())) continue;
    snmphost::Log("serving " + agent->path() + " (view " + snmphost::OidText(agent->view()) + ")");
    ++served;
  }
  if (served == 0) snmphost::Log("no extension agent to serve; waiting for the master anyway");
  bridge.Connect();
  bridge.Run(stop_requested);
  return 0;
}
