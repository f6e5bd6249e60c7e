// The agent process: `pairway-snmp --agent NT_PATH`, one library, answering its host on fd 3.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "agent_channel.h"
#include "agent_process.h"

namespace snmphost {
namespace {

constexpr std::chrono::milliseconds kReadAheadBudget(10);

bool Send(const channel::Message& message) {
  return send(kChannelFd, message.data(), message.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(message.size());
}

// Nothing of the host's but the channel: the agent library must not reach the master's socket
// or another agent's channel, whatever the host failed to mark close-on-exec.
void CloseInherited() {
  if (syscall(SYS_close_range, kChannelFd + 1, ~0u, 0) == 0) return;
  for (int fd = kChannelFd + 1; fd < 1024; ++fd) close(fd);
}

// The answer to the request, and for a GETNEXT with `ahead` the answers to the GETNEXTs that
// would follow it, each from the name the one before answered, as long as they find a value
// and the budget lasts: a slow agent must not miss the host's deadline for its read-ahead.
std::vector<Answer> Serve(ExtensionAgent* agent, channel::Op op, const Oid& name,
                          const Value& value, uint8_t ahead) {
  switch (op) {
    case channel::Op::kGet:
      return {agent->Get(name)};
    case channel::Op::kSet:
      return {agent->Set(name, value)};
    case channel::Op::kGetNext:
      break;
  }
  auto started = std::chrono::steady_clock::now();
  std::vector<Answer> answers = {agent->GetNext(name)};
  while (answers.size() <= ahead && answers.back().kind == Answer::Kind::kValue &&
         std::chrono::steady_clock::now() - started < kReadAheadBudget) {
    Oid after = answers.back().name;
    answers.push_back(agent->GetNext(after));
  }
  return answers;
}

}  // namespace

int RunAgentProcess(const std::string& nt_path) {
  // Ends with the host, however the host ends; a host gone already leaves nobody to serve.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) return 1;
  CloseInherited();
  // A Ctrl-C in the host's terminal is the host's to handle; the channel closing ends this one.
  signal(SIGINT, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  SetLogSink([](const std::string& line) { Send(channel::LogLine(line)); });

  LoadResult result = LoadResult::kNotLoaded;
  // Never unloaded: the process ends with the library in it, as its host decides.
  ExtensionAgent* agent = ExtensionAgent::Load(nt_path, &result).release();
  if (!Send(channel::Hello(result, agent != nullptr ? agent->view() : Oid()))) return 1;
  if (agent == nullptr) return static_cast<int>(result);

  channel::Message buffer(channel::kMaxMessage + 1);
  for (;;) {
    ssize_t length = recv(kChannelFd, buffer.data(), buffer.size(), MSG_TRUNC);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) return 0;  // the host closed the channel
    channel::Message request(buffer.begin(),
                             buffer.begin() + std::min<ssize_t>(length, channel::kMaxMessage));
    channel::Op op;
    Oid name;
    Value value;
    uint8_t ahead = 0;
    if (static_cast<size_t>(length) > channel::kMaxMessage ||
        !channel::ReadRequest(request, &op, &name, &value, &ahead)) {
      return 2;  // not the host speaking
    }
    if (!Send(channel::AnswerMessage(Serve(agent, op, name, value, ahead)))) return 0;
  }
}

}  // namespace snmphost
