// The MIB modules against the agents they describe: a root prepared by the network setup, its
// agents registered by the link monitor, served by pairway-snmp behind a private snmpd, and
// walked with net-snmp's snmpwalk with the module loaded. Every object answered must have a name
// of the module, and no value may have a type other than the module's (snmpwalk then says "Wrong
// Type"). A module that names a column wrongly, misses one, or gives it another type fails here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "failover_state.h"
#include "temp_root.h"
#include "testing/snmp_master.h"

namespace {

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::SourceDir;
using pairway::testing::TempRoot;
using snmphost::testing::Host;
using snmphost::testing::SnmpMaster;
namespace fs = std::filesystem;

const char kLanView[] = ".1.3.6.1.4.1.32473.3.1.2.1";
const char kFailoverView[] = ".1.3.6.1.4.1.32473.3.1.2.2";
constexpr int kPorts = 3;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// "MODULE::column.index = TYPE: value" -> "column".
std::string ColumnOf(const std::string& line, const std::string& module) {
  std::string name = line.substr(module.size() + 2, line.find(" = ") - module.size() - 2);
  return name.substr(0, name.find('.'));
}

struct Walk {
  int status = -1;
  std::vector<std::string> lines;  // what snmpwalk printed on standard output
  std::string errors;              // and on standard error
};

class MibWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!snmphost::testing::SnmpToolsInstalled()) {
      GTEST_SKIP() << "snmpd or the net-snmp clients are not installed (scripts/install-deps)";
    }
    std::string netsetup = (BuildDir() / "bin" / "pairway-netsetup").string();
    ASSERT_EQ(RunCommand(netsetup + " init --snmp >/dev/null"), 0);
    for (int port = 1; port <= kPorts; ++port) {
      ASSERT_EQ(RunCommand(netsetup + " add-card >/dev/null"), 0);
    }
    // Rows in the multicast table too, from two of the ports.
    ASSERT_EQ(RunCommand(netsetup + " nic 1 set multicast=01005E000001,01005E000002 >/dev/null"),
              0);
    ASSERT_EQ(RunCommand(netsetup + " nic 3 set multicast=333300000001 >/dev/null"), 0);
    ASSERT_TRUE(snmphost::testing::RegisterAgentsByMonitor());
    master_ = std::make_unique<SnmpMaster>();
    ASSERT_TRUE(master_->ok()) << "snmpd did not start";
    host_ = std::make_unique<Host>(master_->agentx_address(), master_->folder() / "host.log");
    ASSERT_TRUE(snmphost::testing::WaitFor([&] {
      std::string out;
      return master_->Client("snmpget -v2c -c public", std::string(kLanView) + ".1.1.7.1", &out) ==
                 0 &&
             out.find("INTEGER: 1") != std::string::npos;
    })) << host_->log();
  }

  // snmpwalk -v2c with `module` loaded from mibs/ (the IETF base modules from mibs/ietf).
  Walk NamedWalk(const std::string& module, const std::string& root) const {
    fs::path mibs = SourceDir() / "mibs";
    fs::path errors = master_->folder() / "walk.err";
    std::string command = "SNMP_PERSISTENT_DIR=" + (master_->folder() / "persist").string() +
                          " snmpwalk -v2c -c public -t 2 -r 1 -m +" + module + " -M " +
                          (mibs / "ietf").string() + ":" + mibs.string() + " " +
                          master_->udp_address() + " " + root + " 2>" + errors.string();
    Walk walk;
    std::string out;
    walk.status = RunCommand(command, &out);
    walk.lines = Lines(out);
    RunCommand("cat " + errors.string(), &walk.errors);
    return walk;
  }

  // The names of a numeric walk of `view` through the same master: what the agent answers.
  std::vector<std::string> NumericWalk(const std::string& view) const {
    std::string out;
    EXPECT_EQ(master_->Client("snmpwalk -v2c -c public", view, &out), 0) << out;
    std::vector<std::string> names;
    for (const std::string& line : Lines(out)) {
      if (line.find(" = ") != std::string::npos) names.push_back(line.substr(0, line.find(" = ")));
    }
    return names;
  }

  // Checks that `walk` of `module` names every object of the agent's numeric walk of `view`
  // and types none of them wrongly; returns the columns it saw.
  std::set<std::string> ExpectNamedAndTyped(const Walk& walk, const std::string& module,
                                            const std::string& view) const {
    EXPECT_EQ(walk.status, 0) << walk.errors;
    // The machine may lack other modules of net-snmp's default list; ours and their imports
    // must all be read.
    for (const std::string& line : Lines(walk.errors)) {
      EXPECT_EQ(line.find("PAIRWAY"), std::string::npos) << line;
      EXPECT_EQ(line.find("SNMPv2-SMI"), std::string::npos) << line;
      EXPECT_EQ(line.find("SNMPv2-TC"), std::string::npos) << line;
      EXPECT_EQ(line.find("SNMPv2-CONF"), std::string::npos) << line;
    }
    std::set<std::string> columns;
    for (const std::string& line : walk.lines) {
      EXPECT_EQ(line.rfind(module + "::", 0), 0u) << "no name in " << module << ": " << line;
      EXPECT_EQ(line.find("Wrong Type"), std::string::npos) << line;
      EXPECT_NE(line.find(" = "), std::string::npos) << line;
      if (line.rfind(module + "::", 0) == 0 && line.find(" = ") != std::string::npos) {
        columns.insert(ColumnOf(line, module));
      }
    }
    EXPECT_EQ(walk.lines.size(), NumericWalk(view).size()) << "the named walk lost objects";
    return columns;
  }

  std::string Text(const Walk& walk) const {
    std::string text;
    for (const std::string& line : walk.lines) text += line + "\n";
    return text;
  }

  TempRoot root_;
  std::unique_ptr<SnmpMaster> master_;
  std::unique_ptr<Host> host_;
};

