// pairway-snmp end to end: a private snmpd as master, the host on a test root serving the test
// agents, and net-snmp's own clients asking.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "temp_root.h"
#include "testing/snmp_master.h"
#include "testing/test_agents.h"

namespace snmphost {
namespace {

using pairway::testing::TempRoot;
using testing::Host;
using testing::SnmpMaster;

const char kTestTree[] = ".1.3.6.1.4.1.32473.99";
const char kGoodInteger[] = ".1.3.6.1.4.1.32473.99.1.1.0";

// The names a walk printed, in order ("NAME = TYPE: VALUE" lines).
std::vector<std::string> Names(const std::string& walk) {
  std::vector<std::string> names;
  std::istringstream lines(walk);
  for (std::string line; std::getline(lines, line);) {
    size_t equals = line.find(" = ");
    if (equals != std::string::npos) names.push_back(line.substr(0, equals));
  }
  return names;
}

// The names of one test agent's objects under `view`, in MIB order.
std::vector<std::string> AgentNames(const std::string& view, bool with_counter64) {
  std::vector<std::string> names;
  for (const char* suffix : {"1.0", "2.0", "3.1", "3.2", "4.0", "5.0", "6.0", "7.0", "8.0"}) {
    names.push_back(view + "." + suffix);
  }
  if (!with_counter64) names.pop_back();  // SNMPv1 has no Counter64: the master skips it
  return names;
}

class SnmpHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::SnmpToolsInstalled()) {
      GTEST_SKIP() << "snmpd or the net-snmp clients are not installed (scripts/install-deps)";
    }
    master_ = std::make_unique<SnmpMaster>();
    ASSERT_TRUE(master_->ok()) << "snmpd did not start";
  }

  // Lists the agents, in this order, as ExtensionAgents entries 1, 2, ...
  void ListAgents(const std::vector<std::string>& variants) {
    int entry = 1;
    for (const std::string& variant : variants)
      testing::ListTestAgent(root_, variant, std::to_string(entry++));
  }
  // Lists the agents and starts the host.
  void StartHost(const std::vector<std::string>& variants) {
    ListAgents(variants);
    host_ = std::make_unique<Host>(master_->agentx_address(), master_->folder() / "host.log");
  }

  bool Serves(const std::string& name) {
    std::string out;
    return master_->Client("snmpget -v2c -c public", name, &out) == 0 &&
           out.find("No Such") == std::string::npos;
  }

  std::string Ask(const std::string& tool, const std::string& args, int* status = nullptr) {
    std::string out;
    int result = master_->Client(tool, args, &out);
    if (status != nullptr) *status = result;
    return out;
  }

  TempRoot root_;
  std::unique_ptr<SnmpMaster> master_;
  std::unique_ptr<Host> host_;
};

