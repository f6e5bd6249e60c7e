// agentx_bridge.h: the host's connection to the master agent, net-snmp's snmpd, over AgentX.
//
// Each served extension agent's view becomes one registration with the master. The master
// forwards GET, GETNEXT (GETBULK arrives as a GETNEXT per repetition) and SET for names under a
// view; the bridge asks the agent one binding at a time and answers:
//
//   agent answer             GET               GETNEXT                 SET
//   value                    the value         the next name, value    accepted
//   noSuchName               noSuchInstance    end of view             noSuchName
//   view absent (agent down) noSuchObject      end of view             noSuchName
//   end of view              -                 end of view             -
//   other error status       that status       that status             that status
//
// "End of view" leaves the binding unanswered, so the master goes on to the registration after
// the agent's view and a walk continues through the rest of the MIB. A SNMPv1 manager sees
// noSuchInstance as noSuchName (the master translates).
//
//   $ snmpwalk -v2c -c public 127.0.0.1:1161 1.3.6.1.4.1.32473.3.1.2.1.1.2
//   .1.3.6.1.4.1.32473.3.1.2.1.1.2.1 = STRING: "TREVAN1"
//   .1.3.6.1.4.1.32473.3.1.2.1.1.2.2 = STRING: "TREVAN2"
//
// The bridge reconnects by itself: it pings the master every ping interval and, when the master
// went away and came back, opens a new session and registers every view again. It runs on one
// thread, the one that calls Run.
#ifndef PAIRWAY_TOOLS_SNMP_AGENTX_BRIDGE_H
#define PAIRWAY_TOOLS_SNMP_AGENTX_BRIDGE_H

#include <signal.h>

#include <chrono>
#include <functional>
#include <string>

#include "extension_agent.h"

namespace snmphost {

struct BridgeSettings {
  std::string master;  // agentXSocket syntax; empty for net-snmp's default
  int ping_interval_seconds = 5;
  std::string state_dir;      // where net-snmp may keep files (inside the machine root)
  bool log_to_stderr = true;  // otherwise syslog
};

// net-snmp's agent library in the subagent role. One per process.
class AgentxBridge {
 public:
  // Sets up logging and the subagent role; nothing is sent before Connect.
  explicit AgentxBridge(const BridgeSettings& settings);
  ~AgentxBridge();
  AgentxBridge(const AgentxBridge&) = delete;
  AgentxBridge& operator=(const AgentxBridge&) = delete;

  // Registers the agent's view, to be served for the bridge's lifetime (the agent must outlive
  // the bridge). False, with the reason logged, when the view cannot be registered (another
  // agent holds the same view).
  bool Serve(Agent* agent);
  // Calls `tick` every `period` on Run's thread, between requests (one tick for the bridge).
  void Every(std::chrono::milliseconds period, std::function<void()> tick);
  // Opens the session with the master (or keeps trying every ping interval while it is away).
  void Connect();
  // Answers the master's requests until `stop` becomes non-zero (a signal handler sets it).
  void Run(const volatile sig_atomic_t& stop);

 private:
  std::function<void()> tick_;
};

}  // namespace snmphost

#endif  // PAIRWAY_TOOLS_SNMP_AGENTX_BRIDGE_H
