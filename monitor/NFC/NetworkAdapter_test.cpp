// Card objects: presence, bind rules and the byte layout of the linkage lists.
#include "NFC/NetworkAdapter.h"

#include <gtest/gtest.h>

#include <string>

#include "monitor_test_util.h"
#include "temp_root.h"

namespace {

using namespace monitor_test;
using pairway::testing::TempRoot;

// Opens the protected operations to the tests.
class TestAdapter : public NetworkAdapter {
 public:
  explicit TestAdapter(int n) : NetworkAdapter(n) {}
  using NetworkAdapter::_get_value;
  using NetworkAdapter::_handle_network_instance;
  using NetworkAdapter::_writeMultiSzValues;
};

class NetworkAdapterTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

TEST_F(NetworkAdapterTest, CardWithAllKeysIsPresent) {
  AddCard(2, 1);
  TestAdapter adapter(2);
  EXPECT_EQ(adapter.isAdapterPresent(), 1);
  EXPECT_EQ(adapter.getAdapterInstance(), 2);
  EXPECT_STREQ(adapter.getProductName(), "TREVAN");
}

TEST_F(NetworkAdapterTest, MissingKeysOrNamesMakeTheCardAbsent) {
  AddCard(1, 1);
  AddCard(2, 1);
  AddCard(3, 1);
  AddCard(4, 1);
  // No NetRules subkey.
  HKEY card = CreateKey(CardKey(1));
  RegDeleteKeyA(card, NET_RULES_SUBKEY);
  RegCloseKey(card);
  // No driver parameters key.
  HKEY service = CreateKey(SERVICES_KEY_SLASH "TREVAN2");
  RegDeleteKeyA(service, PARAMETERS_SUBKEY);
  RegCloseKey(service);
  // No Manufacturer.
  DeleteValue(CardKey(3), VAL_MANUFACTURER);
  // A product without a Linkage key.
  SetSz(CardKey(4), VAL_PRODUCT_NAME, "OTHER");

  for (int n : {1, 2, 3, 4, 5}) {
    TestAdapter adapter(n);
    EXPECT_EQ(adapter.isAdapterPresent(), 0) << "card " << n;
    EXPECT_EQ(adapter.getAdapterInstance(), -1);
    EXPECT_EQ(adapter.getProductName(), nullptr);
    DWORD type, size = 4;
    BYTE value[4];
    EXPECT_EQ(adapter.getParameterValue(VAL_SLOT_NUMBER, &type, value, &size), 0);
  }
}

TEST_F(NetworkAdapterTest, OverlongNamesMakeTheCardAbsentWithoutOverrun) {
  AddCard(1, 1);
  AddCard(2, 1);
  AddCard(3, 1);
  SetSz(CardKey(1), VAL_MANUFACTURER, std::string(64, 'M'));  // 64 characters: too long
  // 63 characters fit the name buffer but not the 80-byte key path built from it.
  std::string long_service(63, 'S');
  SetSz(CardKey(2), VAL_SERVICE_NAME, long_service);
  SetDword(SERVICES_KEY_SLASH + long_service + "\\Parameters", VAL_SLOT_NUMBER, 1);
  // 64 bytes of text stored without a terminator, as REG_BINARY.
  SetBytes(CardKey(3), VAL_MANUFACTURER, REG_BINARY, std::string(64, 'B'));
  for (int n : {1, 2, 3}) EXPECT_EQ(TestAdapter(n).isAdapterPresent(), 0) << "card " << n;
}

TEST_F(NetworkAdapterTest, NamesStoredWithoutTerminatorStillRead) {
  AddCard(1, 1);
  SetBytes(CardKey(1), VAL_MANUFACTURER, REG_SZ, "Corvane");  // no terminator
  TestAdapter adapter(1);
  ASSERT_EQ(adapter.isAdapterPresent(), 1);
  char buffer[8];
  DWORD type = 0, size = sizeof buffer;
  // Exactly filling the buffer leaves no room for the terminator a REG_SZ gets.
  SetBytes(CardKey(1), "Eight", REG_SZ, "12345678");
  EXPECT_EQ(adapter._get_value(adapter._handle_network_instance, "Eight", &type,
                               reinterpret_cast<LPBYTE>(buffer), &size),
            0);
  size = sizeof buffer;
  EXPECT_EQ(adapter._get_value(adapter._handle_network_instance, VAL_MANUFACTURER, &type,
                               reinterpret_cast<LPBYTE>(buffer), &size),
            1);
  EXPECT_STREQ(buffer, "Corvane");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(NetworkAdapterTest, BindRulesAreWrittenByteExactAndDeleted) {
  AddCard(3, 1);
  NetworkAdapter adapter(3);
  adapter.enableBindings();
  std::string rules = CardKey(3) + "\\" NET_RULES_SUBKEY;
  DWORD type = 0;
  EXPECT_EQ(GetBytes(rules, VAL_BINDFORM, &type),
            std::string("\"TREVAN3\" yes yes container\0", 28));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  // A multi-string with its entry terminator only.
  EXPECT_EQ(GetBytes(rules, VAL_CLASS, &type), std::string("TREVANAdapter basic\0", 20));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(GetBytes(rules, VAL_TYPE, &type), std::string("TREVAN TREVANAdapter\0", 21));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  adapter.disableBindings();
  EXPECT_EQ(GetBytes(rules, VAL_BINDFORM), "<missing>");
  EXPECT_EQ(GetBytes(rules, VAL_CLASS), "<missing>");
  EXPECT_EQ(GetBytes(rules, VAL_TYPE), "<missing>");
}

TEST_F(NetworkAdapterTest, RouteEntryMatchesExactly) {
  AddCard(3, 1);
  AddCard(31, 1);
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, std::string(1, '\0'));
  EXPECT_EQ(NetworkAdapter(3).isBindRulesPresent(), 0);  // the empty list

  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, Multi({"\"TREVAN1\"", "\"TREVAN3\""}));
  EXPECT_EQ(NetworkAdapter(3).isBindRulesPresent(), 1);
  EXPECT_EQ(NetworkAdapter(31).isBindRulesPresent(), 0);

