// A driver killed with its groups made, and the next one's clean-up; a group kept by a real
// link watch (pairway-datapath-run) failing over when its head loses its carrier.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "child_process.h"
#include "data_path.h"
#include "netlink/link.h"
#include "temp_root.h"
#include "topology.h"

namespace pairway::driver {
namespace {

using pairway::testing::ChildProcess;
using pairway::testing::Topology;
using pairway::testing::UdpEcho;
using namespace std::chrono_literals;

class RunnerTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!topology_.ok()) GTEST_SKIP() << "no namespaces here: " << topology_.error();
  }

  std::unique_ptr<ChildProcess> StartRunner() {
    auto runner = std::make_unique<ChildProcess>(std::vector<std::string>{
        "ip", "netns", "exec", topology_.host().name(),
        pairway::testing::BesideThisTest("pairway-datapath-run"), "--kind", GetParam(), "--journal",
        root_.path().string(), "--group", "g0", "--address", "10.77.0.1/24", "m0", "m1"});
    EXPECT_NE(runner->WaitForLine("ready", 20s), "");
    return runner;
  }

  // What `command` prints on standard output. Its errors go along only when asked for: `ip`
  // complains on standard error about peers in namespaces that other tests are deleting.
  std::string Show(const std::string& command, bool with_errors = false) {
    std::string out;
    topology_.host().Exec(command + (with_errors ? " 2>&1" : " 2>/dev/null"), &out);
    return out;
  }

  // The member links as the driver may change them (flags, MAC, MTU), without the peer's
  // namespace, which `ip` names or numbers depending on what else exists at that moment.
  std::string ShowMembers() {
    return Show("ip -o link show m0 | sed 's/ link-netns[a-z]* [^ ]*//'") +
           Show("ip -o link show m1 | sed 's/ link-netns[a-z]* [^ ]*//'");
  }

  Topology topology_{2};
  pairway::testing::TempRoot root_;
};

TEST_P(RunnerTest, KilledDriverIsCleanedUpByTheNextOnesRemoveLeftovers) {
  ASSERT_EQ(topology_.host().Exec("ip addr add 10.77.1.5/24 dev m0"), 0);
  ASSERT_EQ(topology_.host().Exec("ip link set m1 down"), 0);
  const std::string addresses_before = Show("ip -o addr show scope global");
  const std::string links_before = ShowMembers();
  {
    std::unique_ptr<ChildProcess> runner = StartRunner();
    runner->Signal(SIGKILL);
    const int status = runner->Wait();
    ASSERT_TRUE(WIFSIGNALED(status));
  }
  ASSERT_EQ(Show("ip -o addr show dev m0 scope global"), "");  // the kill left m0 changed

  int cleaned = -1;
  ASSERT_TRUE(topology_.host().Run([&] { cleaned = RemoveLeftovers(root_.path()); }));
  EXPECT_EQ(cleaned, 1);
  EXPECT_EQ(Show("ip -o addr show scope global"), addresses_before);
  EXPECT_EQ(ShowMembers(), links_before);
  EXPECT_NE(Show("ip link show g0", true).find("does not exist"), std::string::npos);
  EXPECT_EQ(Show("tc qdisc show").find("clsact"), std::string::npos);
  ASSERT_TRUE(topology_.host().Run([&] { cleaned = RemoveLeftovers(root_.path()); }));
  EXPECT_EQ(cleaned, 0);
}

TEST_P(RunnerTest, StoppedDriverGivesEverythingBack) {
  ASSERT_EQ(topology_.host().Exec("ip addr add 10.77.1.5/24 dev m0"), 0);
  const std::string addresses_before = Show("ip -o addr show scope global");
  std::unique_ptr<ChildProcess> runner = StartRunner();
  runner->Signal(SIGTERM);
  const int status = runner->Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Show("ip -o addr show scope global"), addresses_before);
  EXPECT_TRUE(std::filesystem::is_empty(root_.path()));
}

TEST_P(RunnerTest, CarrierLossOfTheHeadMovesTheGroupAndItsReturnBringsItBack) {
  std::unique_ptr<ChildProcess> runner = StartRunner();
  EXPECT_EQ(runner->WaitForLine("active", 5s).rfind("active 0", 0), 0u);
  UdpEcho echo(topology_, "10.77.0.1", 7008);
  ASSERT_TRUE(echo.ok()) << echo.error();
  EXPECT_EQ(echo.Exchange(20, 2ms, 2s).answered, 20);

  // Pulled in the middle of a stream: some datagrams may be lost while it moves, none twice,
  // and the stream answers again afterwards.
  UdpEcho::Result result = echo.Exchange(400, 1ms, 2s, [&](int i) {
    if (i == 100) {
      ASSERT_TRUE(topology_.SetLink(0, false));
    }
  });
  EXPECT_EQ(runner->WaitForLine("active", 5s).rfind("active 1", 0), 0u);
  EXPECT_EQ(result.duplicated_answers + result.duplicated_requests, 0);
  // How much of the stream the move costs depends on how soon a busy machine runs the driver, so
  // "answers again" is asked of a stream sent once the driver has said it moved.
  EXPECT_EQ(echo.Exchange(50, 1ms, 2s).answered, 50);

  result = echo.Exchange(400, 1ms, 2s, [&](int i) {
    if (i == 100) {
      ASSERT_TRUE(topology_.SetLink(0, true));
    }
  });
  EXPECT_EQ(runner->WaitForLine("active", 5s).rfind("active 0", 0), 0u);
  EXPECT_EQ(result.duplicated_answers + result.duplicated_requests, 0);
  EXPECT_EQ(echo.Exchange(50, 1ms, 2s).answered, 50);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RunnerTest, ::testing::Values("tc", "tap"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace pairway::driver
