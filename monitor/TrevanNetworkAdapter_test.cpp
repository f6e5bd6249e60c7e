// TREVAN cards: roles, role changes, titles, the Route parser, the slot-4 reordering and the
// IP address copy.
#include "TrevanNetworkAdapter.h"

#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>

#include "monitor_test_util.h"
#include "temp_root.h"

namespace {

using namespace monitor_test;
using pairway::testing::TempRoot;

class TestTrevan : public TrevanNetworkAdapter {
 public:
  explicit TestTrevan(int n) : TrevanNetworkAdapter(n) {}
  using TrevanNetworkAdapter::_write_adapter_state;
};

class TrevanNetworkAdapterTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

std::string Rules(int n) { return CardKey(n) + "\\" NET_RULES_SUBKEY; }

// ---- Roles -----------------------------------------------------------------------------------

TEST_F(TrevanNetworkAdapterTest, RoleComesFromTheIndexValues) {
  AddCard(1, 1);
  AddCard(2, 1);
  AddCard(3, 1);
  SetDword(ParamsKey(1), VAL_PRIMARY_INDEX, 7);
  SetDword(ParamsKey(1), VAL_BACKUP_INDEX, 9);  // PrimaryIndex wins
  SetDword(ParamsKey(2), VAL_BACKUP_INDEX, 5);
  EXPECT_EQ(TestTrevan(1).getAdapterState(), ADAPTER_STATE_BACKUP);
  EXPECT_EQ(TestTrevan(1).getAdapterIndex(), 7);
  EXPECT_EQ(TestTrevan(2).getAdapterState(), ADAPTER_STATE_PRIMARY);
  EXPECT_EQ(TestTrevan(2).getAdapterIndex(), 5);
  EXPECT_EQ(TestTrevan(3).getAdapterState(), ADAPTER_STATE_STANDALONE);
  EXPECT_EQ(TestTrevan(3).getAdapterIndex(), -1);
  EXPECT_EQ(TestTrevan(4).getAdapterState(), ADAPTER_STATE_NONE);
  EXPECT_EQ(TestTrevan(3).getSlotNumber(), 1);
  EXPECT_EQ(TestTrevan(3).getBusNumber(), 0);
  DeleteValue(ParamsKey(3), VAL_SLOT_NUMBER);
  EXPECT_EQ(TestTrevan(3).getSlotNumber(), -1);
}

TEST_F(TrevanNetworkAdapterTest, OnlyTheExactProductNameIsATrevanCard) {
  AddCard(1, 1);
  AddCard(2, 1, "trevan");
  std::unique_ptr<TrevanNetworkAdapter> card(isTrevanAdapter(1));
  EXPECT_NE(card, nullptr);
  EXPECT_EQ(isTrevanAdapter(2), nullptr);
  EXPECT_EQ(isTrevanAdapter(3), nullptr);
}

TEST_F(TrevanNetworkAdapterTest, WritingAStateOtherThanPrimaryOrBackupChangesNothing) {
  AddCard(1, 1);
  SetSz(Rules(1), VAL_TYPE, "TREVAN TREVANAdapter");
  TestTrevan card(1);
  card._write_adapter_state(ADAPTER_STATE_STANDALONE, 4);
  EXPECT_EQ(card.getAdapterState(), ADAPTER_STATE_STANDALONE);
  EXPECT_EQ(card.getAdapterIndex(), -1);
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_PRIMARY_INDEX), "<missing>");
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_BACKUP_INDEX), "<missing>");
  EXPECT_NE(GetBytes(Rules(1), VAL_TYPE), "<missing>");
}

