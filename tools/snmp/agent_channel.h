// agent_channel.h: the messages between the host and an agent process (agent_process.h).
//
// The channel is one SOCK_SEQPACKET socket pair, so every message is one packet and arrives
// whole or not at all. All numbers are little-endian, of the width given:
//
//   host -> agent   request   u8 op ('G' GET, 'N' GETNEXT, 'S' SET)  u8 ahead  oid name
//                             [value (SET)]
//   agent -> host   hello     u8 'H'  u32 kHelloMagic  u8 LoadResult  oid view   (once, first)
//                   log       u8 'L'  the line's bytes up to the packet's end     (any time)
//                   answers   u8 'A'  u8 count (1 + at most `ahead`), then count × answer
//   answer  u8 Answer::Kind  i32 error_status  oid name  value
//
//   oid    u32 count (at most kMaxOidLength), then count × u32
//   value  u8 ValueType  i64 integer  u64 number  u32 length (at most 65535), the bytes  oid
//
// The host asks one request at a time: after a request, the next packet that is not a log line
// is its answer. A GETNEXT may ask for up to kMaxAhead answers more: the GETNEXTs that follow,
// each from the name the one before answered, as a walk would ask them (agent_process.h). Whatever
// the agent process sends is decoded by these functions only, which refuse anything out of its
// range (unknown op, kind or type, an integer outside 32 bits, a 32-bit number above 2^32 - 1, an
// address not of 4 bytes, lengths beyond the limits or beyond the packet, bytes left over): the
// host then ends the process rather than trust it.
#ifndef PAIRWAY_TOOLS_SNMP_AGENT_CHANNEL_H
#define PAIRWAY_TOOLS_SNMP_AGENT_CHANNEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "binding.h"
#include "extension_agent.h"

namespace snmphost::channel {

inline constexpr uint32_t kHelloMagic = 0x50574147;
// No message is longer: an answer holds at most one string of 65535 bytes and two names.
inline constexpr size_t kMaxMessage = 80 * 1024;
inline constexpr uint8_t kMaxAhead = 15;

enum class Op : uint8_t { kGet = 'G', kGetNext = 'N', kSet = 'S' };
enum class Tag : uint8_t { kHello = 'H', kLog = 'L', kAnswer = 'A' };

using Message = std::vector<uint8_t>;

Message Request(Op op, const Oid& name, const Value& value, uint8_t ahead = 0);
Message Hello(LoadResult result, const Oid& view);
Message LogLine(const std::string& line);
// Stops adding answers where the message would grow beyond kMaxMessage; `answers` holds at least
// one, which always fits.
Message AnswerMessage(const std::vector<Answer>& answers);

// The tag of a message the agent process sent; false for an empty message or an unknown tag.
bool ReadTag(const Message& message, Tag* tag);

// Decoders; each is false, with the output unspecified, for a message it cannot trust.
bool ReadRequest(const Message& message, Op* op, Oid* name, Value* value, uint8_t* ahead);
bool ReadHello(const Message& message, LoadResult* result, Oid* view);
bool ReadLogLine(const Message& message, std::string* line);
// At least one answer and at most 1 + kMaxAhead.
bool ReadAnswers(const Message& message, std::vector<Answer>* answers);

}  // namespace snmphost::channel

#endif  // PAIRWAY_TOOLS_SNMP_AGENT_CHANNEL_H
