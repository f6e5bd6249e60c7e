// The library's help file answers every context its dialogs ask for with a topic of its own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "help_viewer.h"

namespace {

TEST(AggcfgHelpFile, EveryContextOfTheDialogsHasItsTopic) {
  const char* source = getenv("PAIRWAY_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::ifstream file(std::string(source) + "/config/aggcfg.HLP");
  ASSERT_TRUE(file);
  std::ostringstream text;
  text << file.rdbuf();
  for (unsigned long context : {1, 2, 5, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}) {
    auto topic = pairway::ui::FindHelpTopic(text.str(), context);
    ASSERT_TRUE(topic) << context;
    EXPECT_EQ(topic->context, context);
    EXPECT_FALSE(topic->body.empty()) << context;
  }
}

}  // namespace
