#include "standbyag.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "failover_state.h"
#include "pairway/host_nic.h"
#include "pairway/nic_state.h"
#include "temp_root.h"
#include "test_hive.h"
#include "test_netns.h"

namespace {

using aggcfg_test::AddCard;
using aggcfg_test::MakeBackupPort;
using aggcfg_test::MakePrimaryPort;
using aggcfg_test::ParamsKey;
using aggcfg_test::SetText;
using pairway::testing::TempRoot;
using pairway::testing::TestNamespace;

using EntryPoint = int(WINAPI*)(DWORD, LPCSTR, LPCSTR, DWORD, DWORD, DWORD*, DWORD*);

// A machine with the library installed and loaded by name, as the configuration library and the
// SNMP host load it.
class StandbyLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pairway::testing::InstallInSystemDir(root_, "standbyag.dll",
                                         pairway::testing::BuildDir() / "lib/standbyag.so");
    library_ = LoadLibraryA("standbyag.dll");
    ASSERT_NE(library_, nullptr);
    entry_ = reinterpret_cast<EntryPoint>(GetProcAddress(library_, "PairwayMibLocalInterface"));
    ASSERT_NE(entry_, nullptr);
  }
  void TearDown() override {
    if (library_ != nullptr) FreeLibrary(library_);
  }

  // An emulated port of card `card`, as the network setup installs it: the driver's device
  // exists, its MS-DOS name not yet (the library defines it when it first needs it).
  void AddPort(int card) {
    const std::string service = "TREVAN" + std::to_string(card);
    AddCard(card);
    ASSERT_EQ(pairway::WriteNicState(root_.path(), service, pairway::DefaultNicState(card)), 0u);
  }

  void SetField(int card, const std::string& assignment) {
    const std::string service = "TREVAN" + std::to_string(card);
    pairway::NicState state;
    ASSERT_EQ(pairway::ReadNicState(root_.path(), service, &state), 0u);
    std::string error;
    ASSERT_EQ(pairway::SetNicField(&state, assignment, &error), 0u) << error;
    ASSERT_EQ(pairway::WriteNicState(root_.path(), service, state), 0u);
  }

  // Traffic of a port: each kind of frame carries a share of the bytes.
  void SetTraffic(int card, uint64_t sent, uint64_t received) {
    SetField(card, "OID_GEN_DIRECTED_BYTES_XMIT=" + std::to_string(sent - 3));
    SetField(card, "OID_GEN_MULTICAST_BYTES_XMIT=2");
    SetField(card, "OID_GEN_BROADCAST_BYTES_XMIT=1");
    SetField(card, "OID_GEN_DIRECTED_BYTES_RCV=" + std::to_string(received - 30));
    SetField(card, "OID_GEN_MULTICAST_BYTES_RCV=20");
    SetField(card, "OID_GEN_BROADCAST_BYTES_RCV=10");
  }

  // The answer to one query, or -1 for a failed one (whose result must stay as it was).
  long long Ask(DWORD code, const char* group, const char* port) {
    DWORD result = 0xDEADBEEF, length = 4;
    if (!entry_(code, group, port, 0, 0, &result, &length)) {
      EXPECT_EQ(result, 0xDEADBEEFu);
      EXPECT_EQ(length, 4u);
      return -1;
    }
    EXPECT_EQ(length, 4u);
    return result;
  }

  TempRoot root_;
  HMODULE library_ = nullptr;
  EntryPoint entry_ = nullptr;
};

TEST_F(StandbyLibraryTest, PortFiguresSumEveryKindOfFrameAndFollowTheLink) {
  AddPort(3);
  SetTraffic(3, 5000, 7000);
  EXPECT_EQ(Ask(kPortBytesSent, nullptr, "TREVAN3"), 5000);
  EXPECT_EQ(Ask(kPortBytesReceived, nullptr, "TREVAN3"), 7000);
  EXPECT_EQ(Ask(kPortLinkState, nullptr, "TREVAN3"), 1);
  SetField(3, "link=down");
  EXPECT_EQ(Ask(kPortLinkState, nullptr, "TREVAN3"), 0);
  // A counter past 32 bits wraps as a 32-bit counter does.
  SetTraffic(3, (1ull << 32) + 9, 40);
  EXPECT_EQ(Ask(kPortBytesSent, nullptr, "TREVAN3"), 9);
}

TEST_F(StandbyLibraryTest, GroupFiguresSumThePrimaryAndItsBackupsOnly) {
  for (int card : {1, 2, 3, 4}) AddPort(card);
  MakePrimaryPort(4, 7, 30, "Group1");
  MakeBackupPort(1, 5, 7);
  MakePrimaryPort(2, 6, 30, "Other");
  MakeBackupPort(3, 8, 6);
  SetTraffic(1, 100, 1000);
  SetTraffic(2, 200, 2000);
  SetTraffic(3, 400, 4000);
  SetTraffic(4, 800, 8000);
  EXPECT_EQ(Ask(kGroupBytesSent, "Group1", nullptr), 900);
  EXPECT_EQ(Ask(kGroupBytesReceived, "Group1", nullptr), 9000);
  EXPECT_EQ(Ask(kGroupBytesSent, "Other", nullptr), 600);
  // Group names are texts of the page, compared as typed.
  EXPECT_EQ(Ask(kGroupBytesSent, "group1", nullptr), -1);
}

