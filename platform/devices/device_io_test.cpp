#include <ntddndis.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "pairway/nic_state.h"
#include "temp_root.h"

namespace {

namespace fs = std::filesystem;
using pairway::testing::TempRoot;

// Installs an emulated port as the network setup and the driver would: its state and its name.
void AddPort(const TempRoot& root, const std::string& service, int instance) {
  ASSERT_EQ(pairway::WriteNicState(root.path(), service, pairway::DefaultNicState(instance)), 0u);
  ASSERT_TRUE(
      DefineDosDeviceA(DDD_RAW_TARGET_PATH, service.c_str(), ("\\Device\\" + service).c_str()));
}

void SetField(const TempRoot& root, const std::string& service, const std::string& assignment) {
  pairway::NicState state;
  ASSERT_EQ(pairway::ReadNicState(root.path(), service, &state), 0u);
  std::string error;
  ASSERT_EQ(pairway::SetNicField(&state, assignment, &error), 0u) << error;
  ASSERT_EQ(pairway::WriteNicState(root.path(), service, state), 0u);
}

HANDLE OpenPort(const std::string& service) {
  return CreateFileA(("\\\\.\\" + service).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The reply to one NDIS query, or the error as a negative number.
long long Query(HANDLE port, DWORD oid, void* out, DWORD size) {
  DWORD returned = 0;
  if (!DeviceIoControl(port, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, sizeof oid, out, size, &returned,
                       nullptr))
    return -static_cast<long long>(GetLastError());
  return returned;
}

uint32_t Le32(const BYTE* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

TEST(DosDevices, DefinitionsStackAndComeOffNewestFirst) {
  TempRoot root;
  char targets[512];
  EXPECT_EQ(QueryDosDeviceA("TREVAN1", targets, sizeof targets), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "TREVAN1", "\\Device\\TREVAN1"));
  ASSERT_TRUE(DefineDosDeviceA(0, "trevan1", "C:\\x"));
  ASSERT_EQ(QueryDosDeviceA("Trevan1", targets, sizeof targets), 26u);
  EXPECT_STREQ(targets, "\\??\\C:\\x");
  EXPECT_STREQ(targets + 9, "\\Device\\TREVAN1");
  EXPECT_EQ(QueryDosDeviceA("TREVAN1", targets, 10), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  ASSERT_TRUE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "TREVAN1", nullptr));
  ASSERT_EQ(QueryDosDeviceA("TREVAN1", targets, sizeof targets), 17u);
  EXPECT_STREQ(targets, "\\Device\\TREVAN1");
  EXPECT_FALSE(
      DefineDosDeviceA(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE | DDD_RAW_TARGET_PATH,
                       "TREVAN1", "\\Device\\OTHER"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(QueryDosDeviceA(nullptr, targets, sizeof targets), 9u);
  EXPECT_STREQ(targets, "TREVAN1");
}

TEST(DosDevices, NamesThatCouldLeaveTheFolderAreRefused) {
  TempRoot root;
  for (const char* name : {"", "..", "a\\b", "a/b"}) {
    EXPECT_FALSE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, name, "\\Device\\X")) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_FALSE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "X", "two\nlines"));
}

TEST(NicPortDevice, OpensOnlyThroughANameThatLeadsToAPort) {
  TempRoot root;
  EXPECT_EQ(OpenPort("TREVAN1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "TREVAN1", "\\Device\\TREVAN1"));
  EXPECT_EQ(OpenPort("TREVAN1"), INVALID_HANDLE_VALUE);  // a name without a driver port
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  AddPort(root, "TREVAN2", 2);
  HANDLE port = OpenPort("trevan2");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(port));
  BYTE reply[8];
  EXPECT_EQ(Query(port, OID_GEN_XMIT_OK, reply, sizeof reply), -ERROR_INVALID_HANDLE);
}

TEST(NicPortDevice, CountersAnswerEightBytesOrTheirLowHalf) {
  TempRoot root;
  AddPort(root, "TREVAN1", 1);
  HANDLE port = OpenPort("TREVAN1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  SetField(root, "TREVAN1", "OID_GEN_DIRECTED_BYTES_XMIT=4294967301");  // 2^32 + 5
  BYTE reply[8] = {};
  ASSERT_EQ(Query(port, OID_GEN_DIRECTED_BYTES_XMIT, reply, 8), 8);
  EXPECT_EQ(Le32(reply), 5u);
  EXPECT_EQ(Le32(reply + 4), 1u);
  std::memset(reply, 0xEE, sizeof reply);
  ASSERT_EQ(Query(port, OID_GEN_DIRECTED_BYTES_XMIT, reply, 4), 4);
  EXPECT_EQ(Le32(reply), 5u);
  EXPECT_EQ(reply[4], 0xEE);  // nothing beyond the reply
  EXPECT_EQ(Query(port, OID_GEN_XMIT_OK, reply, 2), -ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(Query(port, 0x00020106, reply, 8), -ERROR_NOT_SUPPORTED);
  DWORD returned = 0;
  DWORD oid = OID_GEN_XMIT_OK;
  EXPECT_FALSE(DeviceIoControl(port, 0x00170006, &oid, 4, reply, 8, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  EXPECT_FALSE(
      DeviceIoControl(port, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, 2, reply, 8, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(port);
}

TEST(NicPortDevice, AddressesListsVersionVendorAndLinkHaveTheirReplySizes) {
  TempRoot root;
  AddPort(root, "TREVAN1", 1);
  SetField(root, "TREVAN1", "current-address=02AABBCCDDEE");
  SetField(root, "TREVAN1", "multicast=01005E000001,01005E000002");
  SetField(root, "TREVAN1", "multicast-max=16");
  SetField(root, "TREVAN1", "driver-version=0x0302");
  HANDLE port = OpenPort("TREVAN1");
  BYTE reply[256] = {};
  ASSERT_EQ(Query(port, OID_802_3_PERMANENT_ADDRESS, reply, 256), 6);
  EXPECT_EQ(reply[0], 0x00);
  EXPECT_EQ(reply[5], 0x01);
  ASSERT_EQ(Query(port, OID_802_3_CURRENT_ADDRESS, reply, 256), 6);
  EXPECT_EQ(reply[0], 0x02);
  EXPECT_EQ(reply[5], 0xEE);
  ASSERT_EQ(Query(port, OID_802_3_MULTICAST_LIST, reply, 256), 12);
  EXPECT_EQ(reply[11], 0x02);
  EXPECT_EQ(Query(port, OID_802_3_MULTICAST_LIST, reply, 11), -ERROR_INSUFFICIENT_BUFFER);
  ASSERT_EQ(Query(port, OID_802_3_MAXIMUM_LIST_SIZE, reply, 4), 4);
  EXPECT_EQ(Le32(reply), 16u);
  ASSERT_EQ(Query(port, OID_GEN_DRIVER_VERSION, reply, 20), 2);
  EXPECT_EQ(reply[0], 0x02);  // minor
  EXPECT_EQ(reply[1], 0x03);  // major
  ASSERT_EQ(Query(port, OID_GEN_VENDOR_ID, reply, 3), 3);
  EXPECT_EQ(reply[0], 0x02);
  EXPECT_EQ(reply[1], 0x3C);
  EXPECT_EQ(reply[2], 0x7A);
  ASSERT_EQ(Query(port, OID_GEN_MEDIA_CONNECT_STATUS, reply, 4), 4);
  EXPECT_EQ(Le32(reply), static_cast<uint32_t>(NdisMediaStateConnected));
  SetField(root, "TREVAN1", "link=down");
  ASSERT_EQ(Query(port, OID_GEN_MEDIA_CONNECT_STATUS, reply, 4), 4);
  EXPECT_EQ(Le32(reply), static_cast<uint32_t>(NdisMediaStateDisconnected));
  CloseHandle(port);
}

TEST(NicPortDevice, AdapterRecordHasTheDriversLayoutOrIsNotAnswered) {
  TempRoot root;
  AddPort(root, "TREVAN1", 1);
  SetField(root, "TREVAN1", "adapter-info=2,Dual Port,7,8,9,10,11");
  HANDLE port = OpenPort("TREVAN1");
  BYTE record[88];
  std::memset(record, 0xEE, sizeof record);
  ASSERT_EQ(Query(port, pairway::kOidAdapterInformation, record, 88), 88);
  EXPECT_EQ(Le32(record), 7u);
  EXPECT_EQ(Le32(record + 4), 8u);
  EXPECT_EQ(Le32(record + 8), 0u);
  EXPECT_EQ(Le32(record + 12), 2u);
  EXPECT_STREQ(reinterpret_cast<char*>(record + 16), "Dual Port");
  EXPECT_EQ(Le32(record + 76), 9u);
  EXPECT_EQ(Le32(record + 80), 10u);
  EXPECT_EQ(Le32(record + 84), 11u);
  EXPECT_EQ(Query(port, pairway::kOidAdapterInformation, record, 87), -ERROR_INSUFFICIENT_BUFFER);
  // Every query answers from the state as it is now: an open handle sees the change.
  SetField(root, "TREVAN1", "adapter-info=none");
  EXPECT_EQ(Query(port, pairway::kOidAdapterInformation, record, 88), -ERROR_NOT_SUPPORTED);
  SetField(root, "TREVAN1", "silent=1");
  EXPECT_EQ(Query(port, OID_GEN_XMIT_OK, record, 4), -ERROR_GEN_FAILURE);
  ASSERT_EQ(pairway::RemoveNicState(root.path(), "TREVAN1"), 0u);  // the card was taken out
  EXPECT_EQ(Query(port, OID_GEN_XMIT_OK, record, 4), -ERROR_GEN_FAILURE);
  CloseHandle(port);
}

class VirtualDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(root_.path() / "machine.conf") << "os=win95\n";
    AddPort(root_, "TREVAN1", 1);
    AddPort(root_, "TREVAN2", 2);
    SetField(root_, "TREVAN1", "vendor-id=00C0FF");
  }
  void Install() {
    fs::create_directories(root_.path() / "drive_c" / "WINDOWS" / "SYSTEM");
    std::ofstream(root_.path() / "drive_c" / "WINDOWS" / "SYSTEM" / "NICIOVX.VXD") << "vxd";
  }
  HANDLE Open() {
    return CreateFileA("\\\\.\\NICIOVX.VXD", 0, 0, nullptr, 0,
                       FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OVERLAPPED, nullptr);
  }
  TempRoot root_;
};

TEST_F(VirtualDevice, ExistsOnlyWhenInstalledOnWindows95) {
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  Install();
  HANDLE device = Open();
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  CloseHandle(device);
  std::ofstream(root_.path() / "machine.conf") << "os=nt4\n";
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
}

TEST_F(VirtualDevice, OverlappedRequestsArePendingAndCompleteThroughTheirEvent) {
  Install();
  HANDLE device = Open();
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  DWORD inputs[2] = {0, 0};
  DWORD count = 0, returned = 0;
  EXPECT_FALSE(DeviceIoControl(device, pairway::kVxdAdapterCount, inputs, 8, &count, 4, &returned,
                               &overlapped));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(device, &overlapped, &returned, TRUE));
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(count, 2u);

  // Adapters in port order; each answers its own vendor identifier.
  BYTE vendor[3] = {};
  DWORD query[2] = {OID_GEN_VENDOR_ID, 1};
  overlapped = OVERLAPPED{};
  overlapped.hEvent = event;
  EXPECT_FALSE(
      DeviceIoControl(device, pairway::kVxdQueryOid, query, 8, vendor, 3, &returned, &overlapped));
  ASSERT_TRUE(GetOverlappedResult(device, &overlapped, &returned, TRUE));
  EXPECT_EQ(returned, 3u);
  EXPECT_EQ(vendor[0], 0x02);
  query[1] = 0;
  DeviceIoControl(device, pairway::kVxdQueryOid, query, 8, vendor, 3, &returned, &overlapped);
  ASSERT_TRUE(GetOverlappedResult(device, &overlapped, &returned, TRUE));
  EXPECT_EQ(vendor[0], 0x00);

  query[1] = 2;  // beyond the last adapter
  DeviceIoControl(device, pairway::kVxdQueryOid, query, 8, vendor, 3, &returned, &overlapped);
  EXPECT_FALSE(GetOverlappedResult(device, &overlapped, &returned, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(event);
  CloseHandle(device);
}

TEST(DeviceFiles, OrdinaryFilesOpenAndReportTheirSize) {
  TempRoot root;
  fs::create_directories(root.path() / "drive_c" / "WINNT");
  std::ofstream(root.path() / "drive_c" / "WINNT" / "x.sys") << std::string(1234, 'x');
  HANDLE file = CreateFileA("C:\\WINNT\\X.SYS", GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(file, &high), 1234u);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(
      CreateFileA("C:\\WINNT\\missing.sys", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateFileA("C:\\WINNT", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
