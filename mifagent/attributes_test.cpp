#include "attributes.h"

#include <gtest/gtest.h>

#include "agent_test_util.h"

namespace {

using mifsnmp_test::AgentMachine;
using mifsnmp_test::Answer;
using mifsnmp_test::Get;
using mifsnmp_test::GetNext;
using mifsnmp_test::Name;
using mifsnmp_test::Oid;

class AttributesTest : public ::testing::Test {
 protected:
  void AddPorts(int ports) {
    for (int i = 1; i <= ports; i++) machine_.AddCard(i, "TREVAN" + std::to_string(i));
  }
  AsnInteger32 Number(const Oid& suffix) {
    Answer answer = Get(Name(suffix));
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(answer.type, ASN_OCTETSTRING);
    return answer.number;
  }
  std::string Text(const Oid& suffix) {
    Answer answer = Get(Name(suffix));
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.type, ASN_OCTETSTRING);
    return answer.text;
  }
  AgentMachine machine_;
};

TEST_F(AttributesTest, ASilentDriverGivesDefaultsNotErrors) {
  AddPorts(1);
  machine_.SetNic("TREVAN1", {"silent=1", "OID_GEN_XMIT_OK=5"});
  machine_.Load();
  EXPECT_EQ(Text({1, 1, 2, 1}), "");
  EXPECT_EQ(Text({6, 1, 2, 1}), "");
  EXPECT_EQ(Number({1, 1, 6, 1}), 3);
  EXPECT_EQ(Number({4, 1, 4, 1}), 1);
  EXPECT_EQ(Number({4, 1, 5, 1}), 0);
  EXPECT_EQ(Number({7, 1, 1, 1}), 1);
  EXPECT_EQ(Number({8, 1, 3, 1}), 2);
  EXPECT_EQ(Number({8, 1, 5, 1}), 2);
  EXPECT_EQ(Number({3, 1, 4, 1, 1}), 0);
  EXPECT_EQ(Number({3, 1, 4, 1, 2}), 0);
  for (UINT counter = 6; counter <= 13; counter++) {
    EXPECT_EQ(Get(Name({4, 1, counter, 1})).type, ASN_RFC1155_COUNTER);
    EXPECT_EQ(Number({4, 1, counter, 1}), 0) << counter;
  }
  EXPECT_EQ(Number({8, 1, 8, 1}), 0);
  EXPECT_EQ(Text({4, 1, 2, 1}), "000000000000");
  EXPECT_EQ(Text({4, 1, 3, 1}), "000000000000");
  EXPECT_EQ(Text({6, 1, 7, 1}), "0.0");
}

TEST_F(AttributesTest, AddressesAndDriverVersionAsText) {
  AddPorts(2);
  machine_.SetNic("TREVAN2", {"permanent-address=00A0C9123456", "current-address=02a0c9abcdef",
                              "driver-version=0x0302"});
  machine_.SetNic("TREVAN1", {"driver-version=0xFF80"});
  machine_.Load();
  EXPECT_EQ(Text({4, 1, 2, 2}), "00A0C9123456");
  EXPECT_EQ(Text({4, 1, 3, 2}), "02A0C9ABCDEF");
  EXPECT_EQ(Text({6, 1, 7, 2}), "3.2");
  EXPECT_EQ(Text({6, 1, 7, 1}), "-1.-128");  // both bytes are signed
}

TEST_F(AttributesTest, CountersAreSummedIn64BitsAndReportedModulo2To32) {
  AddPorts(1);
  machine_.SetNic("TREVAN1",
                  {"OID_GEN_DIRECTED_BYTES_XMIT=4294967295", "OID_GEN_MULTICAST_BYTES_XMIT=1",
                   "OID_GEN_DIRECTED_BYTES_RCV=4294967301", "OID_GEN_BROADCAST_BYTES_RCV=2",
                   "OID_GEN_XMIT_OK=4294967303", "OID_GEN_XMIT_ERROR=1", "OID_GEN_RCV_CRC_ERROR=10",
                   "OID_802_3_RCV_ERROR_ALIGNMENT=20", "OID_802_3_RCV_OVERRUN=300"});
  machine_.Load();
  EXPECT_EQ(Number({4, 1, 7, 1}), 0);
  EXPECT_EQ(Number({4, 1, 9, 1}), 7);
  EXPECT_EQ(Number({4, 1, 6, 1}), 7);  // a single counter answers its low half
  EXPECT_EQ(Number({4, 1, 10, 1}), 1);
  EXPECT_EQ(Number({4, 1, 12, 1}), 300);
  EXPECT_EQ(Number({4, 1, 13, 1}), 30);
  EXPECT_EQ(Number({8, 1, 8, 1}), 331);
  EXPECT_EQ(Number({8, 1, 7, 1}), 0);
  EXPECT_EQ(Number({8, 1, 9, 1}), 0);
}

