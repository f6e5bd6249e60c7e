// The failover MIB's objects and the answer to one binding; see failover_mib.h.
#include "failover_mib.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "pairway/machine_root.h"

namespace standbyag {

UINT failover_view_ids[kFailoverViewLength] = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 2};

namespace {

using pairway::driver::FailoverState;
using pairway::driver::GroupStatus;
using pairway::driver::MemberLink;
using pairway::driver::MemberRole;
using pairway::driver::MemberStatus;
using pairway::driver::StateRead;

constexpr UINT kGroupTable = 1;
constexpr UINT kMemberTable = 2;
constexpr UINT kDriverStatus = 3;

enum GroupColumn : UINT {
  kGroupName = 2,
  kGroupHead = 3,
  kGroupActivePort = 4,
  kGroupLinkCheckTimeOut = 5,
  kGroupState = 6,
  kGroupFailovers = 7,
  kGroupLinkChanges = 8,
};

enum MemberColumn : UINT {
  kMemberGroup = 2,
  kMemberPort = 3,
  kMemberRole = 4,
  kMemberLink = 5,
  kMemberActive = 6,
};

constexpr uint32_t kTrue = 1;  // TruthValue
constexpr uint32_t kFalse = 2;

// "TREVAN12" -> 12; 0 for anything else (no digits, other characters, too large for an index).
uint32_t InstanceNumber(const std::string& instance) {
  constexpr char kPrefix[] = "TREVAN";
  constexpr size_t kPrefixLength = sizeof kPrefix - 1;
  if (instance.size() <= kPrefixLength || strncasecmp(instance.c_str(), kPrefix, kPrefixLength)) {
    return 0;
  }
  uint64_t number = 0;
  for (size_t i = kPrefixLength; i < instance.size(); ++i) {
    if (instance[i] < '0' || instance[i] > '9') return 0;
    number = number * 10 + static_cast<uint64_t>(instance[i] - '0');
    if (number > 0x7FFFFFFF) return 0;
  }
  return static_cast<uint32_t>(number);
}

// The objects keyed by name, so that they come out in name order whatever order they go in.
class Objects {
 public:
  void Add(std::vector<UINT> suffix, BYTE type, uint32_t number, std::string text = {}) {
    FailoverObject object;
    object.name.assign(failover_view_ids, failover_view_ids + kFailoverViewLength);
    object.name.insert(object.name.end(), suffix.begin(), suffix.end());
    object.type = type;
    object.number = number;
    object.text = std::move(text);
    objects_[object.name] = std::move(object);
  }
  void Text(std::vector<UINT> suffix, const std::string& text) {
    Add(std::move(suffix), ASN_OCTETSTRING, 0, text);
  }

  std::vector<FailoverObject> Take() {
    std::vector<FailoverObject> sorted;
    sorted.reserve(objects_.size());
    for (auto& [name, object] : objects_) sorted.push_back(std::move(object));
    return sorted;
  }

 private:
  std::map<std::vector<UINT>, FailoverObject> objects_;
};

void AddGroup(const GroupStatus& group, uint32_t g, Objects* objects) {
  auto column = [g](UINT c) { return std::vector<UINT>{kGroupTable, 1, c, g}; };
  objects->Text(column(kGroupName), group.name);
  objects->Text(column(kGroupHead), group.head);
  objects->Text(column(kGroupActivePort), group.active);
  objects->Add(column(kGroupLinkCheckTimeOut), ASN_GAUGE32, group.link_check_timeout_s);
  objects->Add(column(kGroupState), ASN_INTEGER, group.up ? 1 : 2);
  // Counter32 wraps: the low 32 bits of the driver's 64-bit counts.
  objects->Add(column(kGroupFailovers), ASN_COUNTER32, static_cast<uint32_t>(group.failovers));
  objects->Add(column(kGroupLinkChanges), ASN_COUNTER32, static_cast<uint32_t>(group.link_changes));

  std::set<uint32_t> seen;
  for (const MemberStatus& member : group.members) {
    uint32_t m = InstanceNumber(member.port);
    if (m == 0 || !seen.insert(m).second) continue;
    auto cell = [g, m](UINT c) { return std::vector<UINT>{kMemberTable, 1, c, g, m}; };
    objects->Text(cell(kMemberGroup), group.name);
    objects->Text(cell(kMemberPort), member.port);
    objects->Add(cell(kMemberRole), ASN_INTEGER, member.role == MemberRole::kPrimary ? 1 : 2);
    uint32_t link = member.link == MemberLink::kUp ? 1 : member.link == MemberLink::kDown ? 2 : 3;
    objects->Add(cell(kMemberLink), ASN_INTEGER, link);
    objects->Add(cell(kMemberActive), ASN_INTEGER, member.active ? kTrue : kFalse);
  }
}

// A copy of `name` in a helper block, which the SNMP service frees.
bool CopyName(const std::vector<UINT>& name, AsnObjectIdentifier* out) {
  auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(name.size() * sizeof(UINT))));
  if (ids == nullptr) return false;
  std::copy(name.begin(), name.end(), ids);
  out->ids = ids;
  out->idLength = static_cast<UINT>(name.size());
  return true;
}

