// The host's side of an agent process: starting it, one request at a time under a deadline,
// and ending and starting it again when it fails.
#include "agent_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char** environ;

namespace snmphost {
namespace {

using Clock = std::chrono::steady_clock;

const char* OpText(channel::Op op) {
  switch (op) {
    case channel::Op::kGet:
      return "GET";
    case channel::Op::kGetNext:
      return "GETNEXT";
    case channel::Op::kSet:
      return "SET";
  }
  return "?";
}

Answer Absent(channel::Op op) {
  Answer answer;
  answer.kind =
      op == channel::Op::kGetNext ? Answer::Kind::kEndOfView : Answer::Kind::kNoSuchObject;
  return answer;
}

Answer GenErr() {
  Answer answer;
  answer.kind = Answer::Kind::kError;
  answer.error_status = kGenErr;
  return answer;
}

// The kinds a child may answer each request with (GETNEXT's end of the view is its noSuchName).
bool Plausible(channel::Op op, Answer::Kind kind) {
  return kind == Answer::Kind::kValue || kind == Answer::Kind::kNoSuchName ||
         kind == Answer::Kind::kError ||
         (op == channel::Op::kGetNext && kind == Answer::Kind::kEndOfView);
}

std::string Delay(std::chrono::milliseconds time) {
  if (time.count() % 1000 != 0) return std::to_string(time.count()) + " ms";
  return std::to_string(time.count() / 1000) + " s";
}

}  // namespace

AgentProcess::AgentProcess(std::string path, const ProcessSettings& settings)
    : path_(std::move(path)), settings_(settings), back_off_(settings.first_back_off) {
  buffer_.resize(channel::kMaxMessage + 1);
}

AgentProcess::~AgentProcess() { Kill(); }

std::unique_ptr<AgentProcess> AgentProcess::Start(const std::string& nt_path,
                                                  const ProcessSettings& settings,
                                                  std::string* why) {
  std::unique_ptr<AgentProcess> agent(new AgentProcess(nt_path, settings));
  if (!agent->Spawn(why)) return nullptr;
  channel::Message hello;
  Received received = agent->Next(Clock::now() + settings.start_time_out, &hello);
  LoadResult result = LoadResult::kNotLoaded;
  if (received == Received::kTimedOut) {
    *why = "it did not finish starting in time and was killed";
  } else if (received == Received::kClosed) {
    *why = "it " + agent->Reap() + " while loading or initialising";
  } else if (received != Received::kMessage || !channel::ReadHello(hello, &result, &agent->view_)) {
    *why = "its process sent no proper hello";
  } else if (result != LoadResult::kServed) {
    *why = LoadResultText(result);
  } else {
    agent->state_ = State::kUp;
    return agent;
  }
  return nullptr;  // the destructor kills what is left of the child
}

bool AgentProcess::Spawn(std::string* why) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    *why = std::string("cannot make its channel: ") + strerror(errno);
    return false;
  }
  // The child's end must not already be the number it gets: dup2 onto itself would keep it
  // close-on-exec.
  if (ends[1] <= kChannelFd) {
    int moved = fcntl(ends[1], F_DUPFD_CLOEXEC, kChannelFd + 1);
    close(ends[1]);
    ends[1] = moved;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], kChannelFd);
  std::string program = settings_.program;
  char* argv[] = {program.data(), const_cast<char*>(kAgentOption), path_.data(), nullptr};
  int error =
      ends[1] < 0 ? EMFILE : posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (ends[1] >= 0) close(ends[1]);
  if (error != 0) {
    close(ends[0]);
    pid_ = -1;
    *why = std::string("cannot start its process: ") + strerror(error);
    return false;
  }
  fd_ = ends[0];
  state_ = State::kStarting;
  start_deadline_ = Clock::now() + settings_.start_time_out;
  return true;
}

AgentProcess::Received AgentProcess::Next(Clock::time_point deadline, channel::Message* message) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd channel{fd_, POLLIN, 0};
    int ready = poll(&channel, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return Received::kTimedOut;
    ssize_t length = recv(fd_, buffer_.data(), buffer_.size(), MSG_TRUNC | MSG_DONTWAIT);
    if (length < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (length <= 0) return Received::kClosed;
    if (static_cast<size_t>(length) > channel::kMaxMessage) return Received::kTooLong;
    message->assign(buffer_.begin(), buffer_.begin() + length);
    channel::Tag tag;
    std::string line;
    if (channel::ReadTag(*message, &tag) && tag == channel::Tag::kLog &&
        channel::ReadLogLine(*message, &line)) {
      Log(path_ + ": " + line);
      continue;
    }
    return Received::kMessage;
  }
}