TEST_F(TrevanNetworkAdapterTest, RoleChangesMoveIndexValuesAndBindRules) {
  AddCard(1, 1);
  TestTrevan card(1);
  card.setAdapterState(ADAPTER_STATE_BACKUP, 6);
  EXPECT_EQ(card.getAdapterState(), ADAPTER_STATE_BACKUP);
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_PRIMARY_INDEX), std::string("\x06\0\0\0", 4));
  EXPECT_EQ(GetBytes(Rules(1), VAL_BINDFORM), "<missing>");

  card.setAdapterState(ADAPTER_STATE_PRIMARY, 2);  // backup -> primary
  EXPECT_EQ(card.getAdapterState(), ADAPTER_STATE_PRIMARY);
  EXPECT_EQ(card.getAdapterIndex(), 2);
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_PRIMARY_INDEX), "<missing>");
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_BACKUP_INDEX), std::string("\x02\0\0\0", 4));
  EXPECT_NE(GetBytes(Rules(1), VAL_BINDFORM), "<missing>");

  card.setAdapterState(ADAPTER_STATE_STANDALONE, 0);  // primary -> stand-alone
  EXPECT_EQ(card.getAdapterState(), ADAPTER_STATE_STANDALONE);
  EXPECT_EQ(card.getAdapterIndex(), -1);
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_BACKUP_INDEX), "<missing>");
}

TEST_F(TrevanNetworkAdapterTest, LeavingARoleWhoseValueCannotBeDeletedChangesNothing) {
  AddCard(1, 1);
  SetDword(ParamsKey(1), VAL_PRIMARY_INDEX, 3);
  TestTrevan card(1);
  DeleteValue(ParamsKey(1), VAL_PRIMARY_INDEX);  // gone behind the object's back
  card.setAdapterState(ADAPTER_STATE_STANDALONE, 0);
  EXPECT_EQ(card.getAdapterState(), ADAPTER_STATE_BACKUP);
  EXPECT_EQ(card.getAdapterIndex(), 3);
  // The same role with the same index writes nothing.
  card.setAdapterState(ADAPTER_STATE_BACKUP, 3);
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_PRIMARY_INDEX), "<missing>");
}

// What a card's bind rules look like: the card entry starts with "bindform" alone, so a cell that
// changes nothing leaves them "untouched", enabling writes all three, disabling deletes all three.
std::string RulesState(int n) {
  bool bindform = GetBytes(Rules(n), VAL_BINDFORM) != "<missing>";
  bool cls = GetBytes(Rules(n), VAL_CLASS) != "<missing>";
  bool type = GetBytes(Rules(n), VAL_TYPE) != "<missing>";
  if (bindform && cls && type) return "enabled";
  if (!bindform && !cls && !type) return "disabled";
  if (bindform && !cls && !type) return "untouched";
  return "mixed";
}

std::string IndexValue(int n, const char* name) {
  std::string bytes = GetBytes(ParamsKey(n), name);
  if (bytes.size() != 4) return bytes;
  DWORD value;
  memcpy(&value, bytes.data(), 4);
  return std::to_string(value);
}

