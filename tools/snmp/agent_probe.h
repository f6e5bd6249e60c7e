// agent_probe.h: trying an agent library in a child process before the host loads it.
//
// A library that crashes while it loads or initialises would take the host, and every agent it
// serves, down with it. So the host first runs itself as `pairway-snmp --probe NT_PATH`: the child
// loads the library, calls SnmpExtensionInit and exits with the LoadResult. Only a library whose
// probe exited with kServed is loaded in the host. A probe that dies of a signal, or takes longer
// than the time-out (and is killed), keeps its library out.
//
// The probe runs the agent's start-up twice (child, then host); agents start once per process,
// as the platform's service loads them, so nothing is shared between the two.
#ifndef PAIRWAY_TOOLS_SNMP_AGENT_PROBE_H
#define PAIRWAY_TOOLS_SNMP_AGENT_PROBE_H

#include <chrono>
#include <string>

namespace snmphost {

inline constexpr char kProbeOption[] = "--probe";

struct ProbeOutcome {
  bool serves = false;  // the child loaded and initialised the library
  std::string text;     // why not, for the log
};

// Runs the probe of `nt_path` with this program (/proc/self/exe) and the current environment.
ProbeOutcome ProbeAgent(const std::string& nt_path, std::chrono::milliseconds time_out);

// The child's side: loads and initialises the library; returns the exit status.
int RunProbe(const std::string& nt_path);

}  // namespace snmphost

#endif  // PAIRWAY_TOOLS_SNMP_AGENT_PROBE_H
