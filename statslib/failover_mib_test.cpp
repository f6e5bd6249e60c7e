// The failover MIB made from a publication of the driver, and GET / GETNEXT over it.
#include "failover_mib.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace standbyag {
namespace {

using pairway::driver::FailoverState;
using pairway::driver::GroupStatus;
using pairway::driver::MemberLink;
using pairway::driver::MemberRole;
using pairway::driver::StateRead;

std::vector<UINT> Name(std::vector<UINT> suffix) {
  std::vector<UINT> name(failover_view_ids, failover_view_ids + kFailoverViewLength);
  name.insert(name.end(), suffix.begin(), suffix.end());
  return name;
}

// Two groups, listed the way the driver orders them (by head), the first with three members.
FailoverState SampleState() {
  FailoverState state;
  state.pid = 42;
  GroupStatus uplink;
  uplink.name = "Uplink";
  uplink.head = "TREVAN3";
  uplink.active = "TREVAN1";
  uplink.link_check_timeout_s = 999;
  uplink.up = true;
  uplink.failovers = 3;
  uplink.link_changes = 0x100000002ull;  // past 2^32: a Counter32 shows the low half
  uplink.members = {{"TREVAN3", "veth3", MemberRole::kPrimary, MemberLink::kDown, false},
                    {"TREVAN1", "veth1", MemberRole::kBackup, MemberLink::kUp, true},
                    {"TREVAN2", "", MemberRole::kBackup, MemberLink::kMissing, false}};
  GroupStatus lone;
  lone.head = "TREVAN7";  // a group without a name, and without a link
  lone.members = {{"TREVAN7", "", MemberRole::kPrimary, MemberLink::kDown, false}};
  state.groups = {uplink, lone};
  return state;
}

const FailoverObject* Find(const std::vector<FailoverObject>& objects,
                           const std::vector<UINT>& suffix) {
  for (const FailoverObject& object : objects) {
    if (object.name == Name(suffix)) return &object;
  }
  return nullptr;
}

std::string TextOf(const std::vector<FailoverObject>& objects, const std::vector<UINT>& suffix) {
  const FailoverObject* object = Find(objects, suffix);
  EXPECT_NE(object, nullptr);
  if (object == nullptr) return "(none)";
  EXPECT_EQ(object->type, ASN_OCTETSTRING);
  return object->text;
}

long long NumberOf(const std::vector<FailoverObject>& objects, const std::vector<UINT>& suffix,
                   BYTE type) {
  const FailoverObject* object = Find(objects, suffix);
  EXPECT_NE(object, nullptr);
  if (object == nullptr) return -1;
  EXPECT_EQ(object->type, type);
  return object->number;
}

TEST(FailoverMibObjects, GroupsAreRowsOfTheirHeadAndMembersRowsOfTheirPort) {
  std::vector<FailoverObject> objects = FailoverObjects(StateRead::kOk, SampleState());
  // The driver's status, seven columns for each of two groups, five for each of four members.
  EXPECT_EQ(objects.size(), 1u + 2 * 7 + 4 * 5);
  for (size_t i = 1; i < objects.size(); ++i) EXPECT_LT(objects[i - 1].name, objects[i].name);

  EXPECT_EQ(NumberOf(objects, {3, 0}, ASN_INTEGER), 1);  // running
  EXPECT_EQ(TextOf(objects, {1, 1, 2, 3}), "Uplink");
  EXPECT_EQ(TextOf(objects, {1, 1, 3, 3}), "TREVAN3");
  EXPECT_EQ(TextOf(objects, {1, 1, 4, 3}), "TREVAN1");
  EXPECT_EQ(NumberOf(objects, {1, 1, 5, 3}, ASN_GAUGE32), 999);
  EXPECT_EQ(NumberOf(objects, {1, 1, 6, 3}, ASN_INTEGER), 1);
  EXPECT_EQ(NumberOf(objects, {1, 1, 7, 3}, ASN_COUNTER32), 3);
  EXPECT_EQ(NumberOf(objects, {1, 1, 8, 3}, ASN_COUNTER32), 2);
  EXPECT_EQ(TextOf(objects, {1, 1, 2, 7}), "");
  EXPECT_EQ(TextOf(objects, {1, 1, 4, 7}), "");  // no active port
  EXPECT_EQ(NumberOf(objects, {1, 1, 6, 7}, ASN_INTEGER), 2);

  EXPECT_EQ(TextOf(objects, {2, 1, 2, 3, 2}), "Uplink");
  EXPECT_EQ(TextOf(objects, {2, 1, 3, 3, 2}), "TREVAN2");
  EXPECT_EQ(NumberOf(objects, {2, 1, 4, 3, 3}, ASN_INTEGER), 1);  // primary
  EXPECT_EQ(NumberOf(objects, {2, 1, 4, 3, 1}, ASN_INTEGER), 2);  // backup
  EXPECT_EQ(NumberOf(objects, {2, 1, 5, 3, 1}, ASN_INTEGER), 1);  // up
  EXPECT_EQ(NumberOf(objects, {2, 1, 5, 3, 3}, ASN_INTEGER), 2);  // down
  EXPECT_EQ(NumberOf(objects, {2, 1, 5, 3, 2}, ASN_INTEGER), 3);  // missing
  EXPECT_EQ(NumberOf(objects, {2, 1, 6, 3, 1}, ASN_INTEGER), 1);  // true
  EXPECT_EQ(NumberOf(objects, {2, 1, 6, 3, 3}, ASN_INTEGER), 2);  // false
  EXPECT_EQ(TextOf(objects, {2, 1, 3, 7, 7}), "TREVAN7");
}

TEST(FailoverMibObjects, RowsWithoutAUsableIndexAreLeftOutAndTheRestStays) {
  FailoverState state = SampleState();
  GroupStatus odd = state.groups[1];
  odd.head = "eth0";
  GroupStatus twice = state.groups[0];  // a second group claiming the same head
  twice.name = "Again";
  state.groups.push_back(odd);
  state.groups.push_back(twice);
  state.groups[0].members.push_back(state.groups[0].members[1]);  // TREVAN1 again
  state.groups[0].members.push_back({"TREVAN", "", MemberRole::kBackup, MemberLink::kUp, false});
  state.groups[0].members.push_back(
      {"TREVAN99999999999", "", MemberRole::kBackup, MemberLink::kUp, false});
  state.groups[0].members.push_back({"TREVAN4x", "", MemberRole::kBackup, MemberLink::kUp, false});

  std::vector<FailoverObject> objects = FailoverObjects(StateRead::kOk, state);
  EXPECT_EQ(objects.size(), 1u + 2 * 7 + 4 * 5);
  EXPECT_EQ(TextOf(objects, {1, 1, 2, 3}), "Uplink");  // the first of the two claims
  EXPECT_EQ(NumberOf(objects, {2, 1, 6, 3, 1}, ASN_INTEGER), 1);
}

TEST(FailoverMibObjects, WithoutARunningDriverOnlyItsStatusIsAnswered) {
  for (auto [read, status] : {std::pair{StateRead::kNoDriver, 2}, {StateRead::kDamaged, 3}}) {
    std::vector<FailoverObject> objects = FailoverObjects(read, SampleState());
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(NumberOf(objects, {3, 0}, ASN_INTEGER), status);
  }
  // A driver that has not published yet runs, with no groups.
  std::vector<FailoverObject> objects = FailoverObjects(StateRead::kOk, FailoverState{});
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(NumberOf(objects, {3, 0}, ASN_INTEGER), 1);
}

// A binding with `name` and an empty value, in helper blocks as the SNMP service makes them.
class Binding {
 public:
  explicit Binding(const std::vector<UINT>& name) {
    AsnObjectIdentifier source{static_cast<UINT>(name.size()), const_cast<UINT*>(name.data())};
    EXPECT_TRUE(SnmpUtilOidCpy(&binding_.name, &source));
  }
  ~Binding() { SnmpUtilVarBindFree(&binding_); }
  SnmpVarBind* get() { return &binding_; }
  std::vector<UINT> name() const {
    return std::vector<UINT>(binding_.name.ids, binding_.name.ids + binding_.name.idLength);
  }
  std::string text() const {
    EXPECT_EQ(binding_.value.asnType, ASN_OCTETSTRING);
    EXPECT_TRUE(binding_.value.asnValue.string.dynamic);
    const AsnOctetString& string = binding_.value.asnValue.string;
    return std::string(reinterpret_cast<const char*>(string.stream), string.length);
  }

