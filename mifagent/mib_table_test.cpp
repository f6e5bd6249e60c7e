#include "mib_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "agent_test_util.h"

// The agent's allocations reach GlobalAlloc through this wrapper in this test program (it is
// linked with --wrap=GlobalAlloc), so that a test can fail one as a machine out of memory does.
namespace {
// Allocations still to pass before one fails: -1 never fails, 0 fails the next one.
std::atomic<int> allocations_before_failure{-1};
}  // namespace

extern "C" HGLOBAL __real_GlobalAlloc(UINT flags, SIZE_T bytes);
extern "C" HGLOBAL __wrap_GlobalAlloc(UINT flags, SIZE_T bytes) {
  int left = allocations_before_failure.load();
  if (left >= 0) {
    allocations_before_failure = left - 1;
    if (left == 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  return __real_GlobalAlloc(flags, bytes);
}

namespace {

// Lets `pass` allocations through, fails the next and lets every later one through.
class FailAllocation {
 public:
  explicit FailAllocation(int pass) { allocations_before_failure = pass; }
  ~FailAllocation() { allocations_before_failure = -1; }
  FailAllocation(const FailAllocation&) = delete;
  FailAllocation& operator=(const FailAllocation&) = delete;
};

using mifsnmp_test::AgentMachine;
using mifsnmp_test::Answer;
using mifsnmp_test::Get;
using mifsnmp_test::GetNext;
using mifsnmp_test::Name;
using mifsnmp_test::Oid;

constexpr UINT kMax = 4294967295u;

int Compare(Oid a, Oid b) {
  AsnObjectIdentifier x = {static_cast<UINT>(a.size()), a.data()};
  AsnObjectIdentifier y = {static_cast<UINT>(b.size()), b.data()};
  return oid_compare(&x, &y);
}

int Find(Oid name) {
  AsnObjectIdentifier x = {static_cast<UINT>(name.size()), name.data()};
  return find_mib_object(&x);
}

Oid ColumnName(int row) {
  const AsnObjectIdentifier& column = mib_table[row].column;
  return Oid(column.ids, column.ids + column.idLength);
}

// A machine with `ports` emulated ports TREVAN1.. and the agent loaded.
class MibTest : public ::testing::Test {
 protected:
  void Load(int ports) {
    for (int i = 1; i <= ports; i++) machine_.AddCard(i, "TREVAN" + std::to_string(i));
    machine_.Load();
  }
  AgentMachine machine_;
};

TEST(OidCompare, ComparesUnsignedAndShorterFirst) {
  EXPECT_EQ(Compare({1, 2}, {1, 2}), 0);
  EXPECT_EQ(Compare({}, {}), 0);
  EXPECT_EQ(Compare({1, 2}, {1, 2, 0}), -1);
  EXPECT_EQ(Compare({1, 3}, {1, 2, 9}), 1);
  EXPECT_EQ(Compare({kMax}, {0}), 1);
  EXPECT_EQ(Compare({0x7FFFFFFF}, {0x80000000u}), -1);
  AsnObjectIdentifier no_array = {5, nullptr};  // counts as empty
  Oid one = {1};
  AsnObjectIdentifier x = {1, one.data()};
  EXPECT_EQ(oid_compare(&no_array, &x), -1);
}

TEST(MibTableRows, AscendAndFindThemselves) {
  for (int row = 0; row < MIB_ROW_COUNT; row++) {
    EXPECT_EQ(Find(ColumnName(row)), row);
    if (row > 0) {
      EXPECT_LT(Compare(ColumnName(row - 1), ColumnName(row)), 0) << row;
    }
  }
  EXPECT_EQ(Find({}), 0);
  EXPECT_EQ(Find({1, 3, 6, 1, 4, 1, 32473}), 0);
  EXPECT_EQ(Find(Name({4, 1, 2})), 16);  // before 4.1.2's first instance: row 4.1.1
  EXPECT_EQ(Find(Name({4, 1, 2, 3})), 17);
  EXPECT_EQ(Find({kMax, kMax}), MIB_ROW_COUNT - 1);
}

TEST(ValueSetters, StoreTagsAndCopyStringsWithoutTerminator) {
  mifsnmp_test::Binding binding(Name({1}));
  EXPECT_EQ(set_counter(binding.get(), 0xFFFFFFFFu), 0);
  EXPECT_EQ(binding.type(), ASN_RFC1155_COUNTER);
  EXPECT_EQ(set_integer(binding.get(), -7), 0);
  EXPECT_EQ(binding.type(), ASN_INTEGER);
  EXPECT_EQ(binding.number(), -7);
  EXPECT_EQ(set_string(binding.get(), "abc"), 0);
  EXPECT_EQ(binding.type(), ASN_OCTETSTRING);
  EXPECT_EQ(binding.text(), "abc");
  EXPECT_TRUE(binding.get()->value.asnValue.string.dynamic);
  EXPECT_EQ(GlobalSize(binding.get()->value.asnValue.string.stream), 3u);
}

TEST_F(MibTest, GetNextBeforeTheViewGivesTheFirstInstance) {
  Load(2);
  Answer answer = GetNext({1, 3, 6, 1, 4, 1, 32473});
  EXPECT_EQ(answer.status, 0);
  EXPECT_EQ(answer.name, Name({1, 1, 1, 1}));
  EXPECT_EQ(answer.text, "Corvane, Inc.");
  EXPECT_EQ(GetNext({}).name, Name({1, 1, 1, 1}));
}

TEST_F(MibTest, GetNextMovesWithinAColumnThenToTheNext) {
  Load(3);
  EXPECT_EQ(GetNext(Name({4, 1, 2})).name, Name({4, 1, 2, 1}));
  EXPECT_EQ(GetNext(Name({4, 1, 2, 0})).name, Name({4, 1, 2, 1}));
  EXPECT_EQ(GetNext(Name({4, 1, 2, 1})).name, Name({4, 1, 2, 2}));
  EXPECT_EQ(GetNext(Name({4, 1, 2, 1, 7})).name, Name({4, 1, 2, 2}));
  EXPECT_EQ(GetNext(Name({4, 1, 2, 3})).name, Name({4, 1, 3, 1}));
  EXPECT_EQ(GetNext(Name({4, 1, 2, kMax})).name, Name({4, 1, 3, 1}));
  EXPECT_EQ(GetNext(Name({3, 2})).name, Name({4, 1, 1, 1}));
}

TEST_F(MibTest, GroupThreeHasTwoRowsPerPort) {
  Load(2);
  EXPECT_EQ(GetNext(Name({3, 1, 4, 1, 1})).name, Name({3, 1, 4, 1, 2}));
  EXPECT_EQ(GetNext(Name({3, 1, 4, 1, 2})).name, Name({3, 1, 4, 2, 1}));
  EXPECT_EQ(GetNext(Name({3, 1, 4, 1})).name, Name({3, 1, 4, 1, 1}));
  EXPECT_EQ(GetNext(Name({3, 1, 4, 2})).name, Name({3, 1, 4, 2, 1}));
  EXPECT_EQ(GetNext(Name({3, 1, 4, 2, 2})).name, Name({3, 1, 5, 1, 1}));
  EXPECT_EQ(Get(Name({3, 1, 1, 1, 3})).status, 2);
  EXPECT_EQ(Get(Name({3, 1, 1, 1, 0})).status, 2);
  EXPECT_EQ(Get(Name({3, 1, 1, 1})).status, 2);
}

TEST_F(MibTest, GroupThreeWithOnePortGoesOnToTheNextColumn) {
  Load(1);
  EXPECT_EQ(GetNext(Name({3, 1, 4, 1, 2})).name, Name({3, 1, 5, 1, 1}));
}

TEST_F(MibTest, GetAnswersOnlyExactInstances) {
  Load(4);
  EXPECT_EQ(Get(Name({4, 1, 2, 4})).status, 0);
  for (const Oid& name :
       {Name({4, 1, 2, 0}), Name({4, 1, 2, 5}), Name({4, 1, 2}), Name({4, 1, 2, 1, 0}),
        Name({4, 2, 2, 1}), Name({4, 1, 14, 1}), Name({9, 1, 1, 1}), Oid{}, Oid{kMax}}) {
    Answer answer = Get(name);
    EXPECT_EQ(answer.status, 2);
    EXPECT_EQ(answer.name, name);  // a failed GET leaves the name alone
  }
}

TEST_F(MibTest, WalkVisitsEveryInstanceInStrictlyIncreasingOrder) {
  Load(3);
  machine_.SetNic("TREVAN2", {"multicast=01005E000001,01005E000002"});
  std::vector<Answer> walk = mifsnmp_test::Walk();
  // 52 port columns: 45 with one instance per port, 7 of group 3 with two; 4 multicast columns.
  EXPECT_EQ(walk.size(), 45u * 3 + 7u * 6 + 4u * 2);
  std::set<Oid> columns;
  for (size_t i = 0; i < walk.size(); i++) {
    if (i > 0) {
      ASSERT_LT(Compare(walk[i - 1].name, walk[i].name), 0) << i;
    }
    Oid column(walk[i].name.begin(), walk[i].name.begin() + 14);
    columns.insert(column);
  }
  EXPECT_EQ(columns.size(), 56u);
  EXPECT_EQ(walk.back().name, Name({8, 1, 9, 3}));
  EXPECT_EQ(GetNext(walk.back().name).status, 2);
  EXPECT_EQ(GetNext(Name({8, 1, 10})).status, 2);
}

TEST_F(MibTest, WithoutMulticastAddressesGroupFiveIsEmpty) {
  Load(2);
  EXPECT_EQ(GetNext(Name({4, 1, 13, 2})).name, Name({6, 1, 1, 1}));
  for (UINT attribute = 1; attribute <= 4; attribute++) {
    EXPECT_EQ(Get(Name({5, 1, attribute, 1})).status, 2);
  }
}

// The value type of each of the 56 columns in table order: S OCTET STRING, I INTEGER,
// C Counter. A manager graphs a Counter as a rate and an INTEGER as a level, so a counter that
// came back as a plain number would be drawn wrong.
constexpr char kColumnTypes[] =
    "SSSSSII"   // 1.1.1 to 1.1.7
    "II"        // 2.1.1, 2.1.2
    "IIIIIII"   // 3.1.1 to 3.1.7
    "ISSII"     // 4.1.1 to 4.1.5
    "CCCCCCCC"  // 4.1.6 to 4.1.13
    "IIIS"      // 5.1.1 to 5.1.4
    "ISSSIISS"  // 6.1.1 to 6.1.8
    "IIIIII"    // 7.1.1 to 7.1.6
    "IIIIII"    // 8.1.1 to 8.1.6
    "CCC";      // 8.1.7 to 8.1.9
static_assert(sizeof kColumnTypes - 1 == MIB_ROW_COUNT);

BYTE TagOf(char letter) {
  return letter == 'S' ? ASN_OCTETSTRING : letter == 'C' ? ASN_RFC1155_COUNTER : ASN_INTEGER;
}

TEST_F(MibTest, EveryInstanceOfEveryColumnCarriesItsColumnsTypeTag) {
  Load(2);
  machine_.SetNic("TREVAN1", {"multicast=01005E000001"});
  std::set<int> rows;
  for (const Answer& answer : mifsnmp_test::Walk()) {
    int row = Find(answer.name);
    rows.insert(row);
    EXPECT_EQ(answer.type, TagOf(kColumnTypes[row])) << "row " << row + 1;
    Answer got = Get(answer.name);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.type, answer.type) << "row " << row + 1;
  }
  EXPECT_EQ(rows.size(), static_cast<size_t>(MIB_ROW_COUNT));
  EXPECT_EQ(ASN_RFC1155_COUNTER, 0x41);
  EXPECT_EQ(ASN_OCTETSTRING, 0x04);
  EXPECT_EQ(ASN_INTEGER, 0x02);
}

// Out of memory, a request is answered genErr: never a value without its bytes, never the
// value of a name other than the one the binding then holds.
TEST_F(MibTest, AFailedAllocationIsGenErr) {
  Load(1);
  {
    FailAllocation fail(0);  // the text of the manufacturer
    mifsnmp_test::Binding binding(Name({1, 1, 1, 1}));
    EXPECT_EQ(resolve_var_bind(binding.get(), SNMP_PDU_GET), SNMP_ERRORSTATUS_GENERR);
    const AsnOctetString& value = binding.get()->value.asnValue.string;
    EXPECT_EQ(binding.type(), ASN_OCTETSTRING);
    EXPECT_EQ(value.length, 13u);  // the length of "Corvane, Inc.", with no bytes behind it
    EXPECT_EQ(value.stream, nullptr);
    EXPECT_FALSE(value.dynamic);
  }
  {
    FailAllocation fail(0);  // the copy of the next name
    EXPECT_EQ(GetNext({1, 3, 6, 1, 4, 1, 32473}).status, SNMP_ERRORSTATUS_GENERR);
  }
  {
    FailAllocation fail(1);  // the name is copied, its text is not
    EXPECT_EQ(GetNext({1, 3, 6, 1, 4, 1, 32473}).status, SNMP_ERRORSTATUS_GENERR);
  }
  {
    FailAllocation fail(1);  // a number needs no second block
    Answer answer = GetNext(Name({1, 1, 5, 1}));
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.name, Name({1, 1, 6, 1}));
  }
  EXPECT_EQ(Get(Name({1, 1, 1, 1})).text, "Corvane, Inc.");  // and memory back, all is well
}

// With no ports there is no instance anywhere: nothing is answered for a port that is not there.
TEST_F(MibTest, WithoutPortsNoInstanceExists) {
  Load(0);
  EXPECT_TRUE(mifsnmp_test::Walk().empty());
  for (const Oid& name : {Oid{1, 3, 6, 1, 4, 1, 32473}, Name({1, 1, 1}), Name({1, 1, 1, 0}),
                          Name({3, 1, 1, 0, 0}), Name({4, 1, 6, 0}), Name({8, 1, 9})}) {
    Answer next = GetNext(name);
    EXPECT_EQ(next.status, 2);
    EXPECT_EQ(next.name, name);
  }
  for (int row = 0; row < MIB_ROW_COUNT; row++) {
    Oid first = ColumnName(row);
    EXPECT_EQ(Get(first).status, 2) << "row " << row + 1;
    first[14] = 0;
    EXPECT_EQ(Get(first).status, 2) << "row " << row + 1 << ", instance 0";
  }
}

TEST_F(MibTest, RequestsOtherThanGetAndGetNextAreNoSuchName) {
  Load(1);
  for (int type : {SNMP_PDU_SET, SNMP_PDU_GETBULK, SNMP_PDU_RESPONSE, 0, 0xFF}) {
    Answer answer = mifsnmp_test::Resolve(Name({1, 1, 1, 1}), static_cast<BYTE>(type));
    EXPECT_EQ(answer.status, 2);
    EXPECT_EQ(answer.type, ASN_NULL);
  }
  EXPECT_EQ(resolve_var_bind(nullptr, SNMP_PDU_GET), 2);
}

TEST_F(MibTest, NamesOfAnyLengthAndContentAreAnsweredSafely) {
  Load(2);
  Oid long_name = Name({4, 1, 2, 1});
  long_name.resize(128, kMax);
  Oid all_max(128, kMax);
  Oid zeros(128, 0);
  for (const Oid& name : {long_name, all_max, zeros, Oid{kMax}, Oid{0}}) {
    EXPECT_EQ(Get(name).status, 2);
    Answer next = GetNext(name);
    if (next.status == 0) {
      EXPECT_LT(Compare(name, next.name), 0);
    }
  }
  EXPECT_EQ(GetNext(long_name).name, Name({4, 1, 2, 2}));
  EXPECT_EQ(GetNext(all_max).status, 2);
  EXPECT_EQ(GetNext(zeros).name, Name({1, 1, 1, 1}));

  // A binding whose count claims sub-identifiers it has no array for is an empty name.
  RFC1157VarBind broken{};
  broken.name.idLength = 20;
  EXPECT_EQ(resolve_var_bind(&broken, SNMP_PDU_GET), 2);
  EXPECT_EQ(resolve_var_bind(&broken, SNMP_PDU_GETNEXT), 0);
  SnmpUtilVarBindFree(&broken);
}

}  // namespace