  DeleteValue(DRIVER_LINKAGE_KEY, VAL_ROUTE);
  EXPECT_EQ(NetworkAdapter(3).isBindRulesPresent(), 0);
}

TEST_F(NetworkAdapterTest, RouteWithoutTerminatorsIsSearchedInsideItsBytes) {
  AddCard(3, 1);
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ,
           std::string("\"TREVAN1\"\0\"TREVAN3\"", 19));
  EXPECT_EQ(NetworkAdapter(3).isBindRulesPresent(), 1);
  // A full buffer of text with no zero byte anywhere.
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, std::string(NA_MULTISZ_SIZE, 'x'));
  EXPECT_EQ(NetworkAdapter(3).isBindRulesPresent(), 0);
}

TEST_F(NetworkAdapterTest, AppendKeepsEveryByteOfAWellFormedList) {
  AddCard(2, 1);
  SetBytes(DRIVER_LINKAGE_KEY, VAL_BIND, REG_MULTI_SZ, Multi({"\\Device\\TREVAN1"}));
  TestAdapter adapter(2);
  ASSERT_EQ(adapter._writeMultiSzValues(VAL_BIND, "\\Device\\TREVAN2"), 1);
  DWORD type = 0;
  EXPECT_EQ(Linkage(VAL_BIND), Multi({"\\Device\\TREVAN1", "\\Device\\TREVAN2"}));
  GetBytes(DRIVER_LINKAGE_KEY, VAL_BIND, &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
}

TEST_F(NetworkAdapterTest, AppendToEmptyAndMalformedLists) {
  AddCard(2, 1);
  TestAdapter adapter(2);
  struct Case {
    std::string stored;
    std::string expected;
  } cases[] = {
      {std::string(1, '\0'), Multi({"N"})},         // the empty list
      {std::string(), Multi({"N"})},                // zero bytes
      {std::string("A\0", 2), Multi({"A", "N"})},   // no list terminator
      {std::string("A"), Multi({"A", "N"})},        // no terminator at all
      {Multi({"A", "B"}), Multi({"A", "B", "N"})},  // two entries
  };
  for (const Case& c : cases) {
    SetBytes(DRIVER_LINKAGE_KEY, VAL_EXPORT, REG_MULTI_SZ, c.stored);
    ASSERT_EQ(adapter._writeMultiSzValues(VAL_EXPORT, "N"), 1);
    EXPECT_EQ(Linkage(VAL_EXPORT), c.expected) << "stored size " << c.stored.size();
  }
}

TEST_F(NetworkAdapterTest, AppendThatWouldNotFitLeavesTheListAlone) {
  AddCard(2, 1);
  TestAdapter adapter(2);
  // 16316 bytes: an entry of four characters would need 16321, one of three exactly 16320.
  std::string full = std::string(NA_MULTISZ_SIZE - 6, 'x') + std::string(2, '\0');
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ, full);
  EXPECT_EQ(adapter._writeMultiSzValues(VAL_ROUTE, "abcd"), 0);
  EXPECT_EQ(Linkage(VAL_ROUTE), full);
  EXPECT_EQ(adapter._writeMultiSzValues(VAL_ROUTE, "abc"), 1);  // exactly 16320 bytes
  EXPECT_EQ(Linkage(VAL_ROUTE).size(), static_cast<size_t>(NA_MULTISZ_SIZE));
  // A list longer than the buffer cannot be read, so nothing is appended.
  std::string too_long(NA_MULTISZ_SIZE + 1, 'y');
  SetBytes(DRIVER_LINKAGE_KEY, VAL_BIND, REG_MULTI_SZ, too_long);
  EXPECT_EQ(adapter._writeMultiSzValues(VAL_BIND, "a"), 0);
  EXPECT_EQ(Linkage(VAL_BIND), too_long);
  EXPECT_EQ(adapter._writeMultiSzValues("Missing", "a"), 0);
}