std::string AgentProcess::Reap() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  int status = 0;
  while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFSIGNALED(status)) return std::string("crashed (") + strsignal(WTERMSIG(status)) + ")";
  return "exited with status " + std::to_string(WEXITSTATUS(status));
}

void AgentProcess::Kill() {
  if (pid_ > 0) kill(pid_, SIGKILL);
  Reap();
}

void AgentProcess::Fail(const std::string& reason) {
  Kill();
  ahead_.clear();
  state_ = State::kDown;
  next_start_ = Clock::now() + back_off_;
  Log(path_ + " " + reason + "; starting it again in " + Delay(back_off_));
  back_off_ = std::min(back_off_ * 2, settings_.longest_back_off);
}

void AgentProcess::Tick() {
  if (state_ == State::kDown) {
    if (Clock::now() < next_start_) return;
    std::string why;
    if (!Spawn(&why)) {
      Fail(why);
      return;
    }
  }
  if (state_ != State::kStarting) return;
  channel::Message hello;
  Received received = Next(Clock::now(), &hello);
  LoadResult result = LoadResult::kNotLoaded;
  Oid view;
  if (received == Received::kTimedOut) {
    if (Clock::now() >= start_deadline_) Fail("did not finish starting in time and was killed");
  } else if (received == Received::kClosed) {
    Fail(Reap() + " while starting again");
  } else if (received != Received::kMessage || !channel::ReadHello(hello, &result, &view)) {
    Fail("sent no proper hello and was killed");
  } else if (result != LoadResult::kServed) {
    Fail(std::string("did not start again: ") + LoadResultText(result));
  } else if (view != view_) {
    Fail("started again with another view (" + OidText(view) + ") and was killed");
  } else {
    state_ = State::kUp;
    Log(path_ + " started again (view " + OidText(view_) + ")");
  }
}

std::vector<Answer> AgentProcess::Exchange(channel::Op op, const Oid& name, const Value& value,
                                           uint8_t ahead) {
  if (state_ != State::kUp) return {Absent(op)};
  channel::Message message = channel::Request(op, name, value, ahead);
  auto request = [&] { return std::string(OpText(op)) + " " + OidText(name); };
  if (send(fd_, message.data(), message.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(message.size())) {
    Fail(Reap() + " before " + request());
    return {GenErr()};
  }
  Received received = Next(Clock::now() + settings_.deadline, &message);
  std::vector<Answer> answers;
  if (received == Received::kTimedOut) {
    Fail("did not answer " + request() + " within " + std::to_string(settings_.deadline.count()) +
         " ms and was killed");
  } else if (received == Received::kClosed) {
    Fail(Reap() + " during " + request());
  } else if (received == Received::kTooLong || !channel::ReadAnswers(message, &answers) ||
             answers.size() > 1u + ahead ||
             !std::all_of(answers.begin(), answers.end(),
                          [op](const Answer& answer) { return Plausible(op, answer.kind); })) {
    Fail("sent what is no answer to " + request() + " and was killed");
  } else {
    back_off_ = settings_.first_back_off;
    return answers;
  }
  return {GenErr()};
}

Answer AgentProcess::Get(const Oid& name) { return Exchange(channel::Op::kGet, name, Value())[0]; }

Answer AgentProcess::Set(const Oid& name, const Value& value) {
  ahead_.clear();  // the values read ahead may be the ones this changes
  return Exchange(channel::Op::kSet, name, value)[0];
}

Answer AgentProcess::GetNext(const Oid& name) {
  Answer answer;
  if (next_ahead_ < ahead_.size() && name == ahead_from_ && Clock::now() < ahead_until_) {
    answer = CheckNext(path_, view_, name, std::move(ahead_[next_ahead_++]));
  } else {
    // A walk asks from the name the last GETNEXT answered: read further ahead each time.
    window_ = name == last_next_ && !name.empty()
                  ? static_cast<uint8_t>(std::min(window_ * 2 + 1, int{channel::kMaxAhead}))
                  : 0;
    ahead_ = Exchange(channel::Op::kGetNext, name, Value(), window_);
    next_ahead_ = 1;
    ahead_until_ = Clock::now() + kReadAheadLife;
    answer = CheckNext(path_, view_, name, std::move(ahead_[0]));
  }
  if (answer.kind == Answer::Kind::kValue) {
    ahead_from_ = answer.name;
    last_next_ = answer.name;
  } else {
    ahead_.clear();
    last_next_.clear();
  }
  return answer;
}

}  // namespace snmphost