TEST_F(StandbyLibraryTest, AGroupWithAPortThatDoesNotAnswerHasNoFigure) {
  AddPort(1);
  AddCard(2);  // a card without a device
  MakePrimaryPort(2, 1, 30, "Group1");
  MakeBackupPort(1, 0, 1);
  EXPECT_EQ(Ask(kGroupBytesSent, "Group1", nullptr), -1);
  AddPort(2);
  EXPECT_EQ(Ask(kGroupBytesSent, "Group1", nullptr), 0);
  SetField(1, "silent=1");
  EXPECT_EQ(Ask(kGroupBytesReceived, "Group1", nullptr), -1);
}

TEST_F(StandbyLibraryTest, BadQueriesFailAndLeaveTheResultAlone) {
  AddPort(1);
  MakePrimaryPort(1, 0, 30, "Group1");
  EXPECT_EQ(Ask(11, "Group1", "TREVAN1"), -1);                 // no such code
  EXPECT_EQ(Ask(kPortBytesSent, "Group1", nullptr), -1);       // a port query without a port
  EXPECT_EQ(Ask(kGroupBytesSent, nullptr, "TREVAN1"), -1);     // a group query without a group
  EXPECT_EQ(Ask(kPortBytesSent, nullptr, "TREVAN9"), -1);      // no such port
  EXPECT_EQ(Ask(kPortBytesSent, nullptr, "Group1"), -1);       // a group is no port
  EXPECT_EQ(Ask(kPortLinkState, nullptr, "..\\TREVAN1"), -1);  // not a plain name
  EXPECT_EQ(Ask(kPortLinkState, nullptr, std::string(64, 'A').c_str()), -1);

  DWORD result = 5, length = 3;
  EXPECT_EQ(entry_(kPortLinkState, nullptr, "TREVAN1", 0, 0, &result, &length), 0);
  EXPECT_EQ(result, 5u);
  EXPECT_EQ(entry_(kPortLinkState, nullptr, "TREVAN1", 0, 0, nullptr, &length), 0);
  EXPECT_EQ(entry_(kPortLinkState, nullptr, "TREVAN1", 0, 0, &result, nullptr), 0);
}

// A port served from a Linux interface counts all its bytes as directed ones and has no
// multicast or broadcast byte counters: its figures are there all the same.
TEST_F(StandbyLibraryTest, APortOnALinuxInterfaceHasFiguresAndALink) {
  TestNamespace netns;
  if (!netns.ok()) GTEST_SKIP() << "no network namespace can be made here: " << netns.error();
  ASSERT_EQ(netns.Exec("sh -c 'ip link add va type veth peer name vb && ip link set va up && "
                       "ip link set vb up'"),
            0);
  AddCard(1);
  SetText(ParamsKey(1), pairway::kHostInterfaceValue, "va");
  ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "TREVAN1", "\\Device\\TREVAN1"));
  // The link state of the far end reaches the near one after a moment.
  auto link_within = [this](long long wanted) {
    for (int i = 0; i < 100; ++i) {
      if (Ask(kPortLinkState, nullptr, "TREVAN1") == wanted) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  };
  ASSERT_TRUE(netns.Run([&] {
    EXPECT_TRUE(link_within(1));
    EXPECT_GE(Ask(kPortBytesSent, nullptr, "TREVAN1"), 0);
    EXPECT_GE(Ask(kPortBytesReceived, nullptr, "TREVAN1"), 0);
    ASSERT_EQ(netns.Exec("ip link set vb down"), 0);
    EXPECT_TRUE(link_within(0));
  }));
}

// Bindings with the given names and empty values, in helper blocks as the SNMP service makes
// them; freed with the object.
class Bindings {
 public:
  explicit Bindings(const std::vector<std::vector<UINT>>& names) : bindings_(names.size()) {
    for (size_t i = 0; i < names.size(); ++i) {
      AsnObjectIdentifier name{static_cast<UINT>(names[i].size()),
                               const_cast<UINT*>(names[i].data())};
      EXPECT_TRUE(SnmpUtilOidCpy(&bindings_[i].name, &name));
    }
    list_ = {bindings_.data(), static_cast<UINT>(bindings_.size())};
  }
  ~Bindings() {
    for (SnmpVarBind& binding : bindings_) SnmpUtilVarBindFree(&binding);
  }
  SnmpVarBindList* list() { return &list_; }
  const SnmpVarBind& operator[](size_t i) const { return bindings_[i]; }

