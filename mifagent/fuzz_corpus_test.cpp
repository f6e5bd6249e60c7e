// Replays the fuzzer's saved corpus (mifagent/fuzz/corpus) through resolve_var_bind, so every
// input that once found new paths keeps being checked in the ordinary test run.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "agent_test_util.h"
#include "fuzz/fuzz_input.h"

namespace {

TEST(FuzzCorpus, EveryInputIsAnsweredWithinTheAgentsPromises) {
  mifsnmp_test::AgentMachine machine;
  ASSERT_TRUE(mifsnmp_fuzz::SetUpMachine(machine.root().path()));
  const std::filesystem::path corpus = pairway::testing::SourceDir() / "mifagent/fuzz/corpus";
  size_t inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream file(entry.path(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    mifsnmp_fuzz::RunOne(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    inputs++;
  }
  EXPECT_GT(inputs, 10u);
  DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
}

}  // namespace
