// pairwayctl --json: the output scripts read. It keeps every key and value of earlier releases,
// says what a change did (or would do), and stays valid JSON whatever the names hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "four_port_root.h"

namespace {

using Json = nlohmann::json;
using pairway::testing::SourceDir;

class PairwayctlJsonTest : public pairwayctl_test::FourPortRootTest {
 protected:
  // Runs pairwayctl with `arguments`; its standard output parsed, or a failure of the test.
  Json CtlJson(const std::string& arguments, int expected_code) {
    std::string out;
    EXPECT_EQ(Tool("pairwayctl", arguments, &out, false), expected_code) << arguments;
    Json json = Json::parse(out, nullptr, false);
    EXPECT_FALSE(json.is_discarded()) << "not JSON: " << out;
    return json;
  }
};

// Every key of `before` is in `now` with the same value; the figures of the statistics library
// need only keep their type, since they come from live counters.
void ExpectKeeps(const Json& before, const Json& now, const std::string& where) {
  static const char* const kFigures[] = {"link_up", "bytes_sent", "bytes_received"};
  if (before.is_object()) {
    ASSERT_TRUE(now.is_object()) << where;
    for (const auto& [key, value] : before.items()) {
      ASSERT_TRUE(now.contains(key)) << where << ": the key \"" << key << "\" is gone";
      bool figure = std::find(std::begin(kFigures), std::end(kFigures), key) != std::end(kFigures);
      if (figure) {
        EXPECT_EQ(now[key].type(), value.type()) << where << "." << key;
      } else {
        ExpectKeeps(value, now[key], where + "." + key);
      }
    }
  } else if (before.is_array()) {
    ASSERT_TRUE(now.is_array()) << where;
    ASSERT_EQ(now.size(), before.size()) << where;
    for (size_t i = 0; i < before.size(); ++i) {
      ExpectKeeps(before[i], now[i], where + "[" + std::to_string(i) + "]");
    }
  } else {
    EXPECT_EQ(now, before) << where;
  }
}

TEST_F(PairwayctlJsonTest, ShowKeepsEveryKeyAndValueOfRelease01) {
  // The machine testdata/show_0.1.json was taken from.
  ASSERT_EQ(Tool("pairwayctl", "port type 4 100full"), 0);
  ASSERT_EQ(Tool("pairway-netsetup", "set-ip 4 10.1.2.3"), 0);
  ASSERT_EQ(Tool("pairwayctl", "group create - 1 2 --timeout 7"), 0);
  std::ifstream file(SourceDir() / "tools/pairwayctl/testdata/show_0.1.json");
  Json before = Json::parse(file);
  ExpectKeeps(before, CtlJson("show --json", 0), "show");
}

TEST_F(PairwayctlJsonTest, ChangeSummariesSayWhatWasDone) {
  Json created = CtlJson("group create - 1 2 --json", 0);
  EXPECT_EQ(created["command"], "group create");
  EXPECT_EQ(created["result"], "done");
  EXPECT_EQ(created["written"], true);
  ASSERT_EQ(created["groups"].size(), 1u);
  Json show = CtlJson("show --json", 0);
  // The group as show gives it, with the name "-" stood for.
  EXPECT_EQ(created["groups"][0], show["groups"][0]);
  EXPECT_EQ(created["groups"][0]["name"], "Group1");
  ASSERT_EQ(created["ports"].size(), 2u);
  EXPECT_EQ(created["ports"][1]["role"], "primary");
  bool primary_written = false;
  for (const Json& change : created["registry_changes"]) {
    if (change["key"] ==
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\TREVAN2\\"
        "Parameters") {
      primary_written = change["change"] == "changed" &&
                        change["values_set"].dump().find("\"GroupName\"") != std::string::npos;
    }
  }
  EXPECT_TRUE(primary_written) << created["registry_changes"].dump(1);

  Json typed = CtlJson("port type 3 100full --json", 0);
  EXPECT_EQ(typed["command"], "port type");
  ASSERT_EQ(typed["ports"].size(), 1u);
  EXPECT_EQ(typed["ports"][0]["connection_type"], 384);

  Json renamed = CtlJson("--json group rename Group1 Fast", 0);
  EXPECT_EQ(renamed["groups"][0]["name"], "Fast");
  EXPECT_EQ(renamed["groups_removed"], Json::array({"Group1"}));

  // The last ports leave: the group is gone.
  Json removed = CtlJson("group remove 1 2 --json", 0);
  EXPECT_EQ(removed["groups"], Json::array());
  EXPECT_EQ(removed["groups_removed"], Json::array({"Fast"}));
  EXPECT_EQ(removed["ports"][0]["role"], "stand-alone");
}

TEST_F(PairwayctlJsonTest, SummariesOfDryRunsAndRefusalsWriteNothing) {
  std::string before = Export();
  Json dry = CtlJson("--dry-run --json group create Fast 3 4 --timeout 30", 0);
  EXPECT_EQ(dry["dry_run"], true);
  EXPECT_EQ(dry["written"], false);
  // What the change would leave, seen inside the transaction that was not committed.
  EXPECT_EQ(dry["groups"][0]["timeout"], "30");
  EXPECT_EQ(dry["groups"][0]["primary"], "TREVAN4");
  EXPECT_FALSE(dry["registry_changes"].empty());
  EXPECT_EQ(Export(), before);

  Json refused = CtlJson("group timeout Nothing 5 --json", 1);
  EXPECT_EQ(refused["result"], "refused");
  EXPECT_EQ(refused["exit_code"], 1);
  EXPECT_EQ(refused["written"], false);
  EXPECT_EQ(refused["registry_changes"], Json::array());
  EXPECT_EQ(refused["messages"][0], "no group is named Nothing; nothing was changed");

  ASSERT_EQ(Tool("pairwayctl", "group create - 1 2"), 0);
  before = Export();
  Json page = CtlJson("group timeout Group1 '' --json", 1);
  EXPECT_EQ(page["messages"][0], "Error ** Link Check Time Out Can Not Be Empty!! **");
  Json usage = CtlJson("group rename Group1 --json", 2);
  EXPECT_EQ(usage["result"], "usage");
  EXPECT_EQ(Export(), before);
}

TEST_F(PairwayctlJsonTest, NamesThatAreNotUtf8StillGiveValidJson) {
  // A group name with a Latin-1 byte, as a hive written elsewhere may hold.
  ASSERT_EQ(Tool("pairwayctl", "group create \"$(printf 'Caf\\351')\" 1 2"), 0);
  Json show = CtlJson("show --json", 0);
  EXPECT_EQ(show["groups"][0]["name"], "Caf\xEF\xBF\xBD");
  EXPECT_EQ(show["ports"][0]["group"], "Caf\xEF\xBF\xBD");
}

}  // namespace
