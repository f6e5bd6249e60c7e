#include "driver_access.h"

#include <ntddndis.h>

#include <gtest/gtest.h>

#include <cstring>

#include "agent_test_util.h"

namespace {

using mifsnmp_test::AgentMachine;
using mifsnmp_test::Get;
using mifsnmp_test::Name;

TEST(PortDiscovery, PortsAreOrderedByTheNumberAfterTheDriverName) {
  AgentMachine machine;
  machine.AddCard(1, "TREVAN10");
  machine.AddCard(2, "TREVAN2");
  machine.AddCard(3, "TREVAN1");
  machine.AddCard(4, "OTHER7", "OTHER");  // another product's card is no port
  machine.Load();
  ASSERT_EQ(port_count(), 3);
  EXPECT_STREQ(port_entry(0)->name, "TREVAN1");
  EXPECT_EQ(port_entry(1)->instance, 2);
  EXPECT_EQ(port_entry(2)->instance, 10);
  EXPECT_NE(port_entry(2)->device, nullptr);
  EXPECT_EQ(port_entry(3), nullptr);
  // The SNMP instance is the position: instance 3 is TREVAN10 (its address ends in 10).
  EXPECT_EQ(Get(Name({4, 1, 2, 3})).text, "00A0C912000A");
  // The load defined the DOS names the devices are reached by.
  char targets[64];
  EXPECT_GT(QueryDosDeviceA("TREVAN10", targets, sizeof targets), 0u);
  EXPECT_STREQ(targets, "\\Device\\TREVAN10");
}

TEST(PortDiscovery, APortWithoutADeviceIsListedAndAnswersNothing) {
  AgentMachine machine;
  machine.AddCard(1, "TREVAN1");
  mifsnmp_test::WriteText(NETWORK_CARDS_KEY_SLASH "2", VAL_PRODUCT_NAME, "TREVAN");
  mifsnmp_test::WriteText(NETWORK_CARDS_KEY_SLASH "2", VAL_SERVICE_NAME, "TREVAN2");  // no state
  machine.Load();
  ASSERT_EQ(port_count(), 2);
  EXPECT_EQ(port_entry(1)->device, nullptr);
  BYTE reply[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(query_port_oid(OID_GEN_XMIT_OK, 1, reply, sizeof reply), 0u);
  EXPECT_EQ(query_port_oid(OID_GEN_XMIT_OK, 2, reply, sizeof reply), 0u);
  EXPECT_EQ(query_port_oid(OID_GEN_XMIT_OK, -1, reply, sizeof reply), 0u);
  EXPECT_EQ(reply[0], 0xEE);  // a failed query writes nothing
  EXPECT_EQ(Get(Name({4, 1, 2, 2})).text, "000000000000");
  EXPECT_EQ(query_port_oid(OID_GEN_XMIT_OK, 0, reply, sizeof reply), 4u);
}

TEST(PortDiscovery, AtMost64PortsAndNoNameTooLongForAnEntry) {
  AgentMachine machine;
  for (int card = 1; card <= 66; card++) {
    mifsnmp_test::WriteText(NETWORK_CARDS_KEY_SLASH + std::to_string(card), VAL_PRODUCT_NAME,
                            "TREVAN");
    mifsnmp_test::WriteText(NETWORK_CARDS_KEY_SLASH + std::to_string(card), VAL_SERVICE_NAME,
                            card == 1 ? "TREVAN0000000000000001" : "TREVAN" + std::to_string(card));
  }
  machine.Load();
  ASSERT_EQ(port_count(), MAX_PORTS);
  for (int i = 0; i < MAX_PORTS; i++) EXPECT_LT(std::strlen(port_entry(i)->name), 20u);
}

TEST(PortDiscovery, Windows95FindsTheMakersAdaptersThroughTheVirtualDevice) {
  AgentMachine machine;
  machine.MakeWindows95();
  machine.AddPortState("TREVAN1", 1);
  machine.AddPortState("TREVAN2", 2);
  machine.AddPortState("TREVAN3", 3);
  machine.SetNic("TREVAN2", {"vendor-id=00AA00"});  // another maker's adapter
  machine.SetNic("TREVAN3", {"OID_GEN_XMIT_OK=42"});
  machine.Load();
  EXPECT_FALSE(is_windows_nt());
  ASSERT_EQ(port_count(), 2);
  EXPECT_EQ(port_entry(0), nullptr);  // no entries: the virtual device's map
  EXPECT_EQ(Get(Name({4, 1, 6, 2})).number, 42);
  EXPECT_EQ(Get(Name({4, 1, 2, 2})).text, "00A0C9120003");
  EXPECT_EQ(Get(Name({1, 1, 3, 1})).text, "2.3");
  BYTE reply[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(query_port_oid(OID_GEN_XMIT_OK, 2, reply, sizeof reply), 0u);
  EXPECT_EQ(reply[0], 0xEE);
}

TEST(PortDiscovery, Windows95WithoutTheVirtualDeviceHasNoPorts) {
  AgentMachine machine;
  machine.MakeWindows95();
  std::filesystem::remove(machine.root().path() / "drive_c/WINDOWS/SYSTEM/NICIOVX.VXD");
  machine.AddPortState("TREVAN1", 1);
  machine.Load();
  EXPECT_EQ(port_count(), 0);
}

TEST(PortDiscovery, UnloadForgetsThePortsAndThePlatform) {
  {
    AgentMachine machine;
    machine.MakeWindows95();
    machine.AddPortState("TREVAN1", 1);
    machine.Load();
    EXPECT_EQ(port_count(), 1);
  }
  AgentMachine machine;
  machine.AddCard(1, "TREVAN1");
  machine.AddCard(2, "TREVAN2");
  machine.Load();
  EXPECT_TRUE(is_windows_nt());
  EXPECT_EQ(port_count(), 2);
  machine.Load();  // a second attach finds nothing new
  EXPECT_EQ(port_count(), 2);
}

}  // namespace