bool SetValue(const FailoverObject& object, AsnAny* value) {
  if (object.type != ASN_OCTETSTRING) {
    value->asnType = object.type;
    if (object.type == ASN_INTEGER) {
      value->asnValue.number = static_cast<AsnInteger32>(object.number);
    } else if (object.type == ASN_GAUGE32) {
      value->asnValue.gauge = object.number;
    } else {
      value->asnValue.counter = object.number;
    }
    return true;
  }
  auto* bytes = static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(object.text.size())));
  if (bytes == nullptr) return false;
  if (!object.text.empty()) memcpy(bytes, object.text.data(), object.text.size());
  value->asnType = ASN_OCTETSTRING;
  value->asnValue.string.stream = bytes;
  value->asnValue.string.length = static_cast<UINT>(object.text.size());
  value->asnValue.string.dynamic = TRUE;
  return true;
}

// The binding's name as a vector; a name without its array has no sub-identifiers.
std::vector<UINT> NameOf(const SnmpVarBind& binding) {
  if (binding.name.ids == nullptr) return {};
  return std::vector<UINT>(binding.name.ids, binding.name.ids + binding.name.idLength);
}

}  // namespace

std::vector<FailoverObject> FailoverObjects(StateRead read, const FailoverState& state) {
  Objects objects;
  uint32_t status = read == StateRead::kOk ? 1 : read == StateRead::kNoDriver ? 2 : 3;
  objects.Add({kDriverStatus, 0}, ASN_INTEGER, status);
  if (read != StateRead::kOk) return objects.Take();
  std::set<uint32_t> heads;
  for (const GroupStatus& group : state.groups) {
    uint32_t g = InstanceNumber(group.head);
    if (g == 0 || !heads.insert(g).second) continue;
    AddGroup(group, g, &objects);
  }
  return objects.Take();
}

std::vector<FailoverObject> ReadFailoverObjects() {
  FailoverState state;
  std::optional<std::filesystem::path> root = pairway::MachineRoot();
  StateRead read = root ? pairway::driver::ReadFailoverState(*root, &state) : StateRead::kNoDriver;
  return FailoverObjects(read, state);
}

int AnswerBinding(const std::vector<FailoverObject>& objects, BYTE pdu_type, SnmpVarBind* binding) {
  if (binding == nullptr) return SNMP_ERRORSTATUS_NOSUCHNAME;
  const std::vector<UINT> name = NameOf(*binding);
  auto by_name = [](const FailoverObject& object, const std::vector<UINT>& key) {
    return object.name < key;  // sub-identifiers compare unsigned
  };
  auto found = objects.end();
  if (pdu_type == SNMP_PDU_GET) {
    found = std::lower_bound(objects.begin(), objects.end(), name, by_name);
    if (found != objects.end() && found->name != name) found = objects.end();
  } else if (pdu_type == SNMP_PDU_GETNEXT) {
    found = std::upper_bound(objects.begin(), objects.end(), name,
                             [](const std::vector<UINT>& key, const FailoverObject& object) {
                               return key < object.name;
                             });
  }
  if (found == objects.end()) return SNMP_ERRORSTATUS_NOSUCHNAME;

  AsnAny value{};
  if (!SetValue(*found, &value)) return SNMP_ERRORSTATUS_GENERR;
  if (pdu_type == SNMP_PDU_GETNEXT) {
    AsnObjectIdentifier next{0, nullptr};
    if (!CopyName(found->name, &next)) {
      SnmpUtilAsnAnyFree(&value);
      return SNMP_ERRORSTATUS_GENERR;
    }
    SnmpUtilOidFree(&binding->name);
    binding->name = next;
  }
  SnmpUtilAsnAnyFree(&binding->value);
  binding->value = value;
  return SNMP_ERRORSTATUS_NOERROR;
}

}  // namespace standbyag