TEST_F(AttributesTest, AdapterRecordModesAndFields) {
  AddPorts(3);
  machine_.SetNic("TREVAN1", {"adapter-info=1,Dual Port TX,11,22,33,44,55"});
  machine_.SetNic("TREVAN2", {"adapter-info=2,Quad Port FX"});
  machine_.SetNic("TREVAN3", {"adapter-info=9,Other"});
  machine_.Load();
  EXPECT_EQ(Text({1, 1, 2, 1}), "Dual Port TX");
  EXPECT_EQ(Text({6, 1, 2, 2}), "Quad Port FX");
  EXPECT_EQ(Number({3, 1, 4, 1, 1}), 11);
  EXPECT_EQ(Number({3, 1, 4, 1, 2}), 22);
  EXPECT_EQ(Number({4, 1, 4, 1}), 33);
  EXPECT_EQ(Number({4, 1, 5, 1}), 44);
  EXPECT_EQ(Number({7, 1, 1, 1}), 55);
  const int modes[3][3] = {{8, 3, 3}, {7, 4, 8}, {3, 2, 2}};  // 1.1.6, 8.1.3, 8.1.5
  for (UINT n = 1; n <= 3; n++) {
    EXPECT_EQ(Number({1, 1, 6, n}), modes[n - 1][0]) << n;
    EXPECT_EQ(Number({8, 1, 3, n}), modes[n - 1][1]) << n;
    EXPECT_EQ(Number({8, 1, 5, n}), modes[n - 1][2]) << n;
  }
}

TEST_F(AttributesTest, GroupThreeRowsDifferBySecondIndex) {
  AddPorts(2);
  machine_.Load();
  for (UINT n = 1; n <= 2; n++) {
    EXPECT_EQ(Number({3, 1, 1, n, 2}), static_cast<AsnInteger32>(n));
    EXPECT_EQ(Number({3, 1, 2, n, 2}), 2);
    EXPECT_EQ(Number({3, 1, 3, n, 1}), 5);
    EXPECT_EQ(Number({3, 1, 3, n, 2}), 4);
    EXPECT_EQ(Number({3, 1, 5, n, 1}), 1);
    EXPECT_EQ(Number({3, 1, 5, n, 2}), 128);
  }
}

TEST_F(AttributesTest, FixedTextsAndEchoes) {
  AddPorts(2);
  machine_.Load();
  EXPECT_EQ(Text({1, 1, 1, 2}), "Corvane, Inc.");
  EXPECT_EQ(Text({1, 1, 4, 2}), "");
  EXPECT_EQ(Text({6, 1, 8, 1}), "Microsoft NDIS LAN Miniport Interface");
  EXPECT_EQ(Number({1, 1, 7, 2}), 2);
  EXPECT_EQ(Number({7, 1, 6, 2}), 2);
  EXPECT_EQ(Number({6, 1, 6, 1}), 4);
}

TEST_F(AttributesTest, MulticastRowsFollowPortOrderWithTheirOwners) {
  AddPorts(3);
  machine_.SetNic("TREVAN1", {"multicast=01005E000001,01005E000002"});
  machine_.SetNic("TREVAN3", {"multicast=01005E0000FF"});
  machine_.Load();
  EXPECT_EQ(Text({5, 1, 4, 1}), "01005E000001");
  EXPECT_EQ(Text({5, 1, 4, 2}), "01005E000002");
  EXPECT_EQ(Text({5, 1, 4, 3}), "01005E0000FF");
  EXPECT_EQ(Number({5, 1, 2, 1}), 1);
  EXPECT_EQ(Number({5, 1, 2, 2}), 1);
  EXPECT_EQ(Number({5, 1, 2, 3}), 3);
  EXPECT_EQ(Number({5, 1, 1, 3}), 3);
  EXPECT_EQ(Number({5, 1, 3, 2}), 1);
  EXPECT_EQ(Get(Name({5, 1, 1, 4})).status, 2);
  EXPECT_EQ(GetNext(Name({5, 1, 4, 3})).name, Name({6, 1, 1, 1}));
}

TEST_F(AttributesTest, AnAllZeroEntryEndsOnlyItsOwnPortsList) {
  AddPorts(2);
  machine_.SetNic("TREVAN1", {"multicast=01005E000001,000000000000,01005E000009"});
  machine_.SetNic("TREVAN2", {"multicast=01005E000002"});
  machine_.Load();
  // What port 1 listed after its ending entry is not taken for port 2's.
  EXPECT_EQ(Text({5, 1, 4, 1}), "01005E000001");
  EXPECT_EQ(Text({5, 1, 4, 2}), "01005E000002");
  EXPECT_EQ(Number({5, 1, 2, 2}), 2);
  EXPECT_EQ(Get(Name({5, 1, 4, 3})).status, 2);
}

TEST_F(AttributesTest, ListsThatOutgrowTheirSpaceAreLeftOut) {
  AddPorts(2);
  machine_.SetNic("TREVAN1", {"multicast-max=1", "multicast=01005E000001,01005E000002"});
  machine_.SetNic("TREVAN2", {"multicast-max=65535", "multicast=01005E000003"});
  machine_.Load();
  // Port 1's list fits only because port 2 reports room; it is the driver's answer that counts.
  EXPECT_EQ(Text({5, 1, 4, 1}), "01005E000001");
  EXPECT_EQ(Text({5, 1, 4, 3}), "01005E000003");
  EXPECT_EQ(Number({5, 1, 2, 3}), 2);

  machine_.SetNic("TREVAN2", {"multicast-max=0"});
  machine_.SetNic("TREVAN1", {"multicast-max=1"});
  // Port 1's two addresses do not fit the room for one; port 2's one does.
  EXPECT_EQ(Text({5, 1, 4, 1}), "01005E000003");
  EXPECT_EQ(Number({5, 1, 2, 1}), 2);
  EXPECT_EQ(Get(Name({5, 1, 4, 2})).status, 2);
}

}  // namespace
