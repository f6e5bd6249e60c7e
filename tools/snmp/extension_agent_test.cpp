// The host's dealings with one agent, in this process and without a master: what the good test
// agent's answers become, and that a misbehaving agent's answers never reach the master.
#include "extension_agent.h"

#include <gtest/gtest.h>

#include "temp_root.h"
#include "testing/test_agents.h"

namespace snmphost {
namespace {

using pairway::testing::TempRoot;
using testing::kGoodView;
using testing::Under;

class ExtensionAgentTest : public ::testing::Test {
 protected:
  std::unique_ptr<ExtensionAgent> Load(const std::string& variant, LoadResult* result) {
    std::string path = testing::ListTestAgent(root_, variant, "1");
    return ExtensionAgent::Load(path, result);
  }
  std::unique_ptr<ExtensionAgent> LoadServed(const std::string& variant) {
    LoadResult result = LoadResult::kNotLoaded;
    std::unique_ptr<ExtensionAgent> agent = Load(variant, &result);
    EXPECT_EQ(result, LoadResult::kServed);
    return agent;
  }

  TempRoot root_;
};

TEST_F(ExtensionAgentTest, GetAnswersEveryValueTypeAndRefusesNonInstances) {
  std::unique_ptr<ExtensionAgent> agent = LoadServed("good");
  ASSERT_NE(agent, nullptr);
  EXPECT_EQ(agent->view(), kGoodView);

  Answer integer = agent->Get(Under(kGoodView, {1, 0}));
  ASSERT_EQ(integer.kind, Answer::Kind::kValue);
  EXPECT_EQ(integer.value.type, ValueType::kInteger);
  EXPECT_EQ(integer.value.integer, -42);

  Answer text = agent->Get(Under(kGoodView, {2, 0}));
  ASSERT_EQ(text.kind, Answer::Kind::kValue);
  EXPECT_EQ(std::string(text.value.octets.begin(), text.value.octets.end()), "pairway");

  Answer counter = agent->Get(Under(kGoodView, {3, 2}));
  EXPECT_EQ(counter.value.type, ValueType::kCounter32);
  EXPECT_EQ(counter.value.number, 4294967295u);

  Answer object = agent->Get(Under(kGoodView, {4, 0}));
  EXPECT_EQ(object.value.type, ValueType::kObjectId);
  EXPECT_EQ(object.value.object, (Oid{1, 3, 6, 1, 4, 1, 32473}));

  Answer address = agent->Get(Under(kGoodView, {5, 0}));
  EXPECT_EQ(address.value.type, ValueType::kIpAddress);
  EXPECT_EQ(address.value.octets, (std::vector<uint8_t>{127, 0, 0, 1}));

  Answer wide = agent->Get(Under(kGoodView, {8, 0}));
  EXPECT_EQ(wide.value.type, ValueType::kCounter64);
  EXPECT_EQ(wide.value.number, (1ull << 40) + 5);

  EXPECT_EQ(agent->Get(Under(kGoodView, {1})).kind, Answer::Kind::kNoSuchName);
  EXPECT_EQ(agent->Get({}).kind, Answer::Kind::kNoSuchName);
  EXPECT_EQ(agent->Get(Oid(kMaxOidLength, 4294967295u)).kind, Answer::Kind::kNoSuchName);
}

TEST_F(ExtensionAgentTest, GetNextVisitsEveryInstanceInOrderThenEndsTheView) {
  std::unique_ptr<ExtensionAgent> agent = LoadServed("good");
  ASSERT_NE(agent, nullptr);
  std::vector<Oid> visited;
  Oid name = kGoodView;
  for (;;) {
    Answer answer = agent->GetNext(name);
    if (answer.kind != Answer::Kind::kValue) {
      EXPECT_EQ(answer.kind, Answer::Kind::kEndOfView);
      break;
    }
    ASSERT_GT(answer.name, name);
    name = answer.name;
    visited.push_back(name);
    ASSERT_LT(visited.size(), 20u);
  }
  ASSERT_EQ(visited.size(), 9u);
  EXPECT_EQ(visited.front(), Under(kGoodView, {1, 0}));
  EXPECT_EQ(visited.back(), Under(kGoodView, {8, 0}));

  // Names before the view start it; names past it, however long, end it.
  EXPECT_EQ(agent->GetNext({1, 3}).name, Under(kGoodView, {1, 0}));
  EXPECT_EQ(agent->GetNext({1, 3, 6, 1, 4, 1, 32473, 99, 2}).kind, Answer::Kind::kEndOfView);
  EXPECT_EQ(agent->GetNext(Oid(kMaxOidLength, 4294967295u)).kind, Answer::Kind::kEndOfView);
}

TEST_F(ExtensionAgentTest, SetGetsTheAgentsReadOnlyAnswer) {
  std::unique_ptr<ExtensionAgent> agent = LoadServed("good");
  ASSERT_NE(agent, nullptr);
  Value value;
  value.type = ValueType::kOctets;
  value.octets = {'x'};
  EXPECT_EQ(agent->Set(Under(kGoodView, {2, 0}), value).kind, Answer::Kind::kNoSuchName);
  value.type = ValueType::kObjectId;
  value.object = {1, 3, 6};
  EXPECT_EQ(agent->Set(Under(kGoodView, {4, 0}), value).kind, Answer::Kind::kNoSuchName);
}

TEST_F(ExtensionAgentTest, GarbageAnswersBecomeGenErrOrTheEndOfTheView) {
  std::unique_ptr<ExtensionAgent> agent = LoadServed("garbage");
  ASSERT_NE(agent, nullptr);
  const Oid view = {1, 3, 6, 1, 4, 1, 32473, 99, 2};
  // An unknown type, a string without bytes, a status outside the protocol, a list the agent
  // resized, a name of 5000 sub-identifiers that are not there.
  for (uint32_t object = 1; object <= 5; ++object) {
    SCOPED_TRACE(object);
    Answer answer = agent->Get(Under(view, {object, 0}));
    EXPECT_EQ(answer.kind, Answer::Kind::kError);
    EXPECT_EQ(answer.error_status, kGenErr);
  }
  // The same name back from a GETNEXT would loop a walk.
  EXPECT_EQ(agent->GetNext(Under(view, {1, 0})).kind, Answer::Kind::kEndOfView);
}

TEST_F(ExtensionAgentTest, LibrariesThatCannotServeAreNotLoaded) {
  LoadResult result = LoadResult::kServed;
  EXPECT_EQ(Load("declines", &result), nullptr);
  EXPECT_EQ(result, LoadResult::kDeclined);

  EXPECT_EQ(ExtensionAgent::Load("C:\\WINNT\\System32\\absent.dll", &result), nullptr);
  EXPECT_EQ(result, LoadResult::kNotLoaded);

  // A library, but no agent: the platform library itself.
  pairway::testing::InstallInSystemDir(
      root_, "notanagent.dll", pairway::testing::BuildDir() / "lib" / "libpairway-platform.so");
  EXPECT_EQ(ExtensionAgent::Load("C:\\WINNT\\System32\\notanagent.dll", &result), nullptr);
  EXPECT_EQ(result, LoadResult::kNoEntryPoints);
}

}  // namespace
}  // namespace snmphost
