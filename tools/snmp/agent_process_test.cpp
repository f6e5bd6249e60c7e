// Agents in processes of their own, without a master: what a crash, a hang and a stray write on
// the channel turn into, the back-off before the next start, and the view while it is down.
#include "agent_process.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <mutex>

#include "temp_root.h"
#include "testing/snmp_master.h"
#include "testing/test_agents.h"

namespace snmphost {
namespace {

using pairway::testing::TempRoot;
using testing::kGoodView;
using testing::Under;

const Oid kCrashView = {1, 3, 6, 1, 4, 1, 32473, 99, 0};
const Oid kHangView = {1, 3, 6, 1, 4, 1, 32473, 99, 7};
const Oid kScribbleView = {1, 3, 6, 1, 4, 1, 32473, 99, 8};

class AgentProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.program = (pairway::testing::BuildDir() / "bin" / "pairway-snmp").string();
    settings_.deadline = std::chrono::milliseconds(300);
    settings_.first_back_off = std::chrono::milliseconds(100);
    settings_.longest_back_off = std::chrono::milliseconds(400);
    SetLogSink([this](const std::string& line) {
      std::lock_guard<std::mutex> hold(mutex_);
      log_ += line + "\n";
    });
  }
  void TearDown() override { SetLogSink(nullptr); }

  std::unique_ptr<AgentProcess> Start(const std::string& variant, std::string* why = nullptr) {
    std::string path = testing::ListTestAgent(root_, variant, "1");
    std::string reason;
    std::unique_ptr<AgentProcess> agent = AgentProcess::Start(path, settings_, &reason);
    if (why != nullptr) *why = reason;
    return agent;
  }

  // Ticks until the agent is up again; false after about 15 s.
  static bool StartsAgain(AgentProcess* agent) {
    return testing::WaitFor([agent] {
      agent->Tick();
      return agent->up();
    });
  }

  std::string log() {
    std::lock_guard<std::mutex> hold(mutex_);
    return log_;
  }
  size_t Count(const std::string& text) {
    std::string all = log();
    size_t count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
  }

  TempRoot root_;
  ProcessSettings settings_;
  std::mutex mutex_;
  std::string log_;
};

TEST_F(AgentProcessTest, AnswersAsTheAgentInItsOwnProcess) {
  std::unique_ptr<AgentProcess> agent = Start("good");
  ASSERT_NE(agent, nullptr) << log();
  EXPECT_EQ(agent->view(), kGoodView);
  EXPECT_NE(agent->pid(), getpid());

  Answer text = agent->Get(Under(kGoodView, {2, 0}));
  ASSERT_EQ(text.kind, Answer::Kind::kValue);
  EXPECT_EQ(std::string(text.value.octets.begin(), text.value.octets.end()), "pairway");
  Answer counter64 = agent->Get(Under(kGoodView, {8, 0}));
  EXPECT_EQ(counter64.value.type, ValueType::kCounter64);
  EXPECT_EQ(counter64.value.number, (1ull << 40) + 5);
  EXPECT_EQ(agent->Get(Under(kGoodView, {1})).kind, Answer::Kind::kNoSuchName);
  EXPECT_EQ(agent->Set(Under(kGoodView, {1, 0}), Value()).kind, Answer::Kind::kNoSuchName);

  // A walk through the process, then the end of the view.
  Oid name = kGoodView;
  int objects = 0;
  for (Answer next = agent->GetNext(name); next.kind == Answer::Kind::kValue;
       next = agent->GetNext(name)) {
    ASSERT_GT(next.name, name);
    name = next.name;
    ++objects;
  }
  EXPECT_EQ(objects, 9);
  EXPECT_TRUE(agent->up());

  // The walk was read ahead; requests out of its order get the agent's own answers all the same.
  std::vector<Oid> walked;
  for (Answer next = agent->GetNext(kGoodView); next.kind == Answer::Kind::kValue;
       next = agent->GetNext(walked.back())) {
    walked.push_back(next.name);
    if (walked.size() == 3) {
      EXPECT_EQ(agent->GetNext(walked[0]).name, walked[1]);
      EXPECT_EQ(agent->GetNext(Under(kGoodView, {3})).name, Under(kGoodView, {3, 1}));
      EXPECT_EQ(agent->Get(walked[2]).kind, Answer::Kind::kValue);
    }
  }
  ASSERT_EQ(walked.size(), 9u);
  EXPECT_EQ(walked.back(), Under(kGoodView, {8, 0}));
  EXPECT_EQ(agent->GetNext(Under(kGoodView, {7, 0})).name, Under(kGoodView, {8, 0}));
}

TEST_F(AgentProcessTest, LibrariesThatCannotServeAreLeftOutWithTheReason) {
  std::string why;
  EXPECT_EQ(Start("declines", &why), nullptr);
  EXPECT_EQ(why, "SnmpExtensionInit returned FALSE");
  EXPECT_EQ(Start("crashes_on_init", &why), nullptr);
  EXPECT_EQ(why, "it crashed (Aborted) while loading or initialising");
  EXPECT_EQ(Start("crashes_on_load", &why), nullptr);
  EXPECT_NE(why.find("crashed"), std::string::npos) << why;
  EXPECT_EQ(AgentProcess::Start("C:\\WINNT\\System32\\missing.dll", settings_, &why), nullptr);
  EXPECT_EQ(why, "the library cannot be loaded");
}

