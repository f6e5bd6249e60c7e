// snmp_master.h: a private snmpd as AgentX master for one test, and the host under test.
//
// The master listens on 127.0.0.1 at a free UDP port and on an AgentX socket in a temporary
// folder, with a generated configuration: no system configuration, no SMUX listener, persistent
// state inside the folder. Everything is stopped and removed again by the destructors.
#ifndef PAIRWAY_TOOLS_SNMP_TESTING_SNMP_MASTER_H
#define PAIRWAY_TOOLS_SNMP_TESTING_SNMP_MASTER_H

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace snmphost::testing {

// False when Debian's snmpd or the clients are missing; tests then skip.
bool SnmpToolsInstalled();

// Polls `condition` every 20 ms until it holds (true) or about 15 s passed (false). For states
// that another process reaches in its own time; never a measure of speed.
bool WaitFor(const std::function<bool()>& condition);

// Runs the link monitor (build/bin/portwarden) in the foreground on the current root and pokes
// the registry until its adjustment pass has listed the two extension agents, then ends it.
// False when the agents did not appear.
bool RegisterAgentsByMonitor();

class SnmpMaster {
 public:
  SnmpMaster();  // starts the master; ok() tells whether it came up
  ~SnmpMaster();
  SnmpMaster(const SnmpMaster&) = delete;
  SnmpMaster& operator=(const SnmpMaster&) = delete;

  bool ok() const { return pid_ > 0; }
  // Starts the master again on the same port and socket; false when it did not come up.
  bool Start();
  // Ends the master with `signal` and reaps it.
  void Stop(int signal);

  // "unix:FOLDER/agentx.sock", for the host's -x.
  std::string agentx_address() const;
  const std::filesystem::path& folder() const { return folder_; }
  // "127.0.0.1:PORT", for clients a test runs with options of its own.
  std::string udp_address() const { return "127.0.0.1:" + std::to_string(port_); }
  // Runs a net-snmp client ("snmpwalk -v2c -c public") against the master with numeric names
  // and short time-outs, `args` after the address; returns its exit status, stdout and stderr
  // in *out.
  int Client(const std::string& tool, const std::string& args, std::string* out) const;

 private:
  std::filesystem::path folder_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// build/bin/pairway-snmp -f against a master, on the current machine root, logging to a file.
class Host {
 public:
  // `extra` goes on the command line after the master's address.
  Host(const std::string& master_address, const std::filesystem::path& log,
       const std::vector<std::string>& extra = {});
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  bool running();
  // SIGTERM, then the exit status (-1 when it ended by a signal).
  int Stop();
  std::string log() const;

 private:
  pid_t pid_ = -1;
  std::filesystem::path log_;
};

}  // namespace snmphost::testing

#endif  // PAIRWAY_TOOLS_SNMP_TESTING_SNMP_MASTER_H
