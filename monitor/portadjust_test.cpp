// The adjustment pass: the order of its steps, the backup repair, the reorder switch, and a
// whole pass over a machine with four ports.
#include "portadjust.h"

#include <gtest/gtest.h>

#include <string>

#include "NFC/NetworkAdapter.h"
#include "hive_faults.h"
#include "monitor_test_util.h"
#include "temp_root.h"

namespace {

using namespace monitor_test;
using pairway::testing::TempRoot;

class PortAdjustTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

// Where each line occurs in the trace, for checking the order of steps.
size_t At(const std::string& trace, const std::string& line) {
  size_t position = trace.find(line);
  EXPECT_NE(position, std::string::npos) << "missing: " << line;
  return position;
}

TEST_F(PortAdjustTest, BackupMissingItsRouteEntryIsRepairedOnce) {
  AddCard(1, 1);
  AddCard(2, 1);
  SetDword(ParamsKey(2), VAL_PRIMARY_INDEX, 0);
  SetLinkage({1});
  {
    TraceCapture trace;
    EXPECT_EQ(adjust_backups(), 1);
    EXPECT_EQ(trace.text(),
              "adjust_backups()\n"
              "[2] TREVAN BACKUP adapter\n"
              "Bind rules not present and written\n");
  }
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));
  EXPECT_EQ(Linkage(VAL_BIND), Multi({"\\Device\\TREVAN1", "\\Device\\TREVAN2"}));
  EXPECT_EQ(Linkage(VAL_EXPORT), Multi({"\\Device\\TREVAN1", "\\Device\\TREVAN2"}));

  TraceCapture trace;
  adjust_backups();
  EXPECT_EQ(trace.text(), "adjust_backups()\n[2] TREVAN BACKUP adapter\n");
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));
}

TEST_F(PortAdjustTest, BackupWithItsRouteEntryAndOtherRolesAreLeftAlone) {
  AddCard(1, 1);  // stand-alone, not in the lists
  AddCard(2, 1);
  SetDword(ParamsKey(2), VAL_BACKUP_INDEX, 0);  // PRIMARY
  AddCard(3, 1);
  SetDword(ParamsKey(3), VAL_PRIMARY_INDEX, 0);  // BACKUP, Route entry present
  SetLinkage({3});
  SetBytes(DRIVER_LINKAGE_KEY, VAL_BIND, REG_MULTI_SZ, std::string(1, '\0'));
  adjust_backups();
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN3\""}));
  EXPECT_EQ(Linkage(VAL_BIND), std::string(1, '\0'));  // its missing Bind entry stays missing
}

TEST_F(PortAdjustTest, FailedRepairIsTracedAndTheScanGoesOn) {
  AddCard(1, 1);
  AddCard(2, 1);
  SetDword(ParamsKey(1), VAL_PRIMARY_INDEX, 0);
  SetDword(ParamsKey(2), VAL_PRIMARY_INDEX, 0);
  SetBytes(DRIVER_LINKAGE_KEY, VAL_ROUTE, REG_MULTI_SZ,
           std::string(NA_MULTISZ_SIZE - 2, 'x') + std::string(2, '\0'));
  TraceCapture trace;
  EXPECT_EQ(adjust_backups(), 1);
  EXPECT_EQ(trace.text(),
            "adjust_backups()\n"
            "[1] TREVAN BACKUP adapter\n"
            "Bind rules not present and written\n"
            "writeBindRules failed\n"
            "[2] TREVAN BACKUP adapter\n"
            "Bind rules not present and written\n"
            "writeBindRules failed\n");
}

TEST_F(PortAdjustTest, ReorderFailureIsTraced) {
  AddCard(1, 1);
  SetLinkage({1, 7});
  TraceCapture trace;
  EXPECT_EQ(adjust_port_order(), 0);
  EXPECT_NE(trace.text().find("Linkage reordering failed!\n"), std::string::npos);
  EXPECT_EQ(update_IP_addrs(), 1);
}

TEST_F(PortAdjustTest, NoTrevanCardIsNothingToDo) {
  AddCard(1, 4, "OTHER");
  TraceCapture trace;
  EXPECT_EQ(adjust_port_order(), 1);
  EXPECT_EQ(update_IP_addrs(), 1);
  EXPECT_EQ(trace.text(), "adjust_port_order()\nupdate_IP_addrs()\n");
}