// The same walks whether each agent runs in a process of its own or all in the host's.
TEST_F(SnmpHostTest, WalksVisitEveryInstanceOnceInOrderAndSkipAgentsThatCannotServe) {
  ListAgents({"good", "garbage", "second", "declines", "crashes_on_init", "crashes_on_load"});
  for (bool in_process : {false, true}) {
    SCOPED_TRACE(in_process ? "--in-process" : "one process per agent");
    host_ = std::make_unique<Host>(
        master_->agentx_address(), master_->folder() / (in_process ? "host-in.log" : "host.log"),
        in_process ? std::vector<std::string>{"--in-process"} : std::vector<std::string>{});
    ASSERT_TRUE(testing::WaitFor([&] { return Serves(kGoodInteger); })) << host_->log();

    std::vector<std::string> expected = AgentNames(".1.3.6.1.4.1.32473.99.1", true);
    std::vector<std::string> second = AgentNames(".1.3.6.1.4.1.32473.99.3", true);
    expected.insert(expected.end(), second.begin(), second.end());
    for (const char* tool : {"snmpwalk -v2c -c public", "snmpbulkwalk -v2c -c public"}) {
      SCOPED_TRACE(tool);
      int status = -1;
      std::string walk = Ask(tool, kTestTree, &status);
      EXPECT_EQ(status, 0) << walk;
      EXPECT_EQ(Names(walk), expected) << walk;
      EXPECT_EQ(walk.find("not increasing"), std::string::npos) << walk;
    }
    std::vector<std::string> v1 = AgentNames(".1.3.6.1.4.1.32473.99.1", false);
    std::vector<std::string> v1_second = AgentNames(".1.3.6.1.4.1.32473.99.3", false);
    v1.insert(v1.end(), v1_second.begin(), v1_second.end());
    EXPECT_EQ(Names(Ask("snmpwalk -v1 -c public", kTestTree)), v1);

    // Past the last view the walk goes on into the master's own MIB.
    std::string next = Ask("snmpgetnext -v2c -c public", ".1.3.6.1.4.1.32473.99.3.8.0");
    ASSERT_EQ(Names(next).size(), 1u) << next;
    EXPECT_GT(Names(next)[0], std::string(".1.3.6.1.4.1.32473.99.4")) << next;
    EXPECT_EQ(next.find("No more variables"), std::string::npos) << next;

    std::string log = host_->log();
    EXPECT_NE(log.find("declines.dll left out: SnmpExtensionInit returned FALSE"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("crashes_on_init.dll left out: it crashed"), std::string::npos) << log;
    EXPECT_NE(log.find("crashes_on_load.dll left out: it crashed"), std::string::npos) << log;
    EXPECT_EQ(host_->Stop(), 0);
  }
}

TEST_F(SnmpHostTest, GetAnswersValuesAndRefusesNonInstancesGarbageAndSet) {
  StartHost({"good", "garbage"});
  ASSERT_TRUE(testing::WaitFor([&] { return Serves(kGoodInteger); })) << host_->log();

  EXPECT_EQ(Ask("snmpget -v2c -c public -Oqv",
                std::string(kGoodInteger) + " .1.3.6.1.4.1.32473.99.1.2.0 " +
                    ".1.3.6.1.4.1.32473.99.1.3.2 .1.3.6.1.4.1.32473.99.1.5.0"),
            "-42\n\"pairway\"\n4294967295\n127.0.0.1\n");

  // A name that is no instance: noSuchInstance for v2c, noSuchName (index 1) for v1.
  EXPECT_NE(Ask("snmpget -v2c -c public", ".1.3.6.1.4.1.32473.99.1.1").find("No Such Instance"),
            std::string::npos);
  int status = 0;
  std::string v1 = Ask("snmpget -v1 -c public", ".1.3.6.1.4.1.32473.99.1.1", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(v1.find("noSuchName"), std::string::npos) << v1;

  // Answers the host cannot pass on are a general error, and the host lives on.
  for (const char* broken :
       {".1.3.6.1.4.1.32473.99.2.1.0", ".1.3.6.1.4.1.32473.99.2.2.0", ".1.3.6.1.4.1.32473.99.2.3.0",
        ".1.3.6.1.4.1.32473.99.2.4.0", ".1.3.6.1.4.1.32473.99.2.5.0"}) {
    std::string out = Ask("snmpget -v2c -c public", broken, &status);
    EXPECT_NE(out.find("genErr"), std::string::npos) << broken << ": " << out;
  }
  EXPECT_TRUE(host_->running());

  // The MIB is read-only: both versions refuse the SET and the value stays.
  for (const char* version : {"-v1", "-v2c"}) {
    std::string out = Ask(std::string("snmpset ") + version + " -c private",
                          ".1.3.6.1.4.1.32473.99.1.1.0 i 7", &status);
    EXPECT_NE(status, 0) << out;
    EXPECT_NE(out.find("Error in packet"), std::string::npos) << out;
  }
  EXPECT_EQ(Ask("snmpget -v2c -c public -Oqv", kGoodInteger), "-42\n");
  EXPECT_EQ(host_->Stop(), 0);
}

TEST_F(SnmpHostTest, ServesAgainAfterTheMasterRestartsOrDiesUnderIt) {
  StartHost({"good"});
  ASSERT_TRUE(testing::WaitFor([&] { return Serves(kGoodInteger); })) << host_->log();

  master_->Stop(SIGTERM);
  ASSERT_TRUE(master_->Start());
  EXPECT_TRUE(testing::WaitFor([&] { return Serves(kGoodInteger); })) << host_->log();

  // A master killed outright leaves the host writing to a dead socket: no SIGPIPE death.
  master_->Stop(SIGKILL);
  ASSERT_TRUE(testing::WaitFor([&] {
    return host_->log().find("NET-SNMP version 5.9.3 AgentX subagent connected") !=
           std::string::npos;
  }));
  std::this_thread::sleep_for(std::chrono::seconds(3));  // several pings into the void
  EXPECT_TRUE(host_->running()) << host_->log();
  ASSERT_TRUE(master_->Start());
  EXPECT_TRUE(testing::WaitFor([&] { return Serves(kGoodInteger); })) << host_->log();
  EXPECT_EQ(host_->Stop(), 0);
}

TEST_F(SnmpHostTest, StartsBeforeItsMasterAndConnectsWhenItComes) {
  master_->Stop(SIGTERM);
  StartHost({"good"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(host_->running()) << host_->log();
  ASSERT_TRUE(master_->Start());
  EXPECT_TRUE(testing::WaitFor([&] { return Serves(kGoodInteger); })) << host_->log();
}

// Agents that crash or hang on every request, or write junk on their channel, cost their own
// view only: the good agent answers through all of it, and so does the host.
TEST_F(SnmpHostTest, AgentsThatCrashOrHangOnEveryRequestLeaveTheOthersAnswering) {
  StartHost({"crashes_on_query", "good", "hangs", "scribbles"});
  ASSERT_TRUE(testing::WaitFor([&] { return Serves(kGoodInteger); })) << host_->log();
  const std::string crash = ".1.3.6.1.4.1.32473.99.0.1.0";
  const std::string hang = ".1.3.6.1.4.1.32473.99.7.1.0";
  const std::string scribble = ".1.3.6.1.4.1.32473.99.8.1.0";

  for (const std::string& failing : {crash, hang, scribble}) {
    std::string out = Ask("snmpget -v2c -c public", failing);
    EXPECT_NE(out.find("genErr"), std::string::npos) << failing << ": " << out;
    EXPECT_EQ(Ask("snmpget -v2c -c public -Oqv", kGoodInteger), "-42\n");
  }
  // While the crashing agent is down its view is absent: a GET says so and a GETNEXT goes on
  // to the good agent's first object. The agent starts again once its back-off has passed, in its
  // own time, and then crashes on the GETNEXT (genErr): only that, seen in the log, lets the
  // test try again, with the doubled back-off giving it longer to find the agent down.
  auto crashes_on_next = [&] {
    const std::string crashed = "crashes_on_query.dll crashed (Aborted) during GETNEXT";
    std::string log = host_->log();
    size_t seen = 0;
    for (size_t at = log.find(crashed); at != std::string::npos; at = log.find(crashed, at + 1)) {
      ++seen;
    }
    return seen;
  };
  std::string absent, next;
  for (int tries = 0; tries < 5; ++tries) {
    absent = Ask("snmpget -v2c -c public", crash);
    if (absent.find("No Such Object") == std::string::npos) continue;  // it was back, and crashed
    size_t before = crashes_on_next();
    next = Ask("snmpgetnext -v2c -c public", ".1.3.6.1.4.1.32473.99.0");
    if (next.find("genErr") == std::string::npos || crashes_on_next() == before) break;
  }
  EXPECT_NE(absent.find("No Such Object"), std::string::npos) << absent << host_->log();
  EXPECT_EQ(Names(next), std::vector<std::string>{std::string(kGoodInteger)})
      << next << host_->log();
  int status = 0;
  std::string v1 = Ask("snmpget -v1 -c public", crash + " " + kGoodInteger, &status);
  EXPECT_NE(status, 0) << v1;

  // Every agent is asked again and again while the failing ones are started, crash or time
  // out again; the good one answers every time, a whole walk of it included.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  while (std::chrono::steady_clock::now() < until) {
    Ask("snmpget -v2c -c public", crash + " " + hang + " " + scribble);
    ASSERT_EQ(Ask("snmpget -v2c -c public -Oqv", kGoodInteger), "-42\n") << host_->log();
    ASSERT_EQ(Names(Ask("snmpwalk -v2c -c public", ".1.3.6.1.4.1.32473.99.1")),
              AgentNames(".1.3.6.1.4.1.32473.99.1", true));
  }
  EXPECT_TRUE(host_->running());

  std::string log = host_->log();
  EXPECT_NE(log.find("crashes_on_query.dll crashed (Aborted) during GET " + crash.substr(1) +
                     "; starting it again in 1 s"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("crashes_on_query.dll started again"), std::string::npos) << log;
  EXPECT_NE(log.find("; starting it again in 2 s"), std::string::npos) << log;
  EXPECT_NE(log.find("hangs.dll did not answer GET " + hang.substr(1) + " within 500 ms"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("scribbles.dll sent what is no answer"), std::string::npos) << log;
  EXPECT_EQ(host_->Stop(), 0);
}

TEST(SnmpHostCommandLine, HelpUsageAndMissingRoot) {
  std::string program = (pairway::testing::BuildDir() / "bin" / "pairway-snmp").string();
  std::string out;
  EXPECT_EQ(pairway::testing::RunCommand(program + " --help", &out), 0);
  EXPECT_NE(out.find("Usage: pairway-snmp"), std::string::npos);
  EXPECT_EQ(pairway::testing::RunCommand(program + " --bogus 2>/dev/null"), 2);
  EXPECT_EQ(pairway::testing::RunCommand(program + " -x 2>/dev/null"), 2);
  EXPECT_EQ(pairway::testing::RunCommand("env -u PAIRWAY_ROOT " + program + " -f 2>/dev/null"), 2);
}

}  // namespace
}  // namespace snmphost
