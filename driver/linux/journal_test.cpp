// The journal read back as written, and refused when it is not whole.
#include "journal.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <fstream>

#include "temp_root.h"

namespace pairway::driver {
namespace {

JournalEntry SampleEntry() {
  JournalEntry entry;
  entry.kind = "tc";
  entry.group = "g0";
  entry.made = {{"g0", "veth"}, {"g0-pw", "veth"}};
  MemberRecord m0;
  m0.ifname = "m0";
  m0.mac = {0x02, 0, 0, 0, 0x0a, 0x01};
  m0.up = true;
  m0.ipv6 = 1;
  in_addr v4{};
  inet_pton(AF_INET, "10.0.0.5", &v4);
  netlink::Address four = netlink::Address::Ipv4(0, v4, 24);
  four.has_broadcast = true;
  inet_pton(AF_INET, "10.0.0.255", four.broadcast.data());
  four.flags = 128;
  in6_addr v6{};
  inet_pton(AF_INET6, "2001:db8::5", &v6);
  netlink::Address six = netlink::Address::Ipv6(0, v6, 64);
  six.scope = 0;
  m0.addresses = {four, six};
  MemberRecord m1;
  m1.ifname = "m1";
  m1.mac = {0x02, 0, 0, 0, 0x0b, 0x01};
  m1.allmulti = true;
  m1.ipv6 = -1;
  entry.members = {m0, m1};
  entry.clsact = {"m0", "m1"};
  return entry;
}

class JournalTest : public ::testing::Test {
 protected:
  std::filesystem::path folder() const { return root_.path(); }
  pairway::testing::TempRoot root_;
};

TEST_F(JournalTest, ReadsBackWhatWasWritten) {
  std::string error;
  ASSERT_TRUE(WriteJournal(folder(), SampleEntry(), &error)) << error;
  const std::vector<std::filesystem::path> files = JournalFiles(folder());
  ASSERT_EQ(files.size(), 1u);  // no temporary file is left beside it
  EXPECT_EQ(files[0].filename(), "g0.journal");
  JournalEntry read;
  ASSERT_TRUE(ReadJournal(files[0], &read, &error)) << error;
  const JournalEntry sample = SampleEntry();
  EXPECT_EQ(read.kind, "tc");
  EXPECT_EQ(read.group, "g0");
  ASSERT_EQ(read.made.size(), 2u);
  EXPECT_EQ(read.made[1].ifname, "g0-pw");
  EXPECT_EQ(read.made[1].kind, "veth");
  ASSERT_EQ(read.members.size(), 2u);
  EXPECT_EQ(read.members[0].mac, sample.members[0].mac);
  EXPECT_TRUE(read.members[0].up);
  EXPECT_EQ(read.members[0].ipv6, 1);
  EXPECT_TRUE(read.members[1].allmulti);
  EXPECT_EQ(read.members[1].ipv6, -1);
  ASSERT_EQ(read.members[0].addresses.size(), 2u);
  EXPECT_EQ(read.members[0].addresses[0].ToString(), "10.0.0.5/24");
  EXPECT_TRUE(read.members[0].addresses[0].has_broadcast);
  EXPECT_EQ(read.members[0].addresses[0].broadcast, sample.members[0].addresses[0].broadcast);
  EXPECT_EQ(read.members[0].addresses[0].flags, 128u);
  EXPECT_EQ(read.members[0].addresses[1].ToString(), "2001:db8::5/64");
  EXPECT_EQ(read.clsact, sample.clsact);
}

TEST_F(JournalTest, RewritingReplacesTheWholeFile) {
  std::string error;
  ASSERT_TRUE(WriteJournal(folder(), SampleEntry(), &error));
  JournalEntry shorter = SampleEntry();
  shorter.members.pop_back();
  shorter.clsact.clear();
  ASSERT_TRUE(WriteJournal(folder(), shorter, &error));
  JournalEntry read;
  ASSERT_TRUE(ReadJournal(folder() / "g0.journal", &read, &error));
  EXPECT_EQ(read.members.size(), 1u);
  EXPECT_TRUE(read.clsact.empty());
  RemoveJournal(folder(), "g0");
  EXPECT_TRUE(JournalFiles(folder()).empty());
}

TEST_F(JournalTest, CutShortOrGarbledIsRefusedAndLeavesTheEntryAlone) {
  std::string error;
  ASSERT_TRUE(WriteJournal(folder(), SampleEntry(), &error));
  std::string whole;
  {
    std::ifstream in(folder() / "g0.journal");
    whole.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string broken[] = {
      whole.substr(0, whole.find("kind")),                         // the header only
      "pairway-journal 2\n" + whole.substr(whole.find('\n') + 1),  // a later format
      whole + "tunnel g9\n",               // a line this build does not know
      whole + "address m7 10.1.1.1/24\n",  // an address of no member before it
      whole + "member m2 02:00:zz:00:00:01 up=1 allmulti=0 ipv6=1\n",
      whole + "member m2 02:00:00:00:00:01 up=2 allmulti=0 ipv6=1\n",
      whole.substr(0, whole.find("address m0")) + "address m0 10.0.0.5/33\n",
  };
  for (const std::string& text : broken) {
    {
      std::ofstream out(folder() / "g0.journal", std::ios::trunc);
      out << text;
    }
    JournalEntry read;
    read.group = "untouched";
    EXPECT_FALSE(ReadJournal(folder() / "g0.journal", &read, &error)) << text;
    EXPECT_EQ(read.group, "untouched");
  }
}

TEST_F(JournalTest, AMissingFolderHoldsNoJournal) {
  EXPECT_TRUE(JournalFiles(folder() / "nothing-here").empty());
  std::string error;
  EXPECT_FALSE(WriteJournal(folder() / "nothing-here", SampleEntry(), &error));
  EXPECT_NE(error.find("cannot write the journal"), std::string::npos);
}

}  // namespace
}  // namespace pairway::driver