TEST_F(PortAdjustTest, StepsRunInTheirFixedOrder) {
  AddCard(1, 1);
  SetLinkage({1});
  TraceCapture trace;
  run_adjustment_pass(1);
  std::string text = trace.text();
  size_t backups = At(text, "adjust_backups()\n");
  size_t addresses = At(text, "update_IP_addrs()\n");
  size_t order = At(text, "adjust_port_order()\n");
  size_t agents = At(text, "install_SNMP_agents()\n");
  EXPECT_LT(backups, addresses);
  EXPECT_LT(addresses, order);
  EXPECT_LT(order, agents);
}

TEST_F(PortAdjustTest, ReorderSwitchedOffKeepsTheListsAndRunsTheOtherSteps) {
  AddCard(1, 1);
  AddCard(2, 4);
  SetLinkage({1, 2});
  SetBytes(TcpipKey(2), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"10.1.1.2"}));
  TraceCapture trace;
  run_adjustment_pass(0);
  EXPECT_EQ(trace.text().find("adjust_port_order()"), std::string::npos);
  EXPECT_NE(trace.text().find("install_SNMP_agents()"), std::string::npos);
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));
  EXPECT_EQ(GetBytes(ParamsKey(2), VAL_IP_ADDRESS), std::string("10.1.1.2\0", 9));
}

// Four ports, the third in slot 4; port 4 is a backup the setup dropped from the lists, port 2
// has an address. One pass leaves the lists complete, slot 4 first, the address copied and the
// agents listed.
TEST_F(PortAdjustTest, WholePassOverFourPorts) {
  for (int n = 1; n <= 4; n++) AddCard(n, n == 3 ? 4 : 2);
  SetDword(ParamsKey(3), VAL_ADAPTER_INDEX, 2);
  SetDword(ParamsKey(3), VAL_LINK_CHECK_TIMEOUT, 5);
  SetDword(ParamsKey(4), VAL_PRIMARY_INDEX, 2);
  SetLinkage({1, 2, 3});
  SetBytes(TcpipKey(2), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"192.168.7.2"}));
  SetBytes(ParamsKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, std::string("10.9.9.9\0", 9));
  RegCloseKey(CreateKey(SNMP_EXTENSION_AGENTS_KEY));

  run_adjustment_pass(1);

  std::string route = Multi({"\"TREVAN3\"", "\"TREVAN1\"", "\"TREVAN2\"", "\"TREVAN4\""});
  std::string devices =
      Multi({"\\Device\\TREVAN3", "\\Device\\TREVAN1", "\\Device\\TREVAN2", "\\Device\\TREVAN4"});
  EXPECT_EQ(Linkage(VAL_ROUTE), route);
  EXPECT_EQ(Linkage(VAL_BIND), devices);
  EXPECT_EQ(Linkage(VAL_EXPORT), devices);
  EXPECT_EQ(GetBytes(ParamsKey(2), VAL_IP_ADDRESS), std::string("192.168.7.2\0", 12));
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_IP_ADDRESS), "<missing>");
  EXPECT_EQ(GetBytes(SNMP_EXTENSION_AGENTS_KEY, "1"),
            std::string("SOFTWARE\\Corvane\\FailoverMib\\CurrentVersion") + '\0');
  EXPECT_EQ(GetBytes(SNMP_EXTENSION_AGENTS_KEY, "2"),
            std::string("SOFTWARE\\Corvane\\DmiMib\\CurrentVersion") + '\0');
  // The roles themselves are never written by the pass.
  EXPECT_EQ(GetBytes(CardKey(4) + "\\NetRules", VAL_BINDFORM),
            std::string("\"TREVAN4\" yes yes container\0", 28));

  run_adjustment_pass(1);  // a second pass changes nothing
  EXPECT_EQ(Linkage(VAL_ROUTE), route);
  EXPECT_EQ(GetBytes(SNMP_EXTENSION_AGENTS_KEY, "3"), "<missing>");
}

// ---- A hive that refuses writes -------------------------------------------------------------
// Each step traces the write that failed and goes on as far as its rules say; nothing it could
// not write is reported as written.

class RefusedWriteTest : public ::testing::Test {
 protected:
  // Before the root: the hive must be opened through the refusing layer.
  bool faults_ = pairway::testing::InstallHiveFaults();
  TempRoot root_;
};

