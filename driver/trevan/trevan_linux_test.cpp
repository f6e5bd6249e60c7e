// The driver service on Linux interfaces, end to end: a fresh root whose two ports are veths of a
// host namespace (testing/topology.h), the service manager and the driver running in that
// namespace, a client across the switch talking to the group's address while the switch takes
// the members' links down and up, and the host as it was once the driver stops or is killed.
#include <signal.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "child_process.h"
#include "failover_state.h"
#include "testing/snmp_master.h"
#include "temp_root.h"
#include "topology.h"

namespace pairway::driver {
namespace {

using pairway::testing::BuildDir;
using pairway::testing::ChildProcess;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;
using pairway::testing::Topology;
using pairway::testing::UdpEcho;
using namespace std::chrono_literals;

constexpr uint16_t kEchoPort = 7011;

std::string Tool(const std::string& name) { return (BuildDir() / "bin" / name).string(); }

void SetValue(const std::string& path, const char* name, DWORD type, const std::string& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
  RegCloseKey(key);
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

std::string Parameters(int card) {
  return "SYSTEM\\CurrentControlSet\\Services\\TREVAN" + std::to_string(card) + "\\Parameters";
}

FailoverState State(const TempRoot& root) {
  FailoverState state;
  if (ReadFailoverState(root.path(), &state) != StateRead::kOk) return {};
  return state;
}

// Polls the published state until its first group satisfies `check` (about 20 s at most).
bool WaitForGroup(const TempRoot& root, const std::function<bool(const GroupStatus&)>& check) {
  for (int i = 0; i < 2000; ++i) {
    const FailoverState state = State(root);
    if (!state.groups.empty() && check(state.groups[0])) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

bool WaitForNoDriver(const TempRoot& root) {
  for (int i = 0; i < 2000; ++i) {
    FailoverState state;
    if (ReadFailoverState(root.path(), &state) == StateRead::kNoDriver) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

class TrevanLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!topology_.ok()) GTEST_SKIP() << "no namespaces here: " << topology_.error();
    // Members with addresses and MACs of their own, to see them given back.
    ASSERT_EQ(Host("ip addr add 192.168.50.1/24 dev m0"), 0);
    ASSERT_EQ(Host("ip link set m1 address 02:00:00:00:50:02"), 0);
    ASSERT_EQ(Host(Tool("pairway-netsetup") + " init --snmp"), 0);
    ASSERT_EQ(Host(Tool("pairway-netsetup") + " add-card --interface m0"), 0);
    ASSERT_EQ(Host(Tool("pairway-netsetup") + " add-card --interface m1"), 0);
    // TREVAN2 (m1) heads the group, as the configuration page makes the highest instance the
    // head; TREVAN1 (m0) is its backup.
    SetValue(Parameters(1), "AdapterIndex", REG_DWORD, Dword(0));
    SetValue(Parameters(2), "AdapterIndex", REG_DWORD, Dword(1));
    SetValue(Parameters(2), "LinkCheckTimeOut", REG_DWORD, Dword(30));
    SetValue(Parameters(2), "GroupName", REG_SZ, std::string("Team 1/a") + '\0');
    SetValue(Parameters(1), "PrimaryIndex", REG_DWORD, Dword(1));
    SetValue(Parameters(2) + "\\Tcpip", "IPAddress", REG_MULTI_SZ,
             std::string("10.77.0.1\0\0", 11));
    SetValue(Parameters(2) + "\\Tcpip", "SubnetMask", REG_MULTI_SZ,
             std::string("255.255.255.0\0\0", 15));
    m1_mac_ = HostOut("cat /sys/class/net/m1/address");
    scm_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "ip", "netns", "exec", topology_.host().name(), Tool("pairway-scm"), "--foreground"});
    ASSERT_FALSE(scm_->WaitForLine("pairway-scm: ready", 10s).empty());
  }

  void TearDown() override {
    if (scm_) {
      RunCommand(Tool("pairway-sc") + " shutdown >/dev/null 2>&1");
      scm_->Wait();
    }
  }

  // One command in the host namespace (a shell list would run its later commands outside).
  int Host(const std::string& command) { return topology_.host().Exec(command + " >/dev/null"); }
  std::string HostOut(const std::string& command) {
    std::string out;
    topology_.host().Exec(command, &out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  int Sc(const std::string& args) {
    return RunCommand(Tool("pairway-sc") + " " + args + " >/dev/null 2>&1");
  }

  // Starts TREVAN once the manager has taken the exit of the process before it (in its own time).
  bool StartDriver() {
    for (int i = 0; i < 1000; ++i) {
      if (Sc("start TREVAN") == 0) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  // The host as it was before the driver: no group interface, m0's address, m1's MAC.
  void ExpectHostAsBefore() {
    EXPECT_NE(Host("ip link show Team-1-a 2>/dev/null"), 0);
    EXPECT_NE(HostOut("ip -4 -o addr show dev m0").find("192.168.50.1/24"), std::string::npos);
    EXPECT_EQ(HostOut("cat /sys/class/net/m1/address"), m1_mac_);
  }

  TempRoot root_;
  Topology topology_{2};
  std::unique_ptr<ChildProcess> scm_;
  std::string m1_mac_;
};

TEST_F(TrevanLinuxTest, AGroupOfTwoVethsKeepsAnsweringAcrossFailoverAndFailback) {
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) {
    return g.up && g.active == "TREVAN2" && g.interface == "Team-1-a";
  })) << "the group interface is named from \"Team 1/a\" by Linux's rules";
  const GroupStatus made = State(root_).groups[0];
  EXPECT_EQ(made.addresses, std::vector<std::string>{"10.77.0.1/24"});
  EXPECT_EQ(HostOut("cat /sys/class/net/Team-1-a/address"), m1_mac_) << "the head's MAC";
  EXPECT_EQ(HostOut("ip -4 -o addr show dev m0"), "") << "a member holds no address";

  UdpEcho echo(topology_, "10.77.0.1", kEchoPort);
  ASSERT_TRUE(echo.ok()) << echo.error();
  UdpEcho::Result before = echo.Exchange(50, 2ms);
  EXPECT_EQ(before.answered, 50);
  EXPECT_EQ(before.duplicated_answers + before.duplicated_requests, 0);

  // The head loses its link; the 30 s time-out keeps the traffic on it meanwhile.
  ASSERT_TRUE(topology_.SetLink(1, false));
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) { return g.link_changes == 1; }));
  UdpEcho::Result held = echo.Exchange(20, 2ms, 100ms);
  EXPECT_EQ(held.answered, 0) << "no failover before the time-out has passed";
  EXPECT_EQ(State(root_).groups[0].active, "TREVAN2");

