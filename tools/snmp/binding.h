// binding.h: one variable binding as the host passes it between the master and an agent.
//
// The agents speak the platform's SNMP types (snmp.h) and the master speaks net-snmp's; the two
// sets of headers define the same names differently and cannot meet in one file. These small
// types stand between them: extension_agent.cpp converts to and from the platform's, and
// agentx_bridge.cpp to and from net-snmp's. They own their data, so nothing an agent allocated
// outlives the call that returned it.
#ifndef PAIRWAY_TOOLS_SNMP_BINDING_H
#define PAIRWAY_TOOLS_SNMP_BINDING_H

#include <cstdint>
#include <string>
#include <vector>

namespace snmphost {

// An object identifier: at most kMaxOidLength sub-identifiers of 32 bits.
using Oid = std::vector<uint32_t>;
inline constexpr size_t kMaxOidLength = 128;

// The value types an agent may answer with; the names follow SMIv2.
enum class ValueType {
  kNull,
  kInteger,
  kOctets,
  kObjectId,
  kIpAddress,
  kCounter32,
  kGauge32,
  kTimeTicks,
  kOpaque,
  kCounter64,
  kUnsigned32,
};

struct Value {
  ValueType type = ValueType::kNull;
  int64_t integer = 0;          // kInteger (signed 32-bit range)
  uint64_t number = 0;          // kCounter32, kGauge32, kTimeTicks, kUnsigned32, kCounter64
  std::vector<uint8_t> octets;  // kOctets, kOpaque, kIpAddress (4 bytes)
  Oid object;                   // kObjectId
};

// What an agent made of one binding.
struct Answer {
  enum class Kind {
    kValue,         // `name` and `value` hold the answer
    kNoSuchName,    // GET: not an instance of the agent's MIB; SET: refused as read-only
    kNoSuchObject,  // GET, SET: the agent's view is absent (its process is down)
    kEndOfView,     // GETNEXT: nothing after the name inside the agent's view
    kError,         // `error_status` holds an SNMP error status (genErr for a broken answer)
  };
  Kind kind = Kind::kError;
  int error_status = 0;
  Oid name;
  Value value;
};

// SNMP error statuses the host itself produces.
inline constexpr int kNoError = 0;
inline constexpr int kNoSuchName = 2;
inline constexpr int kGenErr = 5;

// "1.3.6.1" for logs.
std::string OidText(const Oid& oid);

}  // namespace snmphost

#endif  // PAIRWAY_TOOLS_SNMP_BINDING_H