// Expects `lines` in `trace` in this order.
void ExpectInOrder(const std::string& trace, std::initializer_list<std::string> lines) {
  size_t from = 0;
  for (const std::string& line : lines) {
    size_t at = trace.find(line, from);
    ASSERT_NE(at, std::string::npos) << "missing after offset " << from << ": " << line << "\n"
                                     << trace;
    from = at + line.size();
  }
}

TEST_F(RefusedWriteTest, EveryAddressCopyThatCannotBeWrittenIsTracedAndTheScanGoesOn) {
  ASSERT_TRUE(faults_);
  AddCard(1, 1);
  AddCard(2, 1);
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"192.168.1.10"}));
  SetBytes(TcpipKey(2), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"10.0.0.2"}));
  TraceCapture trace;
  {
    pairway::testing::RefusingHive refusing(0);
    EXPECT_EQ(update_IP_addrs(), 1);
  }
  ExpectInOrder(
      trace.text(),
      {"IPAddress= 192.168.1.10\n", "setParameterValue failed for IPAddress='192.168.1.10'\n",
       "Update IP Address failed for TREVAN instance= 1!\n", "IPAddress= 10.0.0.2\n",
       "setParameterValue failed for IPAddress='10.0.0.2'\n",
       "Update IP Address failed for TREVAN instance= 2!\n"});
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_IP_ADDRESS), "<missing>");
  EXPECT_EQ(GetBytes(ParamsKey(2), VAL_IP_ADDRESS), "<missing>");
}

TEST_F(RefusedWriteTest, LinkageThatCannotBeClearedIsLeftAsItWas) {
  ASSERT_TRUE(faults_);
  AddCard(1, 1);
  AddCard(2, 4);
  SetLinkage({1, 2});
  TraceCapture trace;
  {
    pairway::testing::RefusingHive refusing(0);
    EXPECT_EQ(adjust_port_order(), 0);
  }
  ExpectInOrder(trace.text(), {"TrevanNetworkAdapter entered\n", "clearBindRules failed!\n",
                               "Linkage reordering failed!\n"});
  EXPECT_EQ(trace.text().find("Checking TREVAN Instance#="), std::string::npos);
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));
  EXPECT_EQ(Linkage(VAL_BIND), Multi({"\\Device\\TREVAN1", "\\Device\\TREVAN2"}));
}

// The three lists were cleared (three writes); the first entry written back fails.
TEST_F(RefusedWriteTest, RebuildStopsAtTheFirstEntryThatCannotBeWrittenBack) {
  ASSERT_TRUE(faults_);
  AddCard(1, 1);
  AddCard(2, 4);
  SetLinkage({1});
  {
    TraceCapture trace;
    pairway::testing::RefusingHive refusing(3);
    EXPECT_EQ(adjust_port_order(), 0);
    ExpectInOrder(trace.text(), {"Checking TREVAN Instance#= 1\n",
                                 "Pending Bind writeBindRules failed! adptInst= 1\n",
                                 "Linkage reordering failed!\n"});
    EXPECT_EQ(trace.text().find("Wrote as tail binding"), std::string::npos);
  }
  for (const char* list : {VAL_ROUTE, VAL_BIND, VAL_EXPORT}) {
    EXPECT_EQ(Linkage(list), std::string(1, '\0')) << list;
  }

  SetLinkage({2, 1});
  TraceCapture trace;
  {
    pairway::testing::RefusingHive refusing(3);
    EXPECT_EQ(adjust_port_order(), 0);
  }
  ExpectInOrder(trace.text(),
                {"Checking TREVAN Instance#= 2\n", "Slot#4 writeBindRules failed! adptInst= 2\n",
                 "Linkage reordering failed!\n"});
  EXPECT_EQ(trace.text().find("Checking TREVAN Instance#= 1"), std::string::npos);
}

TEST_F(RefusedWriteTest, BackupWhoseEntriesCannotBeRestoredIsTracedAndTriedAgainNextPass) {
  ASSERT_TRUE(faults_);
  AddCard(1, 1);
  AddCard(2, 1);
  SetDword(ParamsKey(2), VAL_PRIMARY_INDEX, 0);
  SetLinkage({1});
  {
    TraceCapture trace;
    pairway::testing::RefusingHive refusing(0);
    EXPECT_EQ(adjust_backups(), 1);
    ExpectInOrder(trace.text(),
                  {"[2] TREVAN BACKUP adapter\n", "Bind rules not present and written\n",
                   "writeBindRules failed\n"});
  }
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\""}));
  EXPECT_EQ(adjust_backups(), 1);
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));
}

}  // namespace
