// extension_agent.h: one loaded SNMP extension agent, behind the three questions the host asks.
//
// An extension agent is a library exporting SnmpExtensionInit and SnmpExtensionQuery. Load()
// loads it with LoadLibraryA (an NT path, mapped into the machine root), calls
// SnmpExtensionInit and keeps a copy of the view it reports. Get, GetNext and Set then pass one
// binding at a time to SnmpExtensionQuery, so that a failing binding never leaves its neighbours
// unanswered, and turn the agent's reply into an Answer:
//
//   - every name and string the agent hands over is freed (SnmpUtilVarBindListFree), including
//     the name it replaced in the binding;
//   - a reply the host cannot trust is refused rather than followed: an unknown value type, a
//     string or name whose length has no bytes behind it, a name longer than 128
//     sub-identifiers, an error status outside the protocol's range, a list whose length or
//     array the agent changed. Such replies become genErr (GET, SET) or the end of the view
//     (GETNEXT), and are logged;
//   - GETNEXT follows the platform's SNMP service: an answer outside the agent's view, or one
//     that does not move past the name asked for, ends the agent's view, so a walk goes on to
//     whatever is registered after it. The agents' own end-of-view rule (noError with the name
//     just past the view) lands here.
//
// Agents are called on the host's one thread; an ExtensionAgent is not safe to share between
// threads. Destroying it frees the library (FreeLibrary), after which nothing it returned is
// used.
#ifndef PAIRWAY_TOOLS_SNMP_EXTENSION_AGENT_H
#define PAIRWAY_TOOLS_SNMP_EXTENSION_AGENT_H

#include <functional>
#include <memory>
#include <string>

#include "binding.h"

namespace snmphost {

// Why a library is not served; also the exit status of a probe (agent_probe.h).
enum class LoadResult {
  kServed = 0,
  kNotLoaded = 10,      // LoadLibraryA failed
  kNoEntryPoints = 11,  // SnmpExtensionInit or SnmpExtensionQuery is missing
  kDeclined = 12,       // SnmpExtensionInit returned FALSE
  kBadView = 13,        // the view is empty, too long or has no sub-identifiers behind it
};

const char* LoadResultText(LoadResult result);

// Where the host's messages go: set once at start-up (stderr or syslog through net-snmp).
using LogSink = std::function<void(const std::string& line)>;
void SetLogSink(LogSink sink);
void Log(const std::string& line);

// What the bridge asks of a served agent, wherever the agent runs: in the host's own process
// (ExtensionAgent) or in a process of its own (AgentProcess, agent_process.h).
class Agent {
 public:
  virtual ~Agent() = default;
  // The NT path of the agent's library, for logs and the registration's name.
  virtual const std::string& path() const = 0;
  // The view registered with the master; it stays the same for the agent's lifetime.
  virtual const Oid& view() const = 0;
  // The value of `name`: kValue, kNoSuchName, kNoSuchObject (the view is absent) or kError.
  virtual Answer Get(const Oid& name) = 0;
  // The first instance after `name` inside the view: kValue, kEndOfView or kError.
  virtual Answer GetNext(const Oid& name) = 0;
  // Offers a new value; an agent of a read-only MIB answers kNoSuchName. kValue means accepted.
  virtual Answer Set(const Oid& name, const Value& value) = 0;
};

// The host's rule for a GETNEXT answer of an agent whose view is `view`, asked after `asked`: an
// answer outside the view, or one that does not move past the name asked for, ends the view
// (the latter logged under `path`). Returns the answer to pass on.
Answer CheckNext(const std::string& path, const Oid& view, const Oid& asked, Answer answer);

class ExtensionAgent : public Agent {
 public:
  // Loads and initialises the library at `nt_path`. On failure returns null and sets *result
  // (which is also set to kServed on success); the library is unloaded again.
  static std::unique_ptr<ExtensionAgent> Load(const std::string& nt_path, LoadResult* result);
  ~ExtensionAgent();
  ExtensionAgent(const ExtensionAgent&) = delete;
  ExtensionAgent& operator=(const ExtensionAgent&) = delete;

  const std::string& path() const override { return path_; }
  // The view the agent reported in SnmpExtensionInit (a copy; the agent keeps its own).
  const Oid& view() const override { return view_; }

  // Never kNoSuchObject: a loaded agent is always there.
  Answer Get(const Oid& name) override;
  Answer GetNext(const Oid& name) override;
  Answer Set(const Oid& name, const Value& value) override;

 private:
  struct Library;
  ExtensionAgent(std::string path, std::unique_ptr<Library> library, Oid view);
  Answer Query(unsigned char pdu_type, const Oid& name, const Value& value);

  std::string path_;
  std::unique_ptr<Library> library_;
  Oid view_;
};

}  // namespace snmphost

#endif  // PAIRWAY_TOOLS_SNMP_EXTENSION_AGENT_H
