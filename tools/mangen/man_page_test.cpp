// Manual pages from --help: what is taken from the help, how it is escaped, and every way a page
// and its program's help can disagree.
#include "man_page.h"

#include <gtest/gtest.h>

#include <map>

namespace mangen {
namespace {

const char kVerbHelp[] =
    "Usage: tool [--root DIR] [--json] VERB [ARGS...]\n"
    "       tool VERB --help\n"
    "\n"
    "Does things.\n"
    "\n"
    "Options:\n"
    "  --root DIR  the root\n"
    "  --json      JSON\n"
    "\n"
    "Verbs:\n"
    "  show [--json]\n"
    "  group create NAME PORT... [--timeout S] | group add NAME PORT...\n"
    "       | group rename OLD NEW\n"
    "\n"
    "Exit codes: 0 done, 1 refused or not confirmed (nothing written), 2 usage,\n"
    "3 no machine root or a registry failure.\n";

// A program whose help is `helps` (by verb; "" for its own).
HelpSource Program(std::map<std::string, std::string> helps) {
  return [helps](const std::string& verb, std::string* text) {
    auto found = helps.find(verb);
    if (found == helps.end()) return false;
    *text = found->second;
    return true;
  };
}

TEST(ManPage, TakesVerbsUsageAndExitCodesFromTheHelp) {
  EXPECT_EQ(ListedVerbs(kVerbHelp), (std::vector<std::string>{"show", "group"}));
  EXPECT_EQ(ListedVerbs("Talks to it. Commands:\n\n  create NAME binPath= PATH\n"
                        "          [error= normal]\n                writes the key\n"
                        "  start NAME    starts it\n\nOptions of create are ...\n  x y\n"),
            (std::vector<std::string>{"create", "start"}));
  EXPECT_TRUE(ListedVerbs("Usage: x\n").empty());

  EXPECT_EQ(
      UsageLines(kVerbHelp, "tool"),
      (std::vector<std::string>{"tool [--root DIR] [--json] VERB [ARGS...]", "tool VERB --help"}));
  // A continuation keeps its alignment under the command; a description is no usage line.
  EXPECT_EQ(UsageLines("Usage: daemon [--a S]\n              [--b S]\n\n  --a S  a\n", "daemon"),
            (std::vector<std::string>{"daemon [--a S]", "       [--b S]"}));
  EXPECT_EQ(UsageLines("usage: lodctr FILE.ini\n  Loads the names\n", "pairway-lodctr"),
            (std::vector<std::string>{"lodctr FILE.ini"}));
  EXPECT_EQ(UsageLines("reg: about.\n\nreg query KEY [/s]\n  Shows KEY.\nreg add KEY\n", "reg"),
            (std::vector<std::string>{"reg query KEY [/s]", "reg add KEY"}));

  auto codes = ExitCodes(kVerbHelp);
  ASSERT_EQ(codes.size(), 4u);
  EXPECT_EQ(codes[1], (std::pair<std::string, std::string>{
                          "1", "refused or not confirmed (nothing written)"}));
  EXPECT_EQ(codes[3],
            (std::pair<std::string, std::string>{"3", "no machine root or a registry failure"}));
  EXPECT_TRUE(ExitCodes("Usage: x\n").empty());
}

TEST(ManPage, CopiedHelpPrintsAsItIs) {
  EXPECT_EQ(Verbatim("HKLM\\SYSTEM --root\n.dotted\n'quoted\n"),
            ".PP\n.RS 4\n.nf\nHKLM\\eSYSTEM \\-\\-root\n\\&.dotted\n\\&'quoted\n.fi\n.RE\n");
}

TEST(ManPage, AConsistentPageIsExpanded) {
  std::string page, error;
  ASSERT_TRUE(Expand(
      ".TH TOOL 1 \"\" \"Pairway @VERSION@\"\n.SH SYNOPSIS\n@USAGE@\n"
      "The \\fB\\-\\-root\\fR option and \\-\\-json.\n@VERB show@\n@VERB group@\n"
      ".SH \"EXIT STATUS\"\n@EXIT@\n",
      "tool", "0.1", Program({{"", kVerbHelp}, {"show", "show help"}, {"group", "group help"}}),
      &page, &error))
      << error;
  EXPECT_NE(page.find("\"Pairway 0.1\""), std::string::npos);
  EXPECT_NE(page.find("\ntool [\\-\\-root DIR] [\\-\\-json] VERB [ARGS...]\n"), std::string::npos)
      << page;
  EXPECT_NE(page.find("show help"), std::string::npos);
  EXPECT_NE(page.find(".TP\n.B 2\nusage\n"), std::string::npos) << page;

  ASSERT_TRUE(
      Expand("@SECTION Options@\n", "tool", "0.1", Program({{"", kVerbHelp}}), &page, &error))
      << error;
  EXPECT_EQ(page, Verbatim("  --root DIR  the root\n  --json      JSON\n"));
  EXPECT_FALSE(
      Expand("@SECTION Flags@\n", "tool", "0.1", Program({{"", kVerbHelp}}), &page, &error));
}

TEST(ManPage, APageThatDisagreesWithItsHelpIsRefused) {
  auto all = Program({{"", kVerbHelp}, {"show", "s"}, {"group", "g"}, {"old", "o"}});
  std::string page, error;
  // A verb the help lists that the page does not describe: a new verb of the program.
  EXPECT_FALSE(Expand("@VERB show@\n", "tool", "1", all, &page, &error));
  EXPECT_NE(error.find("lists the verb group"), std::string::npos) << error;
  // A verb the page describes that the help no longer lists.
  EXPECT_FALSE(Expand("@VERB show@\n@VERB group@\n@VERB old@\n", "tool", "1", all, &page, &error));
  EXPECT_NE(error.find("describes the verb old"), std::string::npos) << error;
  // An option of the page's own words that no help has, escaped or not.
  EXPECT_FALSE(Expand("Use \\fB\\-\\-dry\\-run\\fR.\n", "tool", "1", all, &page, &error));
  EXPECT_NE(error.find("--dry-run"), std::string::npos) << error;
  EXPECT_FALSE(Expand(".B \\-\\-yes\n", "tool", "1", all, &page, &error));
  // Another program's options are no concern of the page.
  EXPECT_TRUE(Expand("\\fBsystemctl enable \\-\\-now\\fR\n", "tool", "1", all, &page, &error))
      << error;
  // Options a verb's help has count once that help is on the page.
  auto verb_option = Program({{"", "Usage: t VERB\n\nVerbs:\n  x\n"}, {"x", "--count N"}});
  EXPECT_TRUE(Expand("@VERB x@\nGive \\-\\-count.\n", "t", "1", verb_option, &page, &error))
      << error;
  // Parts the help does not have, markers that do not exist, a help that cannot be had.
  EXPECT_FALSE(Expand("@EXIT@\n", "t", "1", verb_option, &page, &error));
  EXPECT_FALSE(Expand("@USAGE@\n", "t", "1", Program({{"", "no usage\n"}}), &page, &error));
  EXPECT_FALSE(Expand("@HELPS@\n", "tool", "1", all, &page, &error));
  EXPECT_FALSE(Expand("@HELP@\n", "tool", "1", Program({}), &page, &error));
  EXPECT_NE(error.find("`tool --help` failed"), std::string::npos) << error;
}

}  // namespace
}  // namespace mangen
