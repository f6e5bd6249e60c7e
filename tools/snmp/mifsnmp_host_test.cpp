// The real agent behind the real master: an emulated root prepared by the network setup, its
// agents registered by the link monitor's pass, and walks that show every port.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "binding.h"
#include "temp_root.h"
#include "testing/snmp_master.h"

namespace snmphost {
namespace {

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;
using testing::Host;
using testing::SnmpMaster;

const char kMifView[] = ".1.3.6.1.4.1.32473.3.1.2.1";
constexpr int kPorts = 3;

// "NAME = VALUE" lines -> parsed names, in order.
std::vector<Oid> WalkedNames(const std::string& walk) {
  std::vector<Oid> names;
  std::istringstream lines(walk);
  for (std::string line; std::getline(lines, line);) {
    size_t equals = line.find(" = ");
    if (equals == std::string::npos) continue;
    Oid name;
    std::istringstream ids(line.substr(1, equals - 1));
    for (std::string id; std::getline(ids, id, '.');) name.push_back(std::stoul(id));
    names.push_back(name);
  }
  return names;
}

class MifsnmpHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::SnmpToolsInstalled()) {
      GTEST_SKIP() << "snmpd or the net-snmp clients are not installed (scripts/install-deps)";
    }
    std::string netsetup = (BuildDir() / "bin" / "pairway-netsetup").string();
    ASSERT_EQ(RunCommand(netsetup + " init --snmp >/dev/null"), 0);
    for (int port = 1; port <= kPorts; ++port) {
      ASSERT_EQ(RunCommand(netsetup + " add-card >/dev/null"), 0);
    }
    ASSERT_EQ(RunCommand(netsetup + " nic 2 set OID_GEN_XMIT_OK=4242 >/dev/null"), 0);
    ASSERT_TRUE(testing::RegisterAgentsByMonitor());
    master_ = std::make_unique<SnmpMaster>();
    ASSERT_TRUE(master_->ok()) << "snmpd did not start";
    host_ = std::make_unique<Host>(master_->agentx_address(), master_->folder() / "host.log");
  }

  // True once the agent behind the host answers (port 1's index).
  bool AgentAnswers() {
    return testing::WaitFor([&] {
      std::string out;
      return master_->Client("snmpget -v2c -c public", std::string(kMifView) + ".1.1.7.1", &out) ==
                 0 &&
             out.find("INTEGER: 1") != std::string::npos;
    });
  }

  std::string Walk(const std::string& tool) {
    std::string out;
    EXPECT_EQ(master_->Client(tool, kMifView, &out), 0) << out;
    return out;
  }

  TempRoot root_;
  std::unique_ptr<SnmpMaster> master_;
  std::unique_ptr<Host> host_;
};

TEST_F(MifsnmpHostTest, EveryWalkShowsEveryPortInOrderAndEndsAtTheView) {
  ASSERT_TRUE(AgentAnswers()) << host_->log();

  std::string walk = Walk("snmpwalk -v2c -c public");
  std::vector<Oid> names = WalkedNames(walk);
  ASSERT_FALSE(names.empty()) << walk;
  for (size_t i = 1; i < names.size(); ++i) {
    ASSERT_LT(names[i - 1], names[i]) << "at line " << i << "\n" << walk;
  }
  // The port index column has one instance per port, numbered as the cards.
  for (int port = 1; port <= kPorts; ++port) {
    EXPECT_NE(walk.find(std::string(kMifView) + ".1.1.7." + std::to_string(port) +
                        " = INTEGER: " + std::to_string(port)),
              std::string::npos)
        << walk;
  }
  EXPECT_EQ(walk.find(std::string(kMifView) + ".1.1.7." + std::to_string(kPorts + 1)),
            std::string::npos);
  EXPECT_NE(walk.find("4242"), std::string::npos) << walk;  // the count set on port 2

  // After the last instance a GETNEXT leaves the view for whatever the master holds next.
  std::string last = ".";
  for (uint32_t id : names.back()) last += std::to_string(id) + ".";
  last.pop_back();
  std::string next;
  EXPECT_EQ(master_->Client("snmpgetnext -v2c -c public", last, &next), 0) << next;
  ASSERT_EQ(WalkedNames(next).size(), 1u) << next;
  EXPECT_GT(WalkedNames(next)[0], (Oid{1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 2})) << next;

  // A bulk walk, and one in SNMPv1, see the same instances.
  EXPECT_EQ(WalkedNames(Walk("snmpbulkwalk -v2c -c public")), names);
  EXPECT_EQ(WalkedNames(Walk("snmpwalk -v1 -c public")), names);

  // Both agents of the root are served.
  std::string log = host_->log();
  EXPECT_NE(log.find("serving C:\\WINNT\\System32\\standbyag.dll"), std::string::npos) << log;
  EXPECT_NE(log.find("serving C:\\WINNT\\System32\\mifsnmp.dll"), std::string::npos) << log;
  EXPECT_EQ(host_->Stop(), 0);
}

