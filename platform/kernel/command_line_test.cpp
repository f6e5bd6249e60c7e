#include "kernel/command_line.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAsThePlatformsRuntime) {
  EXPECT_EQ(pairway::SplitCommandLine("probe.exe a  b\tc"), (Args{"probe.exe", "a", "b", "c"}));
  EXPECT_EQ(pairway::SplitCommandLine("\"C:\\Program Files\\x.exe\" \"two words\""),
            (Args{"C:\\Program Files\\x.exe", "two words"}));
  EXPECT_EQ(pairway::SplitCommandLine(R"(p a\\\"b c\\"d e" f\g)"),
            (Args{"p", R"(a\"b)", R"(c\d e)", R"(f\g)"}));
  EXPECT_EQ(pairway::SplitCommandLine(R"(p "a""b" "" x)"), (Args{"p", "a\"b", "", "x"}));
  EXPECT_EQ(pairway::SplitCommandLine(R"(p \\server\share)"), (Args{"p", R"(\\server\share)"}));
  EXPECT_EQ(pairway::SplitCommandLine(R"("C:\dir\" arg)"), (Args{"C:\\dir\\", "arg"}));
  EXPECT_EQ(pairway::SplitCommandLine("p \"unterminated arg"), (Args{"p", "unterminated arg"}));
  EXPECT_TRUE(pairway::SplitCommandLine("").empty());
}

TEST(CommandLine, JoiningGivesTheArgumentsBack) {
  Args args{"C:\\Program Files\\x.exe",
            "plain",
            "two words",
            "",
            R"(q"uote)",
            R"(tail\)",
            R"(sp ace\)",
            R"(a\\"b)"};
  EXPECT_EQ(pairway::SplitCommandLine(pairway::JoinCommandLine(args)), args);
}

}  // namespace
