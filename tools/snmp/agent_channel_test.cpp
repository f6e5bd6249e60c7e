// The channel's decoders are all that stands between an agent process gone wrong and the host:
// every message they accept must be one the host can pass on, every other one refused.
#include "agent_channel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace snmphost::channel {
namespace {

Answer Sample() {
  Answer answer;
  answer.kind = Answer::Kind::kValue;
  answer.name = {1, 3, 6, 1, 4, 1, 32473, 99, 1, 2, 0};
  answer.value.type = ValueType::kOctets;
  answer.value.octets = {'p', 'a', 'i', 'r'};
  return answer;
}

// Overwrites the 4 bytes at `at` (little-endian u32).
Message Patched(Message message, size_t at, uint32_t value) {
  memcpy(message.data() + at, &value, sizeof value);
  return message;
}

TEST(AgentChannelTest, WhatTheHostSendsAndTheAgentAnswersComesBackTheSame) {
  Value counter;
  counter.type = ValueType::kCounter64;
  counter.number = (1ull << 40) + 5;
  Op op;
  Oid name;
  Value value;
  uint8_t ahead = 9;
  ASSERT_TRUE(
      ReadRequest(Request(Op::kSet, {1, 3, 0xFFFFFFFFu}, counter), &op, &name, &value, &ahead));
  EXPECT_EQ(op, Op::kSet);
  EXPECT_EQ(name, (Oid{1, 3, 0xFFFFFFFFu}));
  EXPECT_EQ(value.number, counter.number);
  EXPECT_EQ(ahead, 0);
  ASSERT_TRUE(
      ReadRequest(Request(Op::kGetNext, {1, 3}, Value(), kMaxAhead), &op, &name, &value, &ahead));
  EXPECT_EQ(ahead, kMaxAhead);
  // Read-ahead belongs to GETNEXT only, and only so far.
  EXPECT_FALSE(ReadRequest(Request(Op::kGet, {1, 3}, Value(), 1), &op, &name, &value, &ahead));
  EXPECT_FALSE(ReadRequest(Request(Op::kGetNext, {1, 3}, Value(), kMaxAhead + 1), &op, &name,
                           &value, &ahead));

  std::vector<Answer> read;
  ASSERT_TRUE(ReadAnswers(AnswerMessage({Sample()}), &read));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].name, Sample().name);
  EXPECT_EQ(read[0].value.octets, Sample().value.octets);
  // A read-ahead of more than fits in one message is cut short, never sent too long.
  Answer big = Sample();
  big.value.octets.assign(30000, 'x');
  Message cut = AnswerMessage(std::vector<Answer>(1 + kMaxAhead, big));
  EXPECT_LE(cut.size(), kMaxMessage);
  ASSERT_TRUE(ReadAnswers(cut, &read));
  EXPECT_EQ(read.size(), 2u);
  ASSERT_TRUE(ReadAnswers(AnswerMessage(std::vector<Answer>(20, Sample())), &read));
  EXPECT_EQ(read.size(), 1u + kMaxAhead);

  LoadResult result;
  Oid view;
  ASSERT_TRUE(ReadHello(Hello(LoadResult::kServed, {1, 3, 6}), &result, &view));
  EXPECT_EQ(view, (Oid{1, 3, 6}));
  ASSERT_TRUE(ReadHello(Hello(LoadResult::kDeclined, {}), &result, &view));
  EXPECT_EQ(result, LoadResult::kDeclined);
  std::string line;
  ASSERT_TRUE(ReadLogLine(LogLine("genErr"), &line));
  EXPECT_EQ(line, "genErr");
}

TEST(AgentChannelTest, MessagesOutOfRangeCutShortOrLongerAreRefused) {
  Message good = AnswerMessage({Sample()});
  std::vector<Answer> answer;
  // Every cut of a good answer, and one byte too many.
  for (size_t length = 0; length < good.size(); ++length) {
    EXPECT_FALSE(ReadAnswers(Message(good.begin(), good.begin() + length), &answer)) << length;
  }
  Message longer = good;
  longer.push_back(0);
  EXPECT_FALSE(ReadAnswers(longer, &answer));

  // Layout: tag 0, count 1, kind 2, status 3-6, name count 7-10, 11 ids 11-54, value type 55,
  // integer 56-63, number 64-71, string length 72-75, ...
  EXPECT_FALSE(ReadAnswers(Patched(good, 7, 5000), &answer));         // name too long
  EXPECT_FALSE(ReadAnswers(Patched(good, 7, 0xFFFFFFFFu), &answer));  // no bytes behind it
  EXPECT_FALSE(ReadAnswers(Patched(good, 72, 70000), &answer));       // string too long
  EXPECT_FALSE(ReadAnswers(Patched(good, 3, 1), &answer));            // a status with a value
  for (auto [at, byte] : {std::pair<size_t, uint8_t>{1, 0}, {1, 2}, {1, 17}, {2, 9}, {55, 0x77}}) {
    Message patched = good;
    patched[at] = byte;  // no answers, more than there are, too many; a kind, a type unknown
    EXPECT_FALSE(ReadAnswers(patched, &answer)) << at << " " << int{byte};
  }

  Answer error;
  error.kind = Answer::Kind::kError;
  for (int status : {0, 19, -1}) {
    error.error_status = status;
    EXPECT_FALSE(ReadAnswers(AnswerMessage({error}), &answer)) << status;
  }
  error.error_status = kGenErr;
  EXPECT_TRUE(ReadAnswers(AnswerMessage({error}), &answer));

  // Values no manager could be sent.
  Answer bad = Sample();
  bad.value = Value();
  bad.value.type = ValueType::kInteger;
  bad.value.integer = int64_t{1} << 31;
  EXPECT_FALSE(ReadAnswers(AnswerMessage({bad}), &answer));
  bad.value.type = ValueType::kGauge32;
  bad.value.number = uint64_t{1} << 32;
  EXPECT_FALSE(ReadAnswers(AnswerMessage({bad}), &answer));
  bad.value = Value();
  bad.value.type = ValueType::kIpAddress;
  bad.value.octets = {127, 0, 0};
  EXPECT_FALSE(ReadAnswers(AnswerMessage({bad}), &answer));

  // Hellos: the magic, a result that does not exist, a served agent without a view.
  LoadResult result;
  Oid view;
  Message hello = Hello(LoadResult::kServed, {1, 3});
  EXPECT_FALSE(ReadHello(Patched(hello, 1, 0), &result, &view));
  Message unknown = hello;
  unknown[5] = 99;
  EXPECT_FALSE(ReadHello(unknown, &result, &view));
  EXPECT_FALSE(ReadHello(Hello(LoadResult::kServed, {}), &result, &view));
  Tag tag;
  EXPECT_FALSE(ReadTag(Message{'Z'}, &tag));
  EXPECT_FALSE(ReadTag(Message{}, &tag));
}

}  // namespace
}  // namespace snmphost::channel