 private:
  SnmpVarBind binding_{};
};

TEST(FailoverMibAnswer, GetAnswersOnlyTheNameOfAnObject) {
  std::vector<FailoverObject> objects = FailoverObjects(StateRead::kOk, SampleState());
  Binding active(Name({1, 1, 4, 3}));
  ASSERT_EQ(AnswerBinding(objects, SNMP_PDU_GET, active.get()), SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(active.text(), "TREVAN1");
  EXPECT_EQ(active.name(), Name({1, 1, 4, 3}));

  Binding timeout(Name({1, 1, 5, 3}));
  ASSERT_EQ(AnswerBinding(objects, SNMP_PDU_GET, timeout.get()), SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(timeout.get()->value.asnType, ASN_GAUGE32);
  EXPECT_EQ(timeout.get()->value.asnValue.gauge, 999u);

  Binding empty(Name({1, 1, 2, 7}));  // an empty text is a value too
  ASSERT_EQ(AnswerBinding(objects, SNMP_PDU_GET, empty.get()), SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(empty.text(), "");

  for (const std::vector<UINT>& suffix : std::vector<std::vector<UINT>>{
           {1, 1, 4}, {1, 1, 4, 3, 0}, {1, 1, 4, 4}, {1, 1, 1, 3}, {3}, {9, 1}}) {
    Binding missing(Name(suffix));
    EXPECT_EQ(AnswerBinding(objects, SNMP_PDU_GET, missing.get()), SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(missing.name(), Name(suffix));
  }
  Binding set(Name({1, 1, 4, 3}));
  EXPECT_EQ(AnswerBinding(objects, SNMP_PDU_SET, set.get()), SNMP_ERRORSTATUS_NOSUCHNAME);
}

TEST(FailoverMibAnswer, GetNextWalksEveryObjectInOrderAndEndsAfterTheLast) {
  std::vector<FailoverObject> objects = FailoverObjects(StateRead::kOk, SampleState());
  Binding walk({1, 3, 6, 1, 4, 1, 32473});  // before the view
  std::vector<std::vector<UINT>> names;
  while (AnswerBinding(objects, SNMP_PDU_GETNEXT, walk.get()) == SNMP_ERRORSTATUS_NOERROR) {
    names.push_back(walk.name());
    ASSERT_LE(names.size(), objects.size());
  }
  ASSERT_EQ(names.size(), objects.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], objects[i].name);
  EXPECT_EQ(names.front(), Name({1, 1, 2, 3}));
  EXPECT_EQ(names.back(), Name({3, 0}));

  // From a column without an instance, and from past the last member of a column.
  Binding column(Name({2, 1, 4}));
  ASSERT_EQ(AnswerBinding(objects, SNMP_PDU_GETNEXT, column.get()), SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(column.name(), Name({2, 1, 4, 3, 1}));
  Binding past(Name({2, 1, 4, 7, 7, 4294967295u}));
  ASSERT_EQ(AnswerBinding(objects, SNMP_PDU_GETNEXT, past.get()), SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(past.name(), Name({2, 1, 5, 3, 1}));
  Binding beyond({1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 3});
  EXPECT_EQ(AnswerBinding(objects, SNMP_PDU_GETNEXT, beyond.get()), SNMP_ERRORSTATUS_NOSUCHNAME);
}

}  // namespace
}  // namespace standbyag