TEST_F(AgentProcessTest, ACrashIsLoggedAnsweredGenErrAndTheAgentStartsAgainWithABackOff) {
  std::unique_ptr<AgentProcess> agent = Start("crashes_on_query");
  ASSERT_NE(agent, nullptr) << log();
  pid_t first = agent->pid();

  Answer crashed = agent->Get(Under(kCrashView, {1, 0}));
  EXPECT_EQ(crashed.kind, Answer::Kind::kError);
  EXPECT_EQ(crashed.error_status, kGenErr);
  EXPECT_NE(log().find("crashes_on_query.dll crashed (Aborted) during GET "
                       "1.3.6.1.4.1.32473.99.0.1.0; starting it again in 100 ms"),
            std::string::npos)
      << log();
  // Down: the view is absent until the agent is started again.
  EXPECT_FALSE(agent->up());
  EXPECT_EQ(agent->Get(Under(kCrashView, {1, 0})).kind, Answer::Kind::kNoSuchObject);
  EXPECT_EQ(agent->GetNext(kCrashView).kind, Answer::Kind::kEndOfView);
  EXPECT_EQ(agent->Set(Under(kCrashView, {1, 0}), Value()).kind, Answer::Kind::kNoSuchObject);

  // Started again (a new process, SnmpExtensionInit again), it crashes again: each crash that
  // no answer came between doubles the back-off, up to the longest.
  for (const char* delay : {"200 ms", "400 ms", "400 ms"}) {
    ASSERT_TRUE(StartsAgain(agent.get())) << log();
    EXPECT_NE(agent->pid(), first);
    EXPECT_EQ(agent->GetNext(kCrashView).kind, Answer::Kind::kError);
    EXPECT_NE(
        log().find(std::string("during GETNEXT 1.3.6.1.4.1.32473.99.0; starting it again in ") +
                   delay),
        std::string::npos)
        << log();
  }
  EXPECT_EQ(Count("started again (view 1.3.6.1.4.1.32473.99.0)"), 3u) << log();
}

TEST_F(AgentProcessTest, AHangIsEndedAtTheDeadlineAndAStrayWriteEndsTheProcess) {
  std::unique_ptr<AgentProcess> hang = Start("hangs");
  std::unique_ptr<AgentProcess> scribble = Start("scribbles");
  std::unique_ptr<AgentProcess> good = Start("good");
  ASSERT_TRUE(hang && scribble && good) << log();
  pid_t hung = hang->pid();

  Answer timed_out = hang->Get(Under(kHangView, {1, 0}));
  EXPECT_EQ(timed_out.kind, Answer::Kind::kError);
  EXPECT_EQ(timed_out.error_status, kGenErr);
  EXPECT_NE(log().find("hangs.dll did not answer GET 1.3.6.1.4.1.32473.99.7.1.0 within 300 ms and "
                       "was killed"),
            std::string::npos)
      << log();
  EXPECT_FALSE(hang->up());
  EXPECT_NE(kill(hung, 0), 0);  // killed and reaped, not left behind

  Answer stray = scribble->Get(Under(kScribbleView, {1, 0}));
  EXPECT_EQ(stray.error_status, kGenErr);
  EXPECT_NE(log().find("scribbles.dll sent what is no answer to GET 1.3.6.1.4.1.32473.99.8.1.0 "
                       "and was killed"),
            std::string::npos)
      << log();
  EXPECT_FALSE(scribble->up());

  // The others never noticed.
  EXPECT_EQ(good->Get(Under(kGoodView, {1, 0})).value.integer, -42);
  ASSERT_TRUE(StartsAgain(hang.get())) << log();
  EXPECT_EQ(hang->GetNext(kHangView).kind, Answer::Kind::kError);
  EXPECT_EQ(good->GetNext(kGoodView).name, Under(kGoodView, {1, 0}));
}

TEST_F(AgentProcessTest, AnAgentThatComesBackWithAnotherViewIsEndedAgain) {
  std::unique_ptr<AgentProcess> agent = Start("crashes_on_query");
  ASSERT_NE(agent, nullptr);
  EXPECT_EQ(agent->Get(Under(kCrashView, {1, 0})).kind, Answer::Kind::kError);
  // The library is replaced behind the host's back by one with another view.
  std::filesystem::remove(root_.path() / "drive_c" / "WINNT" / "System32" / "crashes_on_query.dll");
  pairway::testing::InstallInSystemDir(
      root_, "crashes_on_query.dll",
      pairway::testing::BuildDir() / "lib" / "tests" / "snmp_test_good.so");
  EXPECT_TRUE(testing::WaitFor([&] {
    agent->Tick();
    return log().find("started again with another view (1.3.6.1.4.1.32473.99.1) and was killed") !=
           std::string::npos;
  })) << log();
  EXPECT_FALSE(agent->up());
  EXPECT_EQ(agent->Get(Under(kGoodView, {1, 0})).kind, Answer::Kind::kNoSuchObject);
}

}  // namespace
}  // namespace snmphost
