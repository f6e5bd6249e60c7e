// agent_process.h: one extension agent in a process of its own, so that nothing it does can end
// or stall the host and the other agents.
//
// The host runs itself as `pairway-snmp --agent NT_PATH` with one end of a socket pair as fd 3
// (agent_channel.h). That child loads the library, calls SnmpExtensionInit, says hello with the
// view, and answers one request at a time through an ExtensionAgent of its own, which checks and
// frees the agent's answers as in the host. The host checks every message again on its side:
//
//   - a child that dies (a crash in SnmpExtensionQuery) is logged with the agent's path, how it
//     ended and the request it was answering; that request is answered genErr;
//   - a request not answered within the deadline (settings.deadline, below the master's AgentX
//     time-out so that the master never gives up on the host) is answered genErr and the child
//     is killed;
//   - a child that sends anything the channel's decoders refuse, or an answer of a kind the
//     request cannot have, is killed as well: it is never trusted again;
//   - an ended child is started again (SnmpExtensionInit again) after a back-off of 1 s, doubled
//     after every start that did not lead to an answer, up to 60 s. While it is down its view is
//     absent: GET and SET answer kNoSuchObject, GETNEXT the end of the view, so a walk goes on
//     to the next registration. A child whose new hello reports another view is ended again.
//
// A walk is read ahead: a GETNEXT from the very name the previous GETNEXT answered asks the child
// for the GETNEXTs that follow as well (1 more, then 3, 7, up to 15), each from the name the one
// before found, in one message; the next requests of the walk are answered from those, checked
// as any answer, while they are at most kReadAheadLife old. A GETNEXT from any other name, a
// SET, or the child ending drops them. The child stops reading ahead after 10 ms, so a slow agent
// never misses the deadline for a read-ahead the host asked of it. A walk so costs one round trip
// to the child per 16 objects instead of one per object; a single GETNEXT is asked alone, so no
// agent is called for more than a walk asks of it but for the last few objects of the read-ahead.
//
// Log lines the agent's ExtensionAgent writes arrive over the channel and go to the host's log.
// Like ExtensionAgent, an AgentProcess is used on one thread; Tick runs on the same one.
#ifndef PAIRWAY_TOOLS_SNMP_AGENT_PROCESS_H
#define PAIRWAY_TOOLS_SNMP_AGENT_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "agent_channel.h"
#include "extension_agent.h"

namespace snmphost {

inline constexpr char kAgentOption[] = "--agent";
// The child's end of the channel.
inline constexpr int kChannelFd = 3;
// How long answers read ahead may stand in for asking the agent again.
inline constexpr std::chrono::milliseconds kReadAheadLife(50);

struct ProcessSettings {
  std::string program = "/proc/self/exe";  // a pairway-snmp, run with --agent
  std::chrono::milliseconds deadline{500};
  std::chrono::milliseconds start_time_out{30000};
  std::chrono::milliseconds first_back_off{1000};
  std::chrono::milliseconds longest_back_off{60000};
};

class AgentProcess : public Agent {
 public:
  // Starts the agent's process and waits for its hello (up to settings.start_time_out). Null,
  // with the reason for the log in *why, when the agent does not serve: the library cannot be
  // loaded or declines (the LoadResult's text), its process crashed or hung while starting.
  static std::unique_ptr<AgentProcess> Start(const std::string& nt_path,
                                             const ProcessSettings& settings, std::string* why);
  // Kills and reaps the child.
  ~AgentProcess() override;
  AgentProcess(const AgentProcess&) = delete;
  AgentProcess& operator=(const AgentProcess&) = delete;

  const std::string& path() const override { return path_; }
  const Oid& view() const override { return view_; }
  Answer Get(const Oid& name) override;
  Answer GetNext(const Oid& name) override;
  Answer Set(const Oid& name, const Value& value) override;

  // Starts a child that is down once its back-off has passed, and takes the hello of one that is
  // starting (without waiting for it). Call it often; it never blocks for long.
  void Tick();
  // True while a child is up and serving the view.
  bool up() const { return state_ == State::kUp; }
  pid_t pid() const { return pid_; }

 private:
  enum class State { kUp, kStarting, kDown };
  enum class Received { kMessage, kTimedOut, kClosed, kTooLong };

  AgentProcess(std::string path, const ProcessSettings& settings);
  // Starts a child; false (with *why) when it cannot be started at all.
  bool Spawn(std::string* why);
  // Takes the next message that is no log line (those go to the log) before `deadline`.
  Received Next(std::chrono::steady_clock::time_point deadline, channel::Message* message);
  // How the child ended, after the channel closed ("crashed (Aborted)", "exited with status 3").
  std::string Reap();
  // Ends the child (if any) for `reason`, logs it and schedules the next start.
  void Fail(const std::string& reason);
  void Kill();
  // Sends the request and returns the child's answers (one, or more for a GETNEXT with
  // `ahead`); on failure the child is ended and the one answer is genErr.
  std::vector<Answer> Exchange(channel::Op op, const Oid& name, const Value& value,
                               uint8_t ahead = 0);

  std::string path_;
  ProcessSettings settings_;
  Oid view_;
  State state_ = State::kDown;
  pid_t pid_ = -1;
  int fd_ = -1;
  std::chrono::steady_clock::time_point next_start_;
  std::chrono::steady_clock::time_point start_deadline_;
  std::chrono::milliseconds back_off_;
  channel::Message buffer_;
  // The walk's read-ahead: ahead_[next_ahead_..] answer GETNEXTs from ahead_from_ on.
  std::vector<Answer> ahead_;
  size_t next_ahead_ = 0;
  Oid ahead_from_;
  std::chrono::steady_clock::time_point ahead_until_;
  Oid last_next_;  // the name the last GETNEXT answered (empty when it ended the view)
  uint8_t window_ = 0;
};

// The child's side: loads the library, says hello, answers requests on kChannelFd until the
// host closes it. Returns the exit status.
int RunAgentProcess(const std::string& nt_path);

}  // namespace snmphost

#endif  // PAIRWAY_TOOLS_SNMP_AGENT_PROCESS_H