// Every cell of the role-change table, from a role whose partner index is 5. Each row says what
// the card holds afterwards: its role and index, both index values and its bind rules.
TEST_F(TrevanNetworkAdapterTest, EveryRoleChangeOfTheTableWritesExactlyItsCell) {
  constexpr int kNone = ADAPTER_STATE_NONE, kAlone = ADAPTER_STATE_STANDALONE,
                kPrimary = ADAPTER_STATE_PRIMARY, kBackup = ADAPTER_STATE_BACKUP;
  const char* const kMissing = "<missing>";
  struct Cell {
    int from, request, index;
    int state, state_index;
    const char* primary_index;
    const char* backup_index;
    const char* rules;
  };
  const Cell kCells[] = {
      {kNone, kAlone, 7, kNone, -1, kMissing, kMissing, "untouched"},
      {kNone, kPrimary, 7, kNone, -1, kMissing, kMissing, "untouched"},
      {kNone, kBackup, 7, kNone, -1, kMissing, kMissing, "untouched"},
      {kAlone, kAlone, 7, kAlone, -1, kMissing, kMissing, "untouched"},
      {kAlone, kPrimary, 7, kPrimary, 7, kMissing, "7", "enabled"},
      {kAlone, kBackup, 7, kBackup, 7, "7", kMissing, "disabled"},
      {kPrimary, kAlone, 7, kAlone, -1, kMissing, kMissing, "enabled"},
      {kPrimary, kPrimary, 5, kPrimary, 5, kMissing, "5", "untouched"},
      {kPrimary, kPrimary, 7, kPrimary, 7, kMissing, "7", "enabled"},
      {kPrimary, kBackup, 7, kBackup, 7, "7", kMissing, "disabled"},
      {kBackup, kAlone, 7, kAlone, -1, kMissing, kMissing, "enabled"},
      {kBackup, kPrimary, 7, kPrimary, 7, kMissing, "7", "enabled"},
      {kBackup, kBackup, 5, kBackup, 5, "5", kMissing, "untouched"},
      {kBackup, kBackup, 7, kBackup, 7, "7", kMissing, "disabled"},
  };
  int n = 0;
  for (const Cell& cell : kCells) {
    ++n;
    SCOPED_TRACE("card " + std::to_string(n) + ": role " + std::to_string(cell.from) +
                 ", request " + std::to_string(cell.request) + " with index " +
                 std::to_string(cell.index));
    AddCard(n, 1);
    if (cell.from == kNone) DeleteValue(CardKey(n), VAL_SERVICE_NAME);  // not present
    if (cell.from == kPrimary) SetDword(ParamsKey(n), VAL_BACKUP_INDEX, 5);
    if (cell.from == kBackup) SetDword(ParamsKey(n), VAL_PRIMARY_INDEX, 5);
    TestTrevan card(n);
    ASSERT_EQ(card.getAdapterState(), cell.from);
    card.setAdapterState(cell.request, cell.index);
    EXPECT_EQ(card.getAdapterState(), cell.state);
    EXPECT_EQ(card.getAdapterIndex(), cell.state_index);
    EXPECT_EQ(IndexValue(n, VAL_PRIMARY_INDEX), cell.primary_index);
    EXPECT_EQ(IndexValue(n, VAL_BACKUP_INDEX), cell.backup_index);
    EXPECT_EQ(RulesState(n), cell.rules);
    // The role the registry now holds is the role the object reports.
    if (cell.from != kNone) {
      EXPECT_EQ(TestTrevan(n).getAdapterState(), cell.state);
    }
  }
}

TEST_F(TrevanNetworkAdapterTest, OtherAdapterIsFoundByAdapterIndex) {
  AddCard(1, 1);
  AddCard(2, 1);
  AddCard(3, 1);
  SetDword(ParamsKey(1), VAL_ADAPTER_INDEX, 0);
  SetDword(ParamsKey(2), VAL_ADAPTER_INDEX, 1);
  SetDword(ParamsKey(3), VAL_ADAPTER_INDEX, 2);
  SetDword(ParamsKey(3), VAL_PRIMARY_INDEX, 1);
  TestTrevan backup(3);
  std::unique_ptr<TrevanNetworkAdapter> primary(backup.getOtherAdapter());
  ASSERT_NE(primary, nullptr);
  EXPECT_EQ(primary->getAdapterInstance(), 2);
  EXPECT_EQ(TestTrevan(1).getOtherAdapter(), nullptr);  // index -1 names nobody
}

// ---- Titles ----------------------------------------------------------------------------------

TEST_F(TrevanNetworkAdapterTest, TitleIsCutAtTheDashAndGetsThePartner) {
  AddCard(1, 1);
  AddCard(2, 1);
  SetSz(CardKey(1), VAL_TITLE, "[1] Port-->[5]");
  TestTrevan card(1);
  TestTrevan partner(2);
  card.writeTitleString(&partner);
  EXPECT_EQ(GetBytes(CardKey(1), VAL_TITLE), "[1] Port-->[2]");  // no terminator
  card.writeTitleString(nullptr);
  EXPECT_EQ(GetBytes(CardKey(1), VAL_TITLE), "[1] Port");
}

