// The host's side of the extension-agent interface: loading, initialising and querying one agent,
// and checking everything it hands back before the master sees it.
#include "extension_agent.h"

#include <snmp.h>
#include <windows.h>

#include <algorithm>
#include <utility>

namespace snmphost {
namespace {

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

const char kInitName[] = "SnmpExtensionInit";
const char kQueryName[] = "SnmpExtensionQuery";

// The highest error status of SNMPv2 (inconsistentName); anything else is not an answer.
constexpr AsnInteger32 kHighestErrorStatus = SNMP_ERRORSTATUS_INCONSISTENTNAME;
// No SNMP message can carry a string longer than this.
constexpr UINT kMaxOctets = 65535;

bool ReadableOid(const AsnObjectIdentifier& oid) {
  return oid.idLength <= kMaxOidLength && (oid.idLength == 0 || oid.ids != nullptr);
}

Oid FromAsn(const AsnObjectIdentifier& oid) { return Oid(oid.ids, oid.ids + oid.idLength); }

// A name in blocks of the helpers, as an agent may free and replace it.
bool ToAsn(const Oid& oid, AsnObjectIdentifier* out) {
  AsnObjectIdentifier borrowed{static_cast<UINT>(oid.size()), const_cast<UINT*>(oid.data())};
  return SnmpUtilOidCpy(out, &borrowed) == SNMPAPI_NOERROR;
}

bool CopyOctets(const AsnOctetString& octets, std::vector<uint8_t>* out) {
  if (octets.length > kMaxOctets || (octets.length > 0 && octets.stream == nullptr)) return false;
  out->assign(octets.stream, octets.stream + octets.length);
  return true;
}

// Converts an agent's value; false for a type or a length no manager could be sent.
bool FromAsn(const AsnAny& any, Value* out) {
  switch (any.asnType) {
    case ASN_NULL:
      out->type = ValueType::kNull;
      return true;
    case ASN_INTEGER:
      out->type = ValueType::kInteger;
      out->integer = any.asnValue.number;
      return true;
    case ASN_OCTETSTRING:
    case ASN_BITS:
      out->type = ValueType::kOctets;
      return CopyOctets(any.asnValue.string, &out->octets);
    case ASN_OPAQUE:
      out->type = ValueType::kOpaque;
      return CopyOctets(any.asnValue.arbitrary, &out->octets);
    case ASN_IPADDRESS:
      out->type = ValueType::kIpAddress;
      return any.asnValue.address.length == 4 && CopyOctets(any.asnValue.address, &out->octets);
    case ASN_OBJECTIDENTIFIER:
      out->type = ValueType::kObjectId;
      if (!ReadableOid(any.asnValue.object)) return false;
      out->object = FromAsn(any.asnValue.object);
      return true;
    case ASN_COUNTER32:
      out->type = ValueType::kCounter32;
      out->number = any.asnValue.counter;
      return true;
    case ASN_GAUGE32:
      out->type = ValueType::kGauge32;
      out->number = any.asnValue.gauge;
      return true;
    case ASN_TIMETICKS:
      out->type = ValueType::kTimeTicks;
      out->number = any.asnValue.ticks;
      return true;
    case ASN_UNSIGNED32:
      out->type = ValueType::kUnsigned32;
      out->number = any.asnValue.unsigned32;
      return true;
    case ASN_COUNTER64:
      out->type = ValueType::kCounter64;
      out->number = any.asnValue.counter64.QuadPart;
      return true;
    default:
      return false;
  }
}

// A value to offer in a SET, in blocks of the helpers.
bool ToAsn(const Value& value, AsnAny* out) {
  AsnOctetString octets{const_cast<BYTE*>(value.octets.data()),
                        static_cast<UINT>(value.octets.size()), FALSE};
  switch (value.type) {
    case ValueType::kNull:
      out->asnType = ASN_NULL;
      return true;
    case ValueType::kInteger:
      out->asnType = ASN_INTEGER;
      out->asnValue.number = static_cast<AsnInteger32>(value.integer);
      return true;
    case ValueType::kOctets:
    case ValueType::kOpaque:
    case ValueType::kIpAddress:
      out->asnType = value.type == ValueType::kOctets   ? ASN_OCTETSTRING
                     : value.type == ValueType::kOpaque ? ASN_OPAQUE
                                                        : ASN_IPADDRESS;
      return octets.length == 0 || SnmpUtilOctetsCpy(&out->asnValue.string, &octets);
    case ValueType::kObjectId:
      out->asnType = ASN_OBJECTIDENTIFIER;
      return ToAsn(value.object, &out->asnValue.object);
    case ValueType::kCounter64:
      out->asnType = ASN_COUNTER64;
      out->asnValue.counter64.QuadPart = value.number;
      return true;
    case ValueType::kCounter32:
    case ValueType::kGauge32:
    case ValueType::kTimeTicks:
    case ValueType::kUnsigned32:
      out->asnType = value.type == ValueType::kCounter32   ? ASN_COUNTER32
                     : value.type == ValueType::kGauge32   ? ASN_GAUGE32
                     : value.type == ValueType::kTimeTicks ? ASN_TIMETICKS
                                                           : ASN_UNSIGNED32;
      out->asnValue.unsigned32 = static_cast<AsnUnsigned32>(value.number);
      return true;
  }
  return false;
}

bool StartsWith(const Oid& name, const Oid& prefix) {
  return name.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
}

Answer Broken(const std::string& path, const std::string& what) {
  Log(path + ": " + what + "; answered genErr");
  Answer answer;
  answer.kind = Answer::Kind::kError;
  answer.error_status = kGenErr;
  return answer;
}

}  // namespace

void SetLogSink(LogSink sink) { Sink() = std::move(sink); }

void Log(const std::string& line) {
  if (Sink()) Sink()(line);
}

std::string OidText(const Oid& oid) {
  std::string text;
  for (uint32_t id : oid) text += (text.empty() ? "" : ".") + std::to_string(id);
  return text;
}

const char* LoadResultText(LoadResult result) {
  switch (result) {
    case LoadResult::kServed:
      return "served";
    case LoadResult::kNotLoaded:
      return "the library cannot be loaded";
    case LoadResult::kNoEntryPoints:
      return "the library exports no SnmpExtensionInit or SnmpExtensionQuery";
    case LoadResult::kDeclined:
      return "SnmpExtensionInit returned FALSE";
    case LoadResult::kBadView:
      return "SnmpExtensionInit reported an unusable view";
  }
  return "unknown";
}

struct ExtensionAgent::Library {
  HMODULE module = nullptr;
  PFNSNMPEXTENSIONQUERY query = nullptr;
  ~Library() {
    if (module != nullptr) FreeLibrary(module);
  }
};

std::unique_ptr<ExtensionAgent> ExtensionAgent::Load(const std::string& nt_path,
                                                     LoadResult* result) {
  auto library = std::make_unique<Library>();
  library->module = LoadLibraryA(nt_path.c_str());
  if (library->module == nullptr) {
    *result = LoadResult::kNotLoaded;
    return nullptr;
  }
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(library->module, kInitName));
  library->query =
      reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(library->module, kQueryName));
  if (init == nullptr || library->query == nullptr) {
    *result = LoadResult::kNoEntryPoints;
    return nullptr;
  }
  HANDLE trap_event = nullptr;
  AsnObjectIdentifier view{0, nullptr};
  if (!init(GetTickCount(), &trap_event, &view)) {
    *result = LoadResult::kDeclined;
    return nullptr;
  }
  if (view.idLength == 0 || !ReadableOid(view)) {
    *result = LoadResult::kBadView;
    return nullptr;
  }
  *result = LoadResult::kServed;
  return std::unique_ptr<ExtensionAgent>(
      new ExtensionAgent(nt_path, std::move(library), FromAsn(view)));
}

