// pairway-snmp: the machine's SNMP service, as an AgentX subagent of net-snmp's snmpd.
//
//   pairway-snmp [-f] [-x ADDRESS] [--ping-interval SECONDS] [--in-process]
//
// It starts the extension agents listed in the registry of the machine root named by
// PAIRWAY_ROOT, each in a process of its own (agent_process.h), registers each agent's view with
// the master agent at ADDRESS and answers the master's requests by asking the agents. The list
// is read once, at start; a restart of the service reads it again (as the platform's SNMP
// service does). With --in-process the agents are loaded into the host itself instead, as the
// platform's service does; a crash or hang of one then takes the host down.
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
#include "agent_process.h"
#include "agentx_bridge.h"
#include "extension_agent.h"
#include "pairway/machine_root.h"

namespace {

constexpr int kUsage = 2;
constexpr int kStartFailed = 1;
constexpr std::chrono::seconds kProbeTimeOut(30);
// How often agent processes that are down or starting are looked after.
constexpr std::chrono::milliseconds kTickPeriod(100);

const char kHelp[] =
    "Usage: pairway-snmp [-f] [-x ADDRESS] [--ping-interval SECONDS] [--in-process]\n"
    "\n"
    "The SNMP service of the machine root named by PAIRWAY_ROOT: an AgentX subagent of\n"
    "net-snmp's snmpd that serves the extension agents listed in the root's registry\n"
    "(SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents, each entry naming a\n"
    "key whose \"Pathname\" is the agent library). Each agent runs in a process of its own. A\n"
    "library that cannot be loaded, whose SnmpExtensionInit declines, or that crashes while\n"
    "starting is logged and left out; the others are served. An agent that crashes later, or\n"
    "does not answer a request within 500 ms, is logged, answered genErr for that request and\n"
    "started again after 1 s, doubling up to 60 s while it keeps failing; until then its\n"
    "view is absent.\n"
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
    "  --agent NT_PATH         serve one agent library to the service over file descriptor 3\n"
    "                          (what the service runs as each agent's own process)\n"
    "  --in-process            load the agents into this process instead (each is first tried\n"
    "                          in a child process); one that crashes or hangs later takes\n"
    "                          the service down\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit status: 0 stopped by SIGTERM or SIGINT, 1 start-up failed, 2 usage or no machine root.\n";

struct Options {
  snmphost::BridgeSettings bridge;
  bool in_process = false;
  std::string probe;  // --probe: the child of --in-process
  std::string agent;  // --agent: an agent's own process
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
    } else if (arg == "--in-process") {
      options->in_process = true;
    } else if (arg == snmphost::kProbeOption && has_value) {
      options->probe = argv[++i];
    } else if (arg == snmphost::kAgentOption && has_value) {
      options->agent = argv[++i];
    } else if (arg == "-x" || arg == "--ping-interval" || arg == snmphost::kProbeOption ||
               arg == snmphost::kAgentOption) {
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

using Agents = std::vector<std::unique_ptr<snmphost::Agent>>;

// Probes the library in a child, then loads it into this process; null (logged) when it fails.
std::unique_ptr<snmphost::Agent> LoadInProcess(const std::string& pathname) {
  snmphost::ProbeOutcome probe = snmphost::ProbeAgent(pathname, kProbeTimeOut);
  if (!probe.serves) {
    snmphost::Log(pathname + " left out: " + probe.text);
    return nullptr;
  }
  snmphost::LoadResult result;
  auto agent = snmphost::ExtensionAgent::Load(pathname, &result);
  if (agent == nullptr) snmphost::Log(pathname + " left out: " + snmphost::LoadResultText(result));
  return agent;
}

// Starts every listed agent, in this process or each in one of its own; the ones that serve
// are returned, and *processes points at the agent processes among them for the ticks.
Agents StartAgents(bool in_process, std::vector<snmphost::AgentProcess*>* processes) {
  std::vector<std::string> problems;
  std::vector<snmphost::ListedAgent> listed = snmphost::ReadExtensionAgents(&problems);
  for (const std::string& problem : problems) snmphost::Log(problem);
  Agents agents;
  for (const snmphost::ListedAgent& entry : listed) {
    if (in_process) {
      if (auto agent = LoadInProcess(entry.pathname)) agents.push_back(std::move(agent));
      continue;
    }
    std::string why;
    auto agent = snmphost::AgentProcess::Start(entry.pathname, snmphost::ProcessSettings(), &why);
    if (agent == nullptr) {
      snmphost::Log(entry.pathname + " left out: " + why);
      continue;
    }
    processes->push_back(agent.get());
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
  if (!options.agent.empty()) _exit(snmphost::RunAgentProcess(options.agent));
  InstallSignalHandlers();
  if (!options.bridge.log_to_stderr) Daemonise();

  // The agents outlive the bridge, whose registrations point at them.
  Agents agents;
  snmphost::AgentxBridge bridge(options.bridge);
  std::vector<snmphost::AgentProcess*> processes;
  agents = StartAgents(options.in_process, &processes);
  if (!processes.empty()) {
    bridge.Every(kTickPeriod, [&processes] {
      for (snmphost::AgentProcess* process : processes) process->Tick();
    });
  }
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
