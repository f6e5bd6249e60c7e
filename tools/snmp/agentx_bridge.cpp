// net-snmp's side of the host: the subagent role, one handler per agent view, and the
// conversions between net-snmp's bindings and the host's.
#include "agentx_bridge.h"

// clang-format off: net-snmp's headers must come in this order.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
// clang-format on

#include <stdlib.h>
#include <syslog.h>

namespace snmphost {
namespace {

const char kAppName[] = "pairway-snmp";

// Sub-identifiers of net-snmp names are wider than 32 bits; on the wire they are 32 bits, and the
// subagent side of the library reads them as signed: 2^31 .. 2^32 - 1 arrive sign-extended
// (2^31 as 0xFFFFFFFF80000000). Those are the large unsigned numbers they were sent as; any
// other value above 32 bits cannot have come from the master.
bool ToHost(const oid* ids, size_t length, Oid* out) {
  if (length > kMaxOidLength) return false;
  out->clear();
  for (size_t i = 0; i < length; ++i) {
    uint64_t id = ids[i];
    constexpr uint64_t kSignExtended = 0xFFFFFFFF80000000u;
    if (id > 0xFFFFFFFFu && (id & kSignExtended) != kSignExtended) return false;
    out->push_back(static_cast<uint32_t>(id));
  }
  return true;
}

std::vector<oid> ToNetsnmp(const Oid& name) { return std::vector<oid>(name.begin(), name.end()); }

// A SET's new value, for the agent to judge.
Value ToHost(const netsnmp_variable_list& vb) {
  Value value;
  const u_char* bytes = vb.val.string;
  switch (vb.type) {
    case ASN_INTEGER:
      value.type = ValueType::kInteger;
      value.integer = *vb.val.integer;
      break;
    case ASN_OCTET_STR:
    case ASN_OPAQUE:
    case ASN_IPADDRESS:
      value.type = vb.type == ASN_OCTET_STR ? ValueType::kOctets
                   : vb.type == ASN_OPAQUE  ? ValueType::kOpaque
                                            : ValueType::kIpAddress;
      value.octets.assign(bytes, bytes + vb.val_len);
      break;
    case ASN_OBJECT_ID:
      value.type = ValueType::kObjectId;
      if (!ToHost(vb.val.objid, vb.val_len / sizeof(oid), &value.object)) value.object.clear();
      break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
      value.type = vb.type == ASN_COUNTER ? ValueType::kCounter32
                   : vb.type == ASN_GAUGE ? ValueType::kGauge32
                                          : ValueType::kTimeTicks;
      value.number = static_cast<uint32_t>(*vb.val.integer);
      break;
    case ASN_COUNTER64:
      value.type = ValueType::kCounter64;
      value.number =
          (uint64_t{vb.val.counter64->high} << 32) | (vb.val.counter64->low & 0xFFFFFFFF);
      break;
    default:
      break;
  }
  return value;
}

void SetValue(netsnmp_variable_list* vb, const Value& value) {
  switch (value.type) {
    case ValueType::kNull:
      snmp_set_var_typed_value(vb, ASN_NULL, nullptr, 0);
      return;
    case ValueType::kInteger: {
      long number = static_cast<long>(value.integer);
      snmp_set_var_typed_value(vb, ASN_INTEGER, &number, sizeof number);
      return;
    }
    case ValueType::kOctets:
    case ValueType::kOpaque:
    case ValueType::kIpAddress: {
      u_char type = value.type == ValueType::kOctets   ? ASN_OCTET_STR
                    : value.type == ValueType::kOpaque ? ASN_OPAQUE
                                                       : ASN_IPADDRESS;
      snmp_set_var_typed_value(vb, type, value.octets.data(), value.octets.size());
      return;
    }
    case ValueType::kObjectId: {
      std::vector<oid> ids = ToNetsnmp(value.object);
      snmp_set_var_typed_value(vb, ASN_OBJECT_ID, ids.data(), ids.size() * sizeof(oid));
      return;
    }
    case ValueType::kCounter64: {
      counter64 number{static_cast<u_long>(value.number >> 32),
                       static_cast<u_long>(value.number & 0xFFFFFFFF)};
      snmp_set_var_typed_value(vb, ASN_COUNTER64, &number, sizeof number);
      return;
    }
    case ValueType::kCounter32:
    case ValueType::kGauge32:
    case ValueType::kTimeTicks:
    case ValueType::kUnsigned32: {
      u_char type = value.type == ValueType::kCounter32   ? ASN_COUNTER
                    : value.type == ValueType::kTimeTicks ? ASN_TIMETICKS
                                                          : ASN_GAUGE;
      u_long number = static_cast<u_long>(value.number);
      snmp_set_var_typed_value(vb, type, &number, sizeof number);
      return;
    }
  }
}

void AnswerGet(Agent* agent, const Oid& name, netsnmp_agent_request_info* info,
               netsnmp_request_info* request) {
  Answer answer = agent->Get(name);
  if (answer.kind == Answer::Kind::kValue) {
    SetValue(request->requestvb, answer.value);
  } else if (answer.kind == Answer::Kind::kError) {
    netsnmp_set_request_error(info, request, answer.error_status);
  } else if (answer.kind == Answer::Kind::kNoSuchObject) {
    netsnmp_set_request_error(info, request, SNMP_NOSUCHOBJECT);
  } else {
    netsnmp_set_request_error(info, request, SNMP_NOSUCHINSTANCE);
  }
}

// With `inclusive` the master asks for the name itself if it is an instance (it sends the start
// of the view that way), else for the one after it.
void AnswerGetNext(Agent* agent, const Oid& name, bool inclusive, netsnmp_agent_request_info* info,
                   netsnmp_request_info* request) {
  if (inclusive) {
    Answer exact = agent->Get(name);
    if (exact.kind == Answer::Kind::kValue) {
      SetValue(request->requestvb, exact.value);
      return;
    }
  }
  Answer answer = agent->GetNext(name);
  if (answer.kind == Answer::Kind::kValue) {
    std::vector<oid> next = ToNetsnmp(answer.name);
    snmp_set_var_objid(request->requestvb, next.data(), next.size());
    SetValue(request->requestvb, answer.value);
  } else if (answer.kind == Answer::Kind::kError) {
    netsnmp_set_request_error(info, request, answer.error_status);
  }
  // kEndOfView: unanswered, so the master moves on past the view.
}

void AnswerSet(Agent* agent, const Oid& name, netsnmp_agent_request_info* info,
               netsnmp_request_info* request) {
  Answer answer = agent->Set(name, ToHost(*request->requestvb));
  if (answer.kind == Answer::Kind::kNoSuchName || answer.kind == Answer::Kind::kNoSuchObject) {
    netsnmp_set_request_error(info, request, SNMP_ERR_NOSUCHNAME);
  } else if (answer.kind != Answer::Kind::kValue) {
    netsnmp_set_request_error(info, request,
                              answer.error_status != 0 ? answer.error_status : SNMP_ERR_GENERR);
  }
}

int HandleRequests(netsnmp_mib_handler* handler, netsnmp_handler_registration*,
                   netsnmp_agent_request_info* info, netsnmp_request_info* requests) {
  auto* agent = static_cast<Agent*>(handler->myvoid);
  for (netsnmp_request_info* request = requests; request != nullptr; request = request->next) {
    if (request->processed) continue;
    Oid name;
    if (!ToHost(request->requestvb->name, request->requestvb->name_length, &name)) {
      if (info->mode == MODE_GET) netsnmp_set_request_error(info, request, SNMP_NOSUCHINSTANCE);
      continue;
    }
    switch (info->mode) {
      case MODE_GET:
        AnswerGet(agent, name, info, request);
        break;
      case MODE_GETNEXT:
        AnswerGetNext(agent, name, request->inclusive != 0, info, request);
        break;
      case MODE_SET_RESERVE1:
        // The agent takes a SET in one step; the later phases have nothing left to do.
        AnswerSet(agent, name, info, request);
        break;
      default:
        break;
    }
  }
  return SNMP_ERR_NOERROR;
}

void LogThroughNetsnmp(const std::string& line) { snmp_log(LOG_WARNING, "%s\n", line.c_str()); }

void RunTick(unsigned int, void* bridge_tick) {
  (*static_cast<std::function<void()>*>(bridge_tick))();
}

}  // namespace

AgentxBridge::AgentxBridge(const BridgeSettings& settings) {
  if (settings.log_to_stderr) {
    snmp_enable_stderrlog();
  } else {
    snmp_enable_syslog_ident(kAppName, LOG_DAEMON);
  }
  SetLogSink(LogThroughNetsnmp);
  netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 1);
  if (!settings.master.empty()) {
    netsnmp_ds_set_string(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_X_SOCKET,
                          settings.master.c_str());
  }
  // The host reads no net-snmp configuration, no MIB files and writes no persistent state:
  // everything it needs comes from the command line and the machine root. What net-snmp still
  // insists on creating goes below the root.
  setenv("MIBS", "", 1);
  if (!settings.state_dir.empty()) set_persistent_directory(settings.state_dir.c_str());
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
  init_agent(kAppName);
  netsnmp_ds_set_int(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_AGENTX_PING_INTERVAL,
                     settings.ping_interval_seconds);
}