 private:
  std::vector<SnmpVarBind> bindings_;
  SnmpVarBindList list_{};
};

std::vector<UINT> FailoverName(std::vector<UINT> suffix) {
  std::vector<UINT> name = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 2};
  name.insert(name.end(), suffix.begin(), suffix.end());
  return name;
}

std::string Text(const SnmpVarBind& binding) {
  EXPECT_EQ(binding.value.asnType, ASN_OCTETSTRING);
  return std::string(reinterpret_cast<const char*>(binding.value.asnValue.string.stream),
                     binding.value.asnValue.string.length);
}

TEST_F(StandbyLibraryTest, TheSnmpEntryPointsAnswerTheGroupsOfTheRunningDriver) {
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(library_, "SnmpExtensionInit"));
  auto query =
      reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(library_, "SnmpExtensionQuery"));
  auto trap = reinterpret_cast<PFNSNMPEXTENSIONTRAP>(GetProcAddress(library_, "SnmpExtensionTrap"));
  ASSERT_NE(init, nullptr);
  ASSERT_NE(query, nullptr);
  ASSERT_NE(trap, nullptr);
  HANDLE event = reinterpret_cast<HANDLE>(1);
  AsnObjectIdentifier view = {};
  // The agent starts before any driver: it serves all the same.
  ASSERT_TRUE(init(0, &event, &view));
  EXPECT_EQ(event, nullptr);
  EXPECT_EQ(std::vector<UINT>(view.ids, view.ids + view.idLength), FailoverName({}));
  EXPECT_FALSE(trap(nullptr, nullptr, nullptr, nullptr, nullptr));

  auto driver_status = [&] {
    Bindings status({FailoverName({3, 0})});
    AsnInteger32 error = -1, index = -1;
    EXPECT_TRUE(query(SNMP_PDU_GET, status.list(), &error, &index));
    EXPECT_EQ(error, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(index, -1);  // not written when every binding succeeds
    return status[0].value.asnValue.number;
  };
  EXPECT_EQ(driver_status(), 2);  // stopped

  using namespace pairway::driver;
  std::string error;
  auto driver = StatePublisher::Claim(root_.path(), &error);
  ASSERT_NE(driver, nullptr) << error;
  FailoverState state;
  state.pid = getpid();
  GroupStatus group;
  group.name = "Uplink";
  group.head = "TREVAN2";
  group.active = "TREVAN1";
  group.up = true;
  group.failovers = 1;
  group.members = {{"TREVAN2", "", MemberRole::kPrimary, MemberLink::kDown, false},
                   {"TREVAN1", "", MemberRole::kBackup, MemberLink::kUp, true}};
  state.groups = {group};
  ASSERT_TRUE(driver->Publish(state, &error)) << error;
  EXPECT_EQ(driver_status(), 1);  // running

  // Every binding of a request answered in order; the first failure ends it.
  {
    Bindings get({FailoverName({1, 1, 4, 2}), FailoverName({2, 1, 6, 2, 1})});
    AsnInteger32 status = -1, index = -1;
    EXPECT_TRUE(query(SNMP_PDU_GET, get.list(), &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(Text(get[0]), "TREVAN1");
    EXPECT_EQ(get[1].value.asnValue.number, 1);  // TREVAN1 is active: true
  }
  {
    Bindings get({FailoverName({1, 1, 7, 2}), FailoverName({1, 1, 7, 9}), FailoverName({3, 0})});
    AsnInteger32 status = -1, index = -1;
    EXPECT_TRUE(query(SNMP_PDU_GET, get.list(), &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(get[0].value.asnType, ASN_COUNTER32);
    EXPECT_EQ(get[0].value.asnValue.counter, 1u);
    EXPECT_EQ(get[2].value.asnType, 0);  // untouched, as it was made
  }
  {
    Bindings next({FailoverName({2, 1, 3})});
    AsnInteger32 status = -1, index = -1;
    EXPECT_TRUE(query(SNMP_PDU_GETNEXT, next.list(), &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
    EXPECT_EQ(std::vector<UINT>(next[0].name.ids, next[0].name.ids + next[0].name.idLength),
              FailoverName({2, 1, 3, 2, 1}));
    EXPECT_EQ(Text(next[0]), "TREVAN1");
  }
  // Read-only, and nothing after the driver's status.
  for (auto [pdu, name] : {std::pair{BYTE{SNMP_PDU_SET}, FailoverName({1, 1, 2, 2})},
                           {BYTE{SNMP_PDU_GETNEXT}, FailoverName({3, 0})}}) {
    Bindings refused({name});
    AsnInteger32 status = -1, index = -1;
    EXPECT_TRUE(query(pdu, refused.list(), &status, &index));
    EXPECT_EQ(status, SNMP_ERRORSTATUS_NOSUCHNAME);
    EXPECT_EQ(index, 1);
  }

  driver.reset();  // the driver stops: its groups go with it
  EXPECT_EQ(driver_status(), 2);
}

}  // namespace