ExtensionAgent::ExtensionAgent(std::string path, std::unique_ptr<Library> library, Oid view)
    : path_(std::move(path)), library_(std::move(library)), view_(std::move(view)) {}

ExtensionAgent::~ExtensionAgent() = default;

Answer ExtensionAgent::Get(const Oid& name) { return Query(SNMP_PDU_GET, name, Value()); }

Answer ExtensionAgent::Set(const Oid& name, const Value& value) {
  return Query(SNMP_PDU_SET, name, value);
}

Answer CheckNext(const std::string& path, const Oid& view, const Oid& asked, Answer answer) {
  if (answer.kind == Answer::Kind::kNoSuchName || answer.kind == Answer::Kind::kNoSuchObject) {
    answer.kind = Answer::Kind::kEndOfView;
  } else if (answer.kind == Answer::Kind::kValue) {
    if (!StartsWith(answer.name, view)) {
      answer.kind = Answer::Kind::kEndOfView;
    } else if (answer.name <= asked) {
      // Following it would loop the walk ("OID not increasing"): the view ends here instead.
      Log(path + ": GETNEXT after " + OidText(asked) + " answered " + OidText(answer.name) +
          ", which does not follow it; the view ends there");
      answer.kind = Answer::Kind::kEndOfView;
    }
  }
  return answer;
}

Answer ExtensionAgent::GetNext(const Oid& name) {
  return CheckNext(path_, view_, name, Query(SNMP_PDU_GETNEXT, name, Value()));
}

// One binding through SnmpExtensionQuery. The list and the binding's name are blocks of the
// helpers, so the agent may free and replace the name as the interface allows; whatever the list
// holds afterwards is freed here, once.
Answer ExtensionAgent::Query(unsigned char pdu_type, const Oid& name, const Value& value) {
  SnmpVarBindList list{static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind))), 1};
  if (list.list == nullptr) return Broken(path_, "no memory for the request");
  SnmpVarBind* const sent_list = list.list;
  if (!ToAsn(name, &list.list[0].name) || !ToAsn(value, &list.list[0].value)) {
    SnmpUtilVarBindListFree(&list);
    return Broken(path_, "no memory for the request");
  }
  AsnInteger32 error_status = SNMP_ERRORSTATUS_NOERROR;
  AsnInteger32 error_index = 0;
  library_->query(pdu_type, &list, &error_status, &error_index);

  Answer answer;
  if (list.list != sent_list || list.len != 1) {
    // Freeing what the agent put there instead could free anything: give the list back its own
    // array, whose binding the agent may still have filled in.
    list.list = sent_list;
    list.len = 1;
    answer = Broken(path_, "the agent changed the binding list");
  } else if (error_status < 0 || error_status > kHighestErrorStatus) {
    answer = Broken(path_, "error status " + std::to_string(error_status));
  } else if (error_status == SNMP_ERRORSTATUS_NOSUCHNAME) {
    answer.kind = Answer::Kind::kNoSuchName;
  } else if (error_status != SNMP_ERRORSTATUS_NOERROR) {
    answer.kind = Answer::Kind::kError;
    answer.error_status = error_status;
  } else if (!ReadableOid(list.list[0].name)) {
    answer = Broken(path_, "an answer without a readable name");
  } else if (!FromAsn(list.list[0].value, &answer.value)) {
    answer = Broken(path_, "a value of type " + std::to_string(list.list[0].value.asnType) +
                               " that cannot be sent");
  } else {
    answer.kind = Answer::Kind::kValue;
    answer.name = FromAsn(list.list[0].name);
  }
  SnmpUtilVarBindListFree(&list);
  return answer;
}

}  // namespace snmphost