TEST_F(TrevanNetworkAdapterTest, UpdateBackupInfoEditsInPlace) {
  TestTrevan card(1);
  char title[64] = "Corvane Port";
  card._updateBackupInfo(title, "-->[2]");
  EXPECT_STREQ(title, "Corvane Port-->[2]");
  char dashed[64] = "Multi-Port";
  card._updateBackupInfo(dashed, nullptr);
  EXPECT_STREQ(dashed, "Multi");
  char plain[64] = "Plain";
  card._updateBackupInfo(plain, nullptr);
  EXPECT_STREQ(plain, "Plain");
}

TEST_F(TrevanNetworkAdapterTest, LongestTitleTakesTheSuffixWithoutOverrun) {
  AddCard(1, 1);
  AddCard(254, 1);
  SetBytes(CardKey(1), VAL_TITLE, REG_SZ, std::string(80, 'T'));  // full buffer, no terminator
  TestTrevan card(1);
  TestTrevan partner(254);
  card.writeTitleString(&partner);
  EXPECT_EQ(GetBytes(CardKey(1), VAL_TITLE), std::string(80, 'T'));  // unreadable: unchanged
  SetBytes(CardKey(1), VAL_TITLE, REG_SZ, std::string(79, 'T') + '\0');
  card.writeTitleString(&partner);
  EXPECT_EQ(GetBytes(CardKey(1), VAL_TITLE), std::string(79, 'T') + "-->[254]");
}

// ---- Route parser ----------------------------------------------------------------------------

int ParseAll(const std::string& list, std::vector<int>* numbers) {
  static char buffer[256];
  memset(buffer, 0, sizeof buffer);
  memcpy(buffer, list.data(), list.size());
  TestTrevan parser(0);
  char* position = buffer;
  int result;
  while ((result = parser._parseBindRoute(&position)) >= 0) numbers->push_back(result);
  return result;
}

TEST_F(TrevanNetworkAdapterTest, ParserWalksEntriesToTheEnd) {
  std::vector<int> numbers;
  EXPECT_EQ(ParseAll(Multi({"\"TREVAN1\"", "\"TREVAN12\"", "\"TREVAN3\""}), &numbers),
            ROUTE_END_OF_LIST);
  EXPECT_EQ(numbers, (std::vector<int>{1, 12, 3}));
  numbers.clear();
  EXPECT_EQ(ParseAll(std::string(1, '\0'), &numbers), ROUTE_END_OF_LIST);
  EXPECT_TRUE(numbers.empty());
}

TEST_F(TrevanNetworkAdapterTest, ParserRejectsMalformedEntries) {
  std::vector<int> numbers;
  // No closing quote: the quotes of the next entry are not taken for it.
  EXPECT_EQ(ParseAll(Multi({"\"TREVAN1", "\"TREVAN2\""}), &numbers), ROUTE_MALFORMED_ENTRY);
  EXPECT_TRUE(numbers.empty());
  EXPECT_EQ(ParseAll(Multi({"\"TRE\""}), &numbers), ROUTE_MALFORMED_ENTRY);  // too short
  // Characters of the prefix are skipped, not compared; more than 9 digits are cut.
  numbers.clear();
  EXPECT_EQ(ParseAll(Multi({"\"XXXXXX4\"", "\"TREVAN12345678901\""}), &numbers), ROUTE_END_OF_LIST);
  EXPECT_EQ(numbers, (std::vector<int>{4, 123456789}));
  // Text after the closing quote is passed over with its entry.
  numbers.clear();
  EXPECT_EQ(ParseAll(Multi({"\"TREVAN2\"junk", "\"TREVAN5\""}), &numbers), ROUTE_END_OF_LIST);
  EXPECT_EQ(numbers, (std::vector<int>{2, 5}));
}