  // A time-out of 0, read on PARAMCHANGE while the failover waits: the backup takes over.
  SetValue(Parameters(2), "LinkCheckTimeOut", REG_DWORD, Dword(0));
  ASSERT_EQ(Sc("control TREVAN paramchange"), 0);
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) {
    return g.active == "TREVAN1" && g.failovers == 1 && g.up;
  }));
  UdpEcho::Result after = echo.Exchange(50, 2ms);
  EXPECT_EQ(after.answered, 50);
  EXPECT_EQ(after.duplicated_answers + after.duplicated_requests, 0);
  EXPECT_EQ(topology_.PortOf(m1_mac_), "s0") << "the switch learnt the group's MAC on the backup";

  // Back and forth while the client keeps talking: it gets answers again, never twice.
  UdpEcho::Result across = echo.Exchange(300, 2ms, 300ms, [&](int i) {
    if (i == 50) topology_.SetLink(1, true);
  });
  EXPECT_EQ(across.duplicated_answers + across.duplicated_requests, 0);
  ASSERT_TRUE(WaitForGroup(
      root_, [](const GroupStatus& g) { return g.active == "TREVAN2" && g.failbacks == 1; }));
  UdpEcho::Result back = echo.Exchange(50, 2ms);
  EXPECT_EQ(back.answered, 50);
  EXPECT_EQ(topology_.PortOf(m1_mac_), "s1");
  EXPECT_EQ(State(root_).groups[0].link_changes, 2u);

  ASSERT_EQ(Sc("stop TREVAN"), 0);
  ASSERT_TRUE(WaitForNoDriver(root_));
  ExpectHostAsBefore();
}