TEST_F(MibWalkTest, TheLanAdapterModuleNamesAndTypesEveryObjectTheAgentAnswers) {
  const std::string module = "PAIRWAY-LAN-ADAPTER-MIB";
  Walk walk = NamedWalk(module, module + "::pwLanAdapterMib");
  std::set<std::string> columns = ExpectNamedAndTyped(walk, module, kLanView);
  // Every column of the agent's table was answered: 56, the multicast ones included.
  EXPECT_EQ(columns.size(), 56u);
  EXPECT_TRUE(columns.count("pwLanMulticastAddress"));
  // The index columns echo the port, the rows of the multicast table name their owner.
  std::string text = Text(walk);
  EXPECT_NE(text.find(module + "::pwLanComponentIndex.3 = INTEGER: 3\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find(module + "::pwLanResourceSize.2.2 = INTEGER: 128\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find(module + "::pwLanMulticastPort.3 = INTEGER: 3\n"), std::string::npos) << text;
  EXPECT_NE(text.find(module + "::pwLanManufacturer.1 = STRING: Corvane, Inc.\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(module + "::pwLanPacketsSent.1 = Counter32: "), std::string::npos) << text;
}

// A driver stand-in that publishes one group of the root's three ports, as the failover engine
// does: the primary TREVAN3 without a link, TREVAN1 carrying the traffic, TREVAN2's interface
// gone.
std::unique_ptr<pairway::driver::StatePublisher> PublishGroup(const fs::path& root) {
  using namespace pairway::driver;
  std::string error;
  auto driver = StatePublisher::Claim(root, &error);
  EXPECT_NE(driver, nullptr) << error;
  if (driver == nullptr) return nullptr;
  FailoverState state;
  state.pid = getpid();
  GroupStatus group;
  group.name = "Uplink";
  group.head = "TREVAN3";
  group.backend = "emulated";
  group.active = "TREVAN1";
  group.link_check_timeout_s = 2;
  group.up = true;
  group.failovers = 1;
  group.link_changes = 3;
  group.members = {{"TREVAN3", "", MemberRole::kPrimary, MemberLink::kDown, false},
                   {"TREVAN1", "", MemberRole::kBackup, MemberLink::kUp, true},
                   {"TREVAN2", "", MemberRole::kBackup, MemberLink::kMissing, false}};
  state.groups = {group};
  EXPECT_TRUE(driver->Publish(state, &error)) << error;
  return driver;
}

TEST_F(MibWalkTest, TheFailoverModuleNamesAndTypesEveryObjectTheAgentAnswers) {
  const std::string module = "PAIRWAY-FAILOVER-MIB";
  auto driver = PublishGroup(root_.path());
  ASSERT_NE(driver, nullptr);
  Walk walk = NamedWalk(module, module + "::pwFailoverMib");
  std::set<std::string> columns = ExpectNamedAndTyped(walk, module, kFailoverView);
  EXPECT_EQ(columns.size(), 13u);  // seven of a group, five of a member, the driver's status
  std::string text = Text(walk);
  for (const char* line :
       {"::pwFoGroupName.3 = STRING: Uplink\n", "::pwFoGroupHead.3 = STRING: TREVAN3\n",
        "::pwFoGroupActivePort.3 = STRING: TREVAN1\n",
        "::pwFoGroupLinkCheckTimeOut.3 = Gauge32: 2 seconds\n",
        "::pwFoGroupState.3 = INTEGER: up(1)\n", "::pwFoGroupFailovers.3 = Counter32: 1\n",
        "::pwFoGroupLinkChanges.3 = Counter32: 3\n", "::pwFoMemberGroup.3.2 = STRING: Uplink\n",
        "::pwFoMemberRole.3.3 = INTEGER: primary(1)\n",
        "::pwFoMemberLink.3.2 = INTEGER: missing(3)\n",
        "::pwFoMemberActive.3.1 = INTEGER: true(1)\n",
        "::pwFoMemberActive.3.3 = INTEGER: false(2)\n",
        "::pwFoDriverStatus.0 = INTEGER: running(1)\n"}) {
    EXPECT_NE(text.find(module + line), std::string::npos) << line << text;
  }

  // The driver stops: its groups go, and the status says why the tables are empty.
  driver.reset();
  walk = NamedWalk(module, module + "::pwFailoverMib");
  ExpectNamedAndTyped(walk, module, kFailoverView);
  EXPECT_EQ(Text(walk), module + "::pwFoDriverStatus.0 = INTEGER: stopped(2)\n");
}

}  // namespace