// ---- Slot-4 reordering -----------------------------------------------------------------------

class ReorderTest : public TrevanNetworkAdapterTest {
 protected:
  int Reorder() {
    std::unique_ptr<TrevanNetworkAdapter> first(isTrevanAdapter(1));
    return first->adjBindLinkage();
  }
  void ExpectLists(std::initializer_list<int> cards) {
    std::string route, device;
    for (int n : cards) {
      route += "\"TREVAN" + std::to_string(n) + "\"" + '\0';
      device += "\\Device\\TREVAN" + std::to_string(n) + '\0';
    }
    EXPECT_EQ(Linkage(VAL_ROUTE), route + '\0');
    EXPECT_EQ(Linkage(VAL_BIND), device + '\0');
    EXPECT_EQ(Linkage(VAL_EXPORT), device + '\0');
  }
};

TEST_F(ReorderTest, SlotFourComesFirstInAllThreeLists) {
  AddCard(1, 2);
  AddCard(2, 3);
  AddCard(3, 4);
  SetLinkage({1, 2, 3});
  SetBytes(DRIVER_LINKAGE_KEY, VAL_BIND, REG_MULTI_SZ, Multi({"stale"}));  // discarded
  TraceCapture trace;
  EXPECT_EQ(Reorder(), 1);
  ExpectLists({3, 1, 2});
  EXPECT_EQ(trace.text(),
            "TrevanNetworkAdapter entered\n"
            "1st Service#: \"TREVAN1\"\n"
            "Checking TREVAN Instance#= 1\n"
            "Checking TREVAN Instance#= 2\n"
            "Checking TREVAN Instance#= 3\n"
            "-> Wrote as head binding TREVAN Instance#= 3\n"
            "-> Wrote as tail binding TREVAN Instance#= 1\n"
            "-> Wrote as tail binding TREVAN Instance#= 2\n");
}

TEST_F(ReorderTest, TiesKeepTheirFormerOrder) {
  AddCard(1, 1);
  AddCard(2, 4);
  AddCard(3, 2);
  AddCard(4, 4);
  DeleteValue(ParamsKey(3), VAL_SLOT_NUMBER);  // unreadable slot: not slot 4
  SetLinkage({4, 3, 2, 1});
  EXPECT_EQ(Reorder(), 1);
  ExpectLists({4, 2, 3, 1});
}

TEST_F(ReorderTest, EmptyRouteEmptiesAllLists) {
  AddCard(1, 4);
  SetLinkage({});
  SetBytes(DRIVER_LINKAGE_KEY, VAL_EXPORT, REG_MULTI_SZ, Multi({"old"}));
  EXPECT_EQ(Reorder(), 1);
  ExpectLists({});
}

TEST_F(ReorderTest, DeletedCardStopsTheRebuildAfterTheHeadEntriesMetBeforeIt) {
  AddCard(1, 1);
  AddCard(2, 4);
  AddCard(4, 4);
  SetLinkage({1, 2, 3, 4});  // card 3 has no card entry
  TraceCapture trace;
  EXPECT_EQ(Reorder(), 0);
  ExpectLists({2});
  EXPECT_NE(trace.text().find("new TrevanNetworkAdapter failed! adptInst= 3 should exist.\n"),
            std::string::npos);
}

TEST_F(ReorderTest, UnreadableRouteChangesNothing) {
  AddCard(1, 4);
  SetLinkage({1});
  std::string too_long = std::string(NA_MULTISZ_SIZE, 'x') + std::string(2, '\0');
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, too_long);
  TraceCapture trace;
  EXPECT_EQ(Reorder(), 0);
  EXPECT_EQ(trace.text(), "TrevanNetworkAdapter entered\ngetBindRoute failed!\n");
  EXPECT_EQ(Linkage(VAL_ROUTE), too_long);
  EXPECT_EQ(Linkage(VAL_BIND), Multi({"\\Device\\TREVAN1"}));
}