TEST_F(TrevanLinuxTest, AKilledDriverIsCleanedUpByTheNextOne) {
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) { return g.up; }));
  const pid_t pid = State(root_).pid;
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(WaitForNoDriver(root_));
  EXPECT_EQ(Host("ip link show Team-1-a"), 0) << "a killed driver leaves its group behind";

  ASSERT_TRUE(StartDriver());
  ASSERT_TRUE(WaitForGroup(root_, [&](const GroupStatus& g) { return g.up; }));
  EXPECT_NE(State(root_).pid, pid);
  UdpEcho echo(topology_, "10.77.0.1", kEchoPort);
  ASSERT_TRUE(echo.ok()) << echo.error();
  EXPECT_EQ(echo.Exchange(30, 2ms).answered, 30);

  // The manager's shutdown stops the driver after the services; nothing is left.
  RunCommand(Tool("pairway-sc") + " shutdown >/dev/null 2>&1");
  scm_->Wait();
  scm_.reset();
  ExpectHostAsBefore();
}

TEST_F(TrevanLinuxTest, AMissingMemberAndALateAddressJoinTheRunningGroup) {
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) { return g.up; }));
  ASSERT_EQ(Sc("stop TREVAN"), 0);
  ASSERT_TRUE(WaitForNoDriver(root_));
  // The backup's interface is elsewhere, and the head has no address yet.
  ASSERT_EQ(Host("ip link set m0 down"), 0);
  ASSERT_EQ(Host("ip link set m0 name m0x"), 0);
  ASSERT_EQ(Host("ip link set m0x up"), 0);
  HKEY tcpip = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (Parameters(2) + "\\Tcpip").c_str(), 0,
                          KEY_ALL_ACCESS, &tcpip),
            ERROR_SUCCESS);
  RegDeleteValueA(tcpip, "IPAddress");
  RegDeleteValueA(tcpip, "SubnetMask");
  RegCloseKey(tcpip);
  ASSERT_TRUE(StartDriver());
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) {
    return g.up && g.active == "TREVAN2" && g.members.size() == 2 &&
           g.members[1].link == MemberLink::kMissing && g.addresses.empty();
  }));
  EXPECT_NE(HostOut("ip -4 -o addr show dev m0x").find("192.168.50.1/24"), std::string::npos)
      << "an interface that is not in the group keeps its address";

  // The address arrives (as set-ip writes it), with a time-out of 0, and the backup comes back.
  SetValue(Parameters(2) + "\\Tcpip", "IPAddress", REG_MULTI_SZ, std::string("10.77.0.1\0\0", 11));
  SetValue(Parameters(2), "LinkCheckTimeOut", REG_DWORD, Dword(0));
  ASSERT_EQ(Sc("control TREVAN paramchange"), 0);
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) {
    return g.addresses == std::vector<std::string>{"10.77.0.1/8"};  // the class mask
  }));
  UdpEcho echo(topology_, "10.77.0.1", kEchoPort);
  ASSERT_TRUE(echo.ok()) << echo.error();
  EXPECT_EQ(echo.Exchange(30, 2ms).answered, 30);
  ASSERT_EQ(Host("ip link set m0x down"), 0);
  ASSERT_EQ(Host("ip link set m0x name m0"), 0);
  ASSERT_EQ(Host("ip link set m0 up"), 0);
  ASSERT_TRUE(WaitForGroup(
      root_, [](const GroupStatus& g) { return g.up && g.members[1].link == MemberLink::kUp; }));
  ASSERT_TRUE(topology_.SetLink(1, false));
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) {
    return g.active == "TREVAN1" && g.up && g.failovers == 1;
  }));
  UdpEcho::Result after = echo.Exchange(30, 2ms);
  EXPECT_EQ(after.answered, 30);
  EXPECT_EQ(after.duplicated_answers + after.duplicated_requests, 0);
  ASSERT_EQ(Sc("stop TREVAN"), 0);
  ASSERT_TRUE(WaitForNoDriver(root_));
  ExpectHostAsBefore();
}

