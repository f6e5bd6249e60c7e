#define AGGCFG_TEST_FIXTURE
#include "entry_points.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_hive.h"

namespace aggcfg_test {
namespace {

// TrevanRemoveLinks entered as the setup host enters it.
class RemoveLinksEntryTest : public ConfigTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << GetLastError();
    remove_links_ = library_.Procedure("TrevanRemoveLinks");
    ASSERT_NE(remove_links_, nullptr);

    // TREVAN1 heads "Group1" (time-out 45) with backups TREVAN2 and TREVAN5.
    SetRefCount(3);
    for (int card : {1, 2, 5}) {
      AddCard(card);
      SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
    }
    MakePrimaryPort(1, 0, 45, "Group1");
    MakeBackupPort(2, 1, 0);
    MakeBackupPort(5, 4, 0);
  }
  BOOL Call(std::vector<const char*> arguments, LPSTR* result) {
    return InstalledLibrary::Call(remove_links_, arguments, result);
  }

  void ExpectGroupUnchanged() {
    EXPECT_EQ(Dword(ParamsKey(1), VAL_LINK_CHECK_TIMEOUT), 45u);
    EXPECT_EQ(Dword(ParamsKey(2), VAL_PRIMARY_INDEX), 0u);
    EXPECT_EQ(Dword(ParamsKey(5), VAL_PRIMARY_INDEX), 0u);
    EXPECT_FALSE(Has(ParamsKey(5), VAL_LINK_CHECK_TIMEOUT));
  }

  InstalledLibrary library_{root_};
  SETUP_PROCEDURE remove_links_ = nullptr;
};

TEST_F(RemoveLinksEntryTest, CardNumberOfAPrimaryReshapesItsGroup) {
  LPSTR result = nullptr;
  EXPECT_EQ(Call({"1", "ignored"}, &result), TRUE);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(Dword(ParamsKey(5), VAL_LINK_CHECK_TIMEOUT), 45u);
  EXPECT_EQ(Text(ParamsKey(5), VAL_GROUP_NAME), "Group1");
  EXPECT_FALSE(Has(ParamsKey(5), VAL_PRIMARY_INDEX));
  EXPECT_EQ(Dword(ParamsKey(2), VAL_PRIMARY_INDEX), 4u);
  EXPECT_FALSE(Has(ParamsKey(1), VAL_LINK_CHECK_TIMEOUT));
  EXPECT_FALSE(Has(ParamsKey(1), VAL_GROUP_NAME));
  EXPECT_EQ(Text(NetRulesKey(1), VAL_BINDFORM), "\"TREVAN1\" yes yes container");
  EXPECT_FALSE(Has(NetRulesKey(2), VAL_BINDFORM));
}

TEST_F(RemoveLinksEntryTest, ZeroOrAnUnknownCardChangesNothingAndKeepsTheResultText) {
  LPSTR first = nullptr;
  EXPECT_EQ(Call({"0"}, &first), TRUE);
  ASSERT_NE(first, nullptr);
  std::string before = first;
  LPSTR second = nullptr;
  EXPECT_EQ(Call({"7"}, &second), TRUE);
  EXPECT_EQ(Call({"01"}, &second), TRUE);  // "TREVAN01" names no port
  EXPECT_EQ(second, first);
  EXPECT_EQ(std::string(second), before);
  ExpectGroupUnchanged();
}

TEST_F(RemoveLinksEntryTest, CallWithoutArgumentsNamesNoPort) {
  LPSTR result = nullptr;
  EXPECT_EQ(remove_links_(0, nullptr, &result), TRUE);
  EXPECT_NE(result, nullptr);
  EXPECT_EQ(Call({"2"}, nullptr), TRUE);  // no result pointer: the removal still happens
  ExpectGroupUnchanged();
  EXPECT_TRUE(Has(ParamsKey(2), VAL_PRIMARY_INDEX));
}

TEST(AggcfgLibrary, ExportsOnlyTheSetupProcedures) {
  std::string symbols;
  std::string library = (pairway::testing::BuildDir() / "lib" / "aggcfg.so").string();
  ASSERT_EQ(pairway::testing::RunCommand("nm -D --defined-only '" + library + "'", &symbols), 0);
  std::vector<std::string> functions;
  size_t start = 0;
  while (start < symbols.size()) {
    size_t end = symbols.find('\n', start);
    std::string line = symbols.substr(start, end - start);
    start = end == std::string::npos ? symbols.size() : end + 1;
    if (line.size() > 19 && line[17] == 'T') functions.push_back(line.substr(19));
  }
  EXPECT_EQ(functions,
            (std::vector<std::string>{"TrevanConfig", "TrevanGetConnType", "TrevanRemoveLinks"}));
}

}  // namespace
}  // namespace aggcfg_test