AgentxBridge::~AgentxBridge() {
  snmp_shutdown(kAppName);
  shutdown_agent();
  SetLogSink(nullptr);
}

bool AgentxBridge::Serve(Agent* agent) {
  netsnmp_mib_handler* handler = netsnmp_create_handler(kAppName, HandleRequests);
  if (handler == nullptr) return false;
  handler->myvoid = agent;
  std::vector<oid> view = ToNetsnmp(agent->view());
  netsnmp_handler_registration* registration = netsnmp_handler_registration_create(
      agent->path().c_str(), handler, view.data(), view.size(), HANDLER_CAN_RWRITE);
  if (registration == nullptr) {
    netsnmp_handler_free(handler);
    return false;
  }
  int result = netsnmp_register_handler(registration);
  if (result != MIB_REGISTERED_OK) {
    // netsnmp_register_handler has freed the registration and its handler.
    Log(agent->path() + ": view " + OidText(agent->view()) + " cannot be registered (error " +
        std::to_string(result) + "; another agent serves it?)");
    return false;
  }
  return true;
}

void AgentxBridge::Every(std::chrono::milliseconds period, std::function<void()> tick) {
  tick_ = std::move(tick);
  timeval interval{static_cast<time_t>(period.count() / 1000),
                   static_cast<suseconds_t>(period.count() % 1000 * 1000)};
  snmp_alarm_register_hr(interval, SA_REPEAT, RunTick, &tick_);
}

void AgentxBridge::Connect() { init_snmp(kAppName); }

void AgentxBridge::Run(const volatile sig_atomic_t& stop) {
  while (stop == 0) agent_check_and_process(1);
}

}  // namespace snmphost