TEST_F(ReorderTest, RouteWithoutTerminatorsIsRebuiltWhole) {
  AddCard(1, 1);
  AddCard(2, 4);
  SetLinkage({});
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ,
           std::string("\"TREVAN1\"\0\"TREVAN2\"", 19));
  EXPECT_EQ(Reorder(), 1);
  ExpectLists({2, 1});
}

TEST_F(ReorderTest, MoreDeferredEntriesThanCardNumbersAreAllKept) {
  AddCard(1, 1);
  std::string route;
  const int kEntries = 300;  // more than the 255 card numbers there are
  for (int i = 0; i < kEntries; i++) route += std::string("\"TREVAN1\"") + '\0';
  SetLinkage({});
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, route + '\0');
  EXPECT_EQ(Reorder(), 1);
  EXPECT_EQ(Linkage(VAL_ROUTE), route + '\0');
}

// ---- IP address copy -------------------------------------------------------------------------

class IpAddressTest : public TrevanNetworkAdapterTest {
 protected:
  void SetUp() override { AddCard(1, 1); }
  int Update() { return TestTrevan(1).updateIPAddress(1); }
  std::string Copy(DWORD* type = nullptr) { return GetBytes(ParamsKey(1), VAL_IP_ADDRESS, type); }
};

TEST_F(IpAddressTest, FirstAddressIsCopiedWithOneTerminator) {
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"192.168.1.10"}));
  TraceCapture trace;
  EXPECT_EQ(Update(), 1);
  DWORD type = 0;
  EXPECT_EQ(Copy(&type), std::string("192.168.1.10\0", 13));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(trace.text(),
            "TrevanNetworkAdapter::updateIPAddress() entered- instance=1\n"
            "TCPIP Keyname= SYSTEM\\CurrentControlSet\\Services\\TREVAN1\\Parameters\\Tcpip\n"
            "IPAddress= 192.168.1.10\n");
}

TEST_F(IpAddressTest, OnlyTheFirstOfTwoShortAddresses) {
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(Update(), 1);
  EXPECT_EQ(Copy(), std::string("10.0.0.1\0", 9));
}

TEST_F(IpAddressTest, ValueLongerThanTheBufferRemovesTheCopy) {
  SetBytes(ParamsKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, std::string("1.1.1.1\0", 8));
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"192.168.100.10", "192.168.100.11"}));
  TraceCapture trace;
  EXPECT_EQ(Update(), 1);
  EXPECT_EQ(Copy(), "<missing>");
  EXPECT_NE(trace.text().find("Tcpip\\IPAddress RegQueryValueEx Tcpip failed! STATUS= 0xea\n"),
            std::string::npos);
}

TEST_F(IpAddressTest, EmptyFirstStringGivesASingleZeroByte) {
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, std::string(2, '\0'));
  EXPECT_EQ(Update(), 1);
  EXPECT_EQ(Copy(), std::string(1, '\0'));
}

TEST_F(IpAddressTest, NoTcpipKeyRemovesTheCopyAndStillSucceeds) {
  SetBytes(ParamsKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, std::string("1.1.1.1\0", 8));
  TraceCapture trace;
  EXPECT_EQ(Update(), 1);
  EXPECT_EQ(Copy(), "<missing>");
  EXPECT_EQ(Update(), 1);  // nothing left to delete
  EXPECT_NE(trace.text().find("RegOpenKeyEx for TREVAN1 Tcpip failed!\n"), std::string::npos);
}

TEST_F(IpAddressTest, TwentyFiveBytesWithoutZeroAreBounded) {
  std::string unterminated(25, '7');
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, unterminated);
  EXPECT_EQ(Update(), 1);
  EXPECT_EQ(Copy(), unterminated + '\0');
}

}  // namespace