TEST_F(TrevanLinuxTest, AMemberThatBelongsToABridgeIsLeftAloneAndAReadLaterTriesAgain) {
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) { return g.up; }));
  ASSERT_EQ(Sc("stop TREVAN"), 0);
  ASSERT_TRUE(WaitForNoDriver(root_));
  ASSERT_EQ(Host("ip link add brx type bridge"), 0);
  ASSERT_EQ(Host("ip link set m0 master brx"), 0);
  ASSERT_TRUE(StartDriver());
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) {
    return !g.up && g.interface.empty() && g.backend == "none";
  }));
  EXPECT_NE(Host("ip link show Team-1-a"), 0);
  EXPECT_NE(HostOut("ip -4 -o addr show dev m0").find("192.168.50.1/24"), std::string::npos)
      << "the bridge's port is not touched";

  ASSERT_EQ(Host("ip link set m0 nomaster"), 0);
  ASSERT_EQ(Sc("control TREVAN paramchange"), 0);
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) {
    return g.up && g.interface == "Team-1-a" && g.backend != "none";
  }));
  ASSERT_EQ(Sc("stop TREVAN"), 0);
  ASSERT_TRUE(WaitForNoDriver(root_));
  ExpectHostAsBefore();
}

// What a manager sees through snmpd: the failover MIB's group row, read by name.
std::string MibValue(const snmphost::testing::SnmpMaster& master, const std::string& object) {
  const std::filesystem::path mibs = pairway::testing::SourceDir() / "mibs";
  std::string out;
  RunCommand("SNMP_PERSISTENT_DIR=" + (master.folder() / "persist").string() +
                 " snmpget -v2c -c public -t 2 -r 1 -Oqv -m +PAIRWAY-FAILOVER-MIB -M " +
                 (mibs / "ietf").string() + ":" + mibs.string() + " " + master.udp_address() +
                 " PAIRWAY-FAILOVER-MIB::" + object + " 2>/dev/null",
             &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  if (out.size() >= 2 && out.front() == '"' && out.back() == '"')
    out = out.substr(1, out.size() - 2);
  return out;
}

TEST_F(TrevanLinuxTest, TheFailoverMibAndPairwayctlAgreeWithThePublishedStateAcrossAFailover) {
  if (!snmphost::testing::SnmpToolsInstalled()) GTEST_SKIP() << "no snmpd or net-snmp clients";
  ASSERT_TRUE(WaitForGroup(root_, [](const GroupStatus& g) { return g.up; }));
  ASSERT_TRUE(snmphost::testing::RegisterAgentsByMonitor());
  snmphost::testing::SnmpMaster master;
  ASSERT_TRUE(master.ok());
  snmphost::testing::Host host(master.agentx_address(), master.folder() / "host.log");
  ASSERT_TRUE(snmphost::testing::WaitFor([&] {
    return MibValue(master, "pwFoGroupActivePort.2") == "TREVAN2";
  })) << MibValue(master, "pwFoGroupActivePort.2")
      << "\n"
      << host.log();
  EXPECT_EQ(MibValue(master, "pwFoGroupFailovers.2"), "0");

  SetValue(Parameters(2), "LinkCheckTimeOut", REG_DWORD, Dword(0));
  ASSERT_EQ(Sc("control TREVAN paramchange"), 0);
  ASSERT_TRUE(topology_.SetLink(1, false));
  ASSERT_TRUE(WaitForGroup(
      root_, [](const GroupStatus& g) { return g.active == "TREVAN1" && g.failovers == 1; }));
  UdpEcho echo(topology_, "10.77.0.1", kEchoPort);
  ASSERT_TRUE(echo.ok()) << echo.error();
  EXPECT_EQ(echo.Exchange(30, 2ms).answered, 30);
  EXPECT_EQ(MibValue(master, "pwFoGroupActivePort.2"), "TREVAN1");
  EXPECT_EQ(MibValue(master, "pwFoGroupFailovers.2"), "1");
  EXPECT_EQ(MibValue(master, "pwFoMemberActive.2.1"), "true");
  EXPECT_EQ(MibValue(master, "pwFoMemberLink.2.2"), "down");
  host.Stop();

  // And pairwayctl, the scripting interface, says the same.
  std::string out;
  ASSERT_EQ(RunCommand("QT_QPA_PLATFORM=offscreen " + Tool("pairwayctl") + " show --json", &out),
            0);
  const nlohmann::json show = nlohmann::json::parse(out, nullptr, false);
  ASSERT_FALSE(show.is_discarded()) << out;
  ASSERT_EQ(show["groups"].size(), 1u) << out;
  const nlohmann::json& group = show["groups"][0];
  EXPECT_EQ(group["active"], "TREVAN1") << out;
  EXPECT_EQ(group["failovers"], 1) << out;
  EXPECT_EQ(group["interface"], "Team-1-a") << out;
}

}  // namespace
}  // namespace pairway::driver
