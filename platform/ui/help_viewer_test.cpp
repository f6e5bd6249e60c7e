// Topics of our help files, found by context number.
#include <gtest/gtest.h>

#include "help_viewer.h"

namespace pairway::ui {
namespace {

const char kHelpFile[] =
    "; comments are left out\r\n"
    "[19] OK\r\n"
    "Saves the changes and closes the window.\r\n"
    "[1] Pairway Port Aggregation\n"
    "Groups ports for failover.\n"
    "\n"
    "[20]Cancel\n"
    "Closes the window.\n";

TEST(HelpFile, TopicOfAContextRunsToTheNextTopic) {
  auto topic = FindHelpTopic(kHelpFile, 19);
  ASSERT_TRUE(topic);
  EXPECT_EQ(topic->title, "OK");
  EXPECT_EQ(topic->body, "Saves the changes and closes the window.\n");
  topic = FindHelpTopic(kHelpFile, 20);
  ASSERT_TRUE(topic);
  EXPECT_EQ(topic->title, "Cancel");
}

TEST(HelpFile, UnknownContextAndIndexShowTheLowestTopic) {
  auto topic = FindHelpTopic(kHelpFile, 99);
  ASSERT_TRUE(topic);
  EXPECT_EQ(topic->context, 1u);
  EXPECT_EQ(topic->body, "Groups ports for failover.\n\n");
  EXPECT_EQ(FindHelpTopic(kHelpFile, 0)->context, 1u);
  EXPECT_FALSE(FindHelpTopic("no topics here\n[x] nor here\n", 1));
}

TEST(HelpFile, MissingFileIsNoText) {
  HelpRequest request;
  request.host_help_file = "/nonexistent/aggcfg.HLP";
  EXPECT_FALSE(ReadHelpFile(request));
}

}  // namespace
}  // namespace pairway::ui