// Names compare as unsigned 32-bit sub-identifiers everywhere: a sub-identifier of 2^31 or more
// (which the master hands the host sign-extended) is a large number like any other. Each such
// name, in each position below the view, answers GET as absent and GETNEXT with the first walked
// name after it, in both protocol versions; none ends the walk early.
TEST_F(MifsnmpHostTest, SubIdentifiers) {
  ASSERT_TRUE(AgentAnswers()) << host_->log();
  const std::vector<Oid> walk = WalkedNames(Walk("snmpwalk -v2c -c public"));
  ASSERT_FALSE(walk.empty());
  const Oid view = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 1};

  // Bases: a port column (positions 11-14 and one past the instance) and a column of group 3,
  // whose instances have a second index (position 15).
  std::vector<Oid> asked;
  for (const Oid& base : {Oid{1, 1, 2, 1, 1}, Oid{3, 1, 2, 1, 1}}) {
    for (size_t position = 0; position < base.size(); ++position) {
      for (uint32_t big : {0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFFu}) {
        Oid name = view;
        name.insert(name.end(), base.begin(), base.begin() + position);
        name.push_back(big);
        asked.push_back(name);
        if (position + 1 < base.size()) {  // the same with the rest of the base after it
          name.insert(name.end(), base.begin() + position + 1, base.end());
          asked.push_back(name);
        }
      }
    }
  }

  std::vector<std::string> faults;
  for (const Oid& name : asked) {
    std::string text = "." + OidText(name);
    auto after = std::upper_bound(walk.begin(), walk.end(), name);
    for (const char* version : {"-v1", "-v2c"}) {
      std::string out;
      master_->Client(std::string("snmpgetnext ") + version + " -c public", text, &out);
      std::vector<Oid> next = WalkedNames(out);
      if (after != walk.end()) {
        if (next.size() != 1 || next[0] != *after) {
          faults.push_back(std::string("GETNEXT ") + version + " " + text + ": " + out);
        }
      } else if (next.size() == 1 && next[0] < Oid{1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 2}) {
        faults.push_back(std::string("GETNEXT ") + version + " " + text + ": " + out);
      }
      int status = master_->Client(std::string("snmpget ") + version + " -c public", text, &out);
      bool absent = std::string(version) == "-v1"
                        ? status != 0 && out.find("noSuchName") != std::string::npos
                        : out.find("No Such Instance") != std::string::npos;
      if (!absent) faults.push_back(std::string("GET ") + version + " " + text + ": " + out);
    }
  }
  EXPECT_TRUE(faults.empty()) << faults.size() << " of " << asked.size() * 4 << " failed:\n"
                              << ::testing::PrintToString(faults);
  EXPECT_TRUE(host_->running());
}

}  // namespace
}  // namespace snmphost
