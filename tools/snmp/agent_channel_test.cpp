// The channel's decoders are all that stands between an agent process gone wrong and the host:
// every message they accept must be one the host can pass on, every other one refused.
#include "agent_channel.h"

#include <gtest/gtest.h>

#include <cstring>

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
  ASSERT_TRUE(ReadRequest(Request(Op::kSet, {1, 3, 0xFFFFFFFFu}, counter), &op, &name, &value));
  EXPECT_EQ(op, Op::kSet);
  EXPECT_EQ(name, (Oid{1, 3, 0xFFFFFFFFu}));
  EXPECT_EQ(value.number, counter.number);

  Answer read;
  ASSERT_TRUE(ReadAnswer(AnswerMessage(Sample()), &read));
  EXPECT_EQ(read.name, Sample().name);
  EXPECT_EQ(read.value.octets, Sample().value.octets);

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
  Message good = AnswerMessage(Sample());
  Answer answer;
  // Every cut of a good answer, and one byte too many.
  for (size_t length = 0; length < good.size(); ++length) {
    EXPECT_FALSE(ReadAnswer(Message(good.begin(), good.begin() + length), &answer)) << length;
  }
  Message longer = good;
  longer.push_back(0);
  EXPECT_FALSE(ReadAnswer(longer, &answer));

  // Layout: tag 0, kind 1, status 2-5, name count 6-9, 11 ids 10-53, value type 54, ...
  EXPECT_FALSE(ReadAnswer(Patched(good, 6, 5000), &answer));         // name too long
  EXPECT_FALSE(ReadAnswer(Patched(good, 6, 0xFFFFFFFFu), &answer));  // no bytes behind it
  Message kind = good;
  kind[1] = 9;
  EXPECT_FALSE(ReadAnswer(kind, &answer));
  Message type = good;
  type[54] = 0x77;
  EXPECT_FALSE(ReadAnswer(type, &answer));
  EXPECT_FALSE(ReadAnswer(Patched(good, 2, 1), &answer));            // a status with a value
  EXPECT_FALSE(ReadAnswer(Patched(good, 55 + 16, 70000), &answer));  // string too long

  Answer error;
  error.kind = Answer::Kind::kError;
  for (int status : {0, 19, -1}) {
    error.error_status = status;
    EXPECT_FALSE(ReadAnswer(AnswerMessage(error), &answer)) << status;
  }
  error.error_status = kGenErr;
  EXPECT_TRUE(ReadAnswer(AnswerMessage(error), &answer));

  // Values no manager could be sent.
  Answer bad = Sample();
  bad.value = Value();
  bad.value.type = ValueType::kInteger;
  bad.value.integer = int64_t{1} << 31;
  EXPECT_FALSE(ReadAnswer(AnswerMessage(bad), &answer));
  bad.value.type = ValueType::kGauge32;
  bad.value.number = uint64_t{1} << 32;
  EXPECT_FALSE(ReadAnswer(AnswerMessage(bad), &answer));
  bad.value = Value();
  bad.value.type = ValueType::kIpAddress;
  bad.value.octets = {127, 0, 0};
  EXPECT_FALSE(ReadAnswer(AnswerMessage(bad), &answer));

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