TEST_F(NetworkAdapterTest, WriteAndClearBindRules) {
  AddCard(1, 1);
  AddCard(2, 1);
  SetLinkage({1});
  NetworkAdapter adapter(2);
  ASSERT_EQ(adapter.writeBindRules(), 1);
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));
  EXPECT_EQ(Linkage(VAL_BIND), Multi({"\\Device\\TREVAN1", "\\Device\\TREVAN2"}));
  EXPECT_EQ(Linkage(VAL_EXPORT), Multi({"\\Device\\TREVAN1", "\\Device\\TREVAN2"}));

  ASSERT_EQ(adapter.clearBindRules(), 1);
  for (const char* list : {VAL_ROUTE, VAL_BIND, VAL_EXPORT}) {
    EXPECT_EQ(Linkage(list), std::string(1, '\0')) << list;
  }
}

TEST_F(NetworkAdapterTest, WriteBindRulesStopsAtTheFirstMissingList) {
  AddCard(2, 1);
  SetLinkage({1});
  DeleteValue(DRIVER_LINKAGE_KEY, VAL_BIND);
  EXPECT_EQ(NetworkAdapter(2).writeBindRules(), 0);
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));
  EXPECT_EQ(Linkage(VAL_EXPORT), Multi({"\\Device\\TREVAN1"}));
}

TEST_F(NetworkAdapterTest, TitleIsReadAndStoredWithExactLength) {
  AddCard(1, 1);
  NetworkAdapter adapter(1);
  ASSERT_EQ(adapter.setTitle("Port A", 6), 1);
  EXPECT_EQ(GetBytes(CardKey(1), VAL_TITLE), "Port A");
  char title[16] = {};
  EXPECT_EQ(adapter.getTitle(title, 15), 1);
  EXPECT_STREQ(title, "Port A");
}

}  // namespace
