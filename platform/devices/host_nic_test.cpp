// Ports served from Linux interfaces: a veth pair in a network namespace the test makes and
// removes, queried through the port devices from a thread inside that namespace.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <ntddndis.h>
#include <sys/socket.h>
#include <unistd.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "pairway/host_nic.h"
#include "pairway/nic_state.h"
#include "temp_root.h"
#include "test_netns.h"

namespace {

using pairway::testing::TempRoot;
using pairway::testing::TestNamespace;

constexpr uint8_t kAddressA[6] = {0x02, 0x00, 0x00, 0x00, 0x0A, 0x01};
constexpr uint8_t kAddressB[6] = {0x02, 0x00, 0x00, 0x00, 0x0B, 0x01};

// Records port `service` as served from `interface`, as add-card --interface does, and names
// its device.
void AddHostPort(const std::string& service, const std::string& interface) {
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + service + "\\Parameters";
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(handle, pairway::kHostInterfaceValue, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(interface.c_str()),
                           static_cast<DWORD>(interface.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(handle);
  ASSERT_TRUE(
      DefineDosDeviceA(DDD_RAW_TARGET_PATH, service.c_str(), ("\\Device\\" + service).c_str()));
}

HANDLE OpenPort(const std::string& service) {
  return CreateFileA(("\\\\.\\" + service).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The reply to one query as bytes; empty with *error set when it fails.
std::vector<BYTE> Query(HANDLE port, DWORD oid, DWORD size, DWORD* error = nullptr) {
  std::vector<BYTE> reply(size);
  DWORD returned = 0;
  if (!DeviceIoControl(port, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, reply.data(), size,
                       &returned, nullptr)) {
    if (error != nullptr) *error = GetLastError();
    return {};
  }
  reply.resize(returned);
  return reply;
}

uint64_t Counter(HANDLE port, DWORD oid) {
  std::vector<BYTE> reply = Query(port, oid, 8);
  uint64_t value = 0;
  std::memcpy(&value, reply.data(), std::min<size_t>(reply.size(), 8));
  return value;
}

// Sends `count` Ethernet frames of `size` bytes from `interface` to `destination`, below IP, so
// that they cross the veth pair whatever addresses the ends have.
void SendFrames(const char* interface, const uint8_t* destination, int count, size_t size) {
  const int sock = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
  ASSERT_GE(sock, 0);
  sockaddr_ll to{};
  to.sll_family = AF_PACKET;
  to.sll_ifindex = static_cast<int>(if_nametoindex(interface));
  to.sll_halen = 6;
  std::memcpy(to.sll_addr, destination, 6);
  std::vector<uint8_t> frame(size, 0x5A);
  std::memcpy(frame.data(), destination, 6);
  std::memcpy(frame.data() + 6, kAddressA, 6);
  frame[12] = 0x88;  // the local experimental EtherType: no protocol above takes it
  frame[13] = 0xB5;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(
        sendto(sock, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(frame.size()));
  }
  close(sock);
}

// Waits (up to a few seconds: the kernel reports carrier changes with a delay) until the show
// text of `interface` contains `line`.
bool ShowsWithin(const std::string& interface, const std::string& line) {
  for (int i = 0; i < 100; ++i) {
    std::string text;
    if (pairway::ShowHostNic(interface, &text) == ERROR_SUCCESS &&
        text.find(line) != std::string::npos)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class HostNicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!netns_.ok()) GTEST_SKIP() << "no network namespace can be made here: " << netns_.error();
    ASSERT_EQ(netns_.Exec("sh -c 'ip link add va type veth peer name vb && "
                          "ip link set va address 02:00:00:00:0a:01 && "
                          "ip link set vb address 02:00:00:00:0b:01 && "
                          "ip addr add 10.201.0.1/24 dev va && ip addr add 10.201.0.2/24 dev vb && "
                          "ip link set va up && ip link set vb up'"),
              0);
    AddHostPort("TREVAN1", "va");
    AddHostPort("TREVAN2", "vb");
  }
  // Runs `body` inside the namespace with both ports open.
  void InNamespace(const std::function<void(HANDLE a, HANDLE b)>& body) {
    ASSERT_TRUE(netns_.Run([&] {
      HANDLE a = OpenPort("TREVAN1");
      HANDLE b = OpenPort("TREVAN2");
      ASSERT_NE(a, INVALID_HANDLE_VALUE) << GetLastError();
      ASSERT_NE(b, INVALID_HANDLE_VALUE) << GetLastError();
      ASSERT_TRUE(ShowsWithin("va", "link=up\n"));
      body(a, b);
      CloseHandle(a);
      CloseHandle(b);
    }));
  }

  TempRoot root_;
  TestNamespace netns_;
};

TEST_F(HostNicTest, TrafficMovesTheCountersOfBothEnds) {
  InNamespace([](HANDLE a, HANDLE b) {
    const uint64_t sent = Counter(a, OID_GEN_XMIT_OK);
    const uint64_t bytes_sent = Counter(a, OID_GEN_DIRECTED_BYTES_XMIT);
    const uint64_t received = Counter(b, OID_GEN_RCV_OK);
    const uint64_t bytes_received = Counter(b, OID_GEN_DIRECTED_BYTES_RCV);
    SendFrames("va", kAddressB, 20, 300);
    EXPECT_GE(Counter(a, OID_GEN_XMIT_OK), sent + 20);
    EXPECT_GE(Counter(a, OID_GEN_DIRECTED_BYTES_XMIT), bytes_sent + 20 * 300);
    EXPECT_GE(Counter(b, OID_GEN_RCV_OK), received + 20);
    EXPECT_GE(Counter(b, OID_GEN_DIRECTED_BYTES_RCV), bytes_received + 20 * 300);
    EXPECT_EQ(Counter(a, OID_GEN_XMIT_ERROR), 0u);
    EXPECT_EQ(Query(a, OID_GEN_XMIT_OK, 4).size(), 4u);  // the low half, as the agent asks
  });
}

TEST_F(HostNicTest, WhatTheKernelDoesNotKeepFailsAsAnUnsupportedOid) {
  InNamespace([](HANDLE a, HANDLE) {
    for (DWORD oid : {static_cast<DWORD>(OID_GEN_MULTICAST_BYTES_XMIT),
                      static_cast<DWORD>(OID_GEN_BROADCAST_BYTES_RCV),
                      pairway::kOidAdapterInformation, static_cast<DWORD>(0x00FFFFFF)}) {
      DWORD error = 0;
      EXPECT_TRUE(Query(a, oid, 88, &error).empty()) << std::hex << oid;
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_SUPPORTED)) << std::hex << oid;
    }
    DWORD error = 0;
    EXPECT_TRUE(Query(a, OID_802_3_CURRENT_ADDRESS, 4, &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  });
}

TEST_F(HostNicTest, AddressesAndDriverComeFromTheInterface) {
  InNamespace([this](HANDLE a, HANDLE) {
    EXPECT_EQ(Query(a, OID_802_3_CURRENT_ADDRESS, 256),
              std::vector<BYTE>(kAddressA, kAddressA + 6));
    EXPECT_EQ(Query(a, OID_802_3_PERMANENT_ADDRESS, 256).size(), 6u);
    // veth has no address of its own: its vendor is that of the address it was given.
    EXPECT_EQ(Query(a, OID_GEN_VENDOR_ID, 3), (std::vector<BYTE>{0x02, 0x00, 0x00}));
    EXPECT_EQ(Query(a, OID_GEN_DRIVER_VERSION, 20), (std::vector<BYTE>{0x00, 0x01}));  // "1.0"
    ASSERT_EQ(netns_.Exec("ip link set va address 02:00:00:00:0a:02"), 0);
    EXPECT_EQ(Query(a, OID_802_3_CURRENT_ADDRESS, 256),
              (std::vector<BYTE>{0x02, 0x00, 0x00, 0x00, 0x0A, 0x02}));
    std::string text;
    ASSERT_EQ(pairway::ShowHostNic("va", &text), 0u);
    EXPECT_NE(text.find("driver=veth\n"), std::string::npos) << text;
    EXPECT_NE(text.find("current-address=020000000A02\n"), std::string::npos) << text;
    EXPECT_NE(text.find("driver-version=0x0100\n"), std::string::npos) << text;
    // veth reports a fixed 10 Gbit/s full duplex through the link settings handshake.
    EXPECT_NE(text.find("speed=10000\nduplex=full\n"), std::string::npos) << text;
    EXPECT_NE(text.find("OID_GEN_MULTICAST_BYTES_XMIT=not-supported\n"), std::string::npos);
  });
}

TEST_F(HostNicTest, LinkStateFollowsThePeer) {
  InNamespace([this](HANDLE a, HANDLE) {
    EXPECT_EQ(Query(a, OID_GEN_MEDIA_CONNECT_STATUS, 4), std::vector<BYTE>({0, 0, 0, 0}));
    ASSERT_EQ(netns_.Exec("ip link set vb down"), 0);
    EXPECT_TRUE(ShowsWithin("va", "link=down\n"));
    EXPECT_EQ(Query(a, OID_GEN_MEDIA_CONNECT_STATUS, 4), std::vector<BYTE>({1, 0, 0, 0}));
    ASSERT_EQ(netns_.Exec("ip link set vb up"), 0);
    EXPECT_TRUE(ShowsWithin("va", "link=up\n"));
  });
}

TEST_F(HostNicTest, MulticastRowsFollowTheInterfaceList) {
  InNamespace([this](HANDLE a, HANDLE) {
    const std::vector<BYTE> added = {0x01, 0x00, 0x5E, 0x00, 0x00, 0x42};
    auto holds = [&] {
      const std::vector<BYTE> list = Query(a, OID_802_3_MULTICAST_LIST, 6 * 64);
      for (size_t i = 0; i + 6 <= list.size(); i += 6) {
        if (std::equal(added.begin(), added.end(), list.begin() + i)) return true;
      }
      return false;
    };
    EXPECT_FALSE(holds());
    ASSERT_EQ(netns_.Exec("ip maddr add 01:00:5e:00:00:42 dev va"), 0);
    EXPECT_TRUE(holds());
    const std::vector<BYTE> list = Query(a, OID_802_3_MULTICAST_LIST, 6 * 64);
    const std::vector<BYTE> room = Query(a, OID_802_3_MAXIMUM_LIST_SIZE, 4);
    ASSERT_EQ(room.size(), 4u);
    EXPECT_GE(room[0] | room[1] << 8, static_cast<int>(list.size() / 6));
    // A buffer one address short of the list holds none of it.
    DWORD error = 0;
    EXPECT_TRUE(
        Query(a, OID_802_3_MULTICAST_LIST, static_cast<DWORD>(list.size() - 6), &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_EQ(netns_.Exec("ip maddr del 01:00:5e:00:00:42 dev va"), 0);
    EXPECT_FALSE(holds());
  });
}

TEST_F(HostNicTest, APortLivesInItsNamespaceAndAnswersNothingOnceItsInterfaceIsGone) {
  // Outside the namespace there is no such interface, so no device for the port.
  EXPECT_EQ(OpenPort("TREVAN1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  InNamespace([this](HANDLE a, HANDLE) {
    ASSERT_EQ(netns_.Exec("ip link del va"), 0);
    DWORD error = 0;
    EXPECT_TRUE(Query(a, OID_GEN_XMIT_OK, 8, &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_GEN_FAILURE));
  });
}

}  // namespace
