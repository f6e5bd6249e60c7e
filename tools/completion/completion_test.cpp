// Bash completion: the verbs of each tool, and the card numbers, group names and services of
// the root the command line names, with nothing offered (and nothing printed) where there is no
// root.
#include <gtest/gtest.h>

#include <string>

#include "temp_root.h"

namespace {

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::SourceDir;
using pairway::testing::TempRoot;

// What bash would offer for `line` (the cursor at its end), as "a|b|c|", completed by
// `function` of the completion script; standard error goes along.
std::string Complete(const std::string& function, const std::string& line,
                     const std::string& root) {
  std::string script = "source '" + (SourceDir() / "tools/completion/pairway.bash").string() +
                       "'\n"
                       "line=\"$1\"\n"
                       "read -ra COMP_WORDS <<<\"$line\"\n"
                       "[[ $line == *' ' ]] && COMP_WORDS+=('')\n"
                       "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n" +
                       function +
                       "\n"
                       "printf '%s|' \"${COMPREPLY[@]}\"\n";
  std::string out;
  RunCommand("cd '" + (BuildDir() / "bin").string() + "' && PAIRWAY_ROOT='" + root +
                 "' bash -s -- '" + line + "' 2>&1 <<'SCRIPT'\n" + script + "SCRIPT",
             &out);
  return out;
}

class CompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* arguments : {"init", "add-card", "add-card", "add-card"}) {
      ASSERT_EQ(Tool("pairway-netsetup", arguments), 0) << arguments;
    }
    ASSERT_EQ(Tool("pairwayctl", "port type 1 2 3 auto"), 0);
    ASSERT_EQ(Tool("pairwayctl", "group create Uplink 1 2"), 0);
  }
  int Tool(const std::string& tool, const std::string& arguments) {
    return RunCommand((BuildDir() / "bin" / tool).string() + " " + arguments +
                      " >/dev/null 2>&1 </dev/null");
  }
  TempRoot root_;
};

TEST_F(CompletionTest, VerbsAndOptionsOfEachTool) {
  std::string root = root_.path().string();
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl ", root), "show|watch|port|group|");
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl --yes gr", root), "group|");
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl group re", root), "remove|rename|");
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl show --", root), "--json|--help|");
  EXPECT_EQ(Complete("_pairway_netsetup", "./pairway-netsetup ", root),
            "init|add-card|remove-card|set-ip|call|nic|");
  EXPECT_EQ(Complete("_pairway_netsetup", "./pairway-netsetup nic 1 ", root), "show|set|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc st", root), "start|stop|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc create x start = ", root),
            "auto|demand|disabled|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc que", root), "query|queryex|");
  // type= means another thing to create than to a listing.
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc create x type = ", root), "own|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc query type = ", root), "service|driver|all|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc queryex state = ", root), "active|inactive|all|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc query type = all s", root), "state=|");
}

TEST_F(CompletionTest, CardsGroupsAndServicesComeFromTheRootOfTheCommandLine) {
  std::string root = root_.path().string();
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl group remove ", root), "1|2|3|");
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl group add ", root), "Uplink|");
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl group add Uplink ", root), "1|2|3|");
  EXPECT_EQ(Complete("_pairway_netsetup", "./pairway-netsetup remove-card ", root), "1|2|3|");
  EXPECT_EQ(Complete("_pairway_netsetup", "./pairway-netsetup nic 1 set traf", root), "traffic=|");
  EXPECT_NE(Complete("_pairway_sc", "./pairway-sc query TREVAN", root).find("|TREVAN2|"),
            std::string::npos);
  // --root wins over PAIRWAY_ROOT, as in the tools themselves.
  EXPECT_EQ(
      Complete("_pairwayctl", "./pairwayctl --root " + root + " group remove ", "/nonexistent"),
      "1|2|3|");
  // No root: nothing to offer, and no error printed into the command line.
  EXPECT_EQ(Complete("_pairwayctl", "./pairwayctl group remove ", "/nonexistent"), "|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc stop ", ""), "|");
  EXPECT_EQ(Complete("_pairway_sc", "./pairway-sc query ", ""), "type=|state=|");
}

}  // namespace
