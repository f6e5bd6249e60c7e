// The listing calls of the service control manager against a daemon: EnumServicesStatusA and
// EnumServicesStatusExA with buffers of every size and their resume handle, and
// QueryServiceStatusEx, with the errors the callers rely on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "scm_fixture.h"

namespace pairway::testing {
namespace {

class ScmEnumerationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemon_.ok());
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    if (manager_ != nullptr) CloseServiceHandle(manager_);
  }
  // Creates `name` (never started) with a display name of `display_length` characters, or its
  // own name.
  void Create(const std::string& name, size_t display_length = 0) {
    std::string display = display_length == 0 ? name : std::string(display_length, 'd');
    SC_HANDLE service = CreateServiceA(manager_, name.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_NORMAL, "C:\\WINNT\\System32\\tsvc.exe",
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr) << name << ": " << GetLastError();
    CloseServiceHandle(service);
  }

  // Every entry of EnumServicesStatusA, taken with a buffer of `size` bytes and the resume
  // handle; *calls counts the calls it took.
  std::vector<std::string> EnumerateWith(DWORD size, int* calls) {
    std::vector<std::string> names;
    std::vector<BYTE> buffer(size + 1);
    DWORD resume = 0;
    *calls = 0;
    for (;;) {
      DWORD needed = 0, returned = 0;
      ++*calls;
      BOOL done = EnumServicesStatusA(manager_, SERVICE_WIN32, SERVICE_STATE_ALL,
                                      reinterpret_cast<LPENUM_SERVICE_STATUSA>(buffer.data()), size,
                                      &needed, &returned, &resume);
      const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
      for (DWORD i = 0; i < returned; ++i) {
        names.push_back(entries[i].lpServiceName);
        // Every name lies inside the caller's buffer.
        EXPECT_GE(reinterpret_cast<const BYTE*>(entries[i].lpDisplayName), buffer.data());
        EXPECT_LT(reinterpret_cast<const BYTE*>(entries[i].lpDisplayName), buffer.data() + size);
        EXPECT_EQ(entries[i].ServiceStatus.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
      }
      if (done) {
        EXPECT_EQ(needed, 0u);
        EXPECT_EQ(resume, 0u);
        return names;
      }
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
      EXPECT_GT(needed, 0u);
      if (returned == 0 || *calls > 100) {
        ADD_FAILURE() << "no progress with " << size << " bytes";
        return names;
      }
    }
  }

  TempRoot root_;
  ScmDaemon daemon_;
  SC_HANDLE manager_ = nullptr;
};

TEST_F(ScmEnumerationTest, EveryBufferSizeGetsEveryServiceOnceInNameOrder) {
  for (const char* name : {"delta", "Alpha", "charlie", "Bravo"}) Create(name);
  const std::vector<std::string> expected = {"Alpha", "Bravo", "charlie", "delta"};

  // A null buffer asks for the size of everything.
  DWORD needed = 0, returned = 7, resume = 0;
  EXPECT_FALSE(EnumServicesStatusA(manager_, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed,
                                   &returned, &resume));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(returned, 0u);
  // Each entry: the structure and both names with their terminators ("Alpha" is its own
  // display name here).
  DWORD exact = 0;
  for (const std::string& name : expected)
    exact += static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSA) + 2 * (name.size() + 1));
  EXPECT_EQ(needed, exact);

  int calls = 0;
  EXPECT_EQ(EnumerateWith(exact, &calls), expected);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(EnumerateWith(exact - 1, &calls), expected);
  EXPECT_EQ(calls, 2);
  const DWORD one = static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSA) + 2 * 8);
  EXPECT_EQ(EnumerateWith(one, &calls), expected);
  EXPECT_EQ(calls, 4);
}

TEST_F(ScmEnumerationTest, ListingsLongerThanOneFrameArriveWhole) {
  // Display names of 3000 characters: forty services need several frames between the daemon and
  // the client.
  constexpr int kServices = 40;
  std::vector<std::string> expected;
  for (int i = 0; i < kServices; ++i) {
    std::string name = "svc" + std::to_string(100 + i);
    Create(name, 3000);
    expected.push_back(name);
  }
  DWORD needed = 0, returned = 0, resume = 0;
  EXPECT_FALSE(EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                     SERVICE_INACTIVE, nullptr, 0, &needed, &returned, &resume,
                                     nullptr));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_INACTIVE,
                                    buffer.data(), needed, &needed, &returned, &resume, ""));
  ASSERT_EQ(returned, static_cast<DWORD>(kServices));
  const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
  for (int i = 0; i < kServices; ++i) {
    EXPECT_EQ(entries[i].lpServiceName, expected[i]);
    EXPECT_EQ(std::string(entries[i].lpDisplayName), std::string(3000, 'd'));
    EXPECT_EQ(entries[i].ServiceStatusProcess.dwProcessId, 0u);
  }
  // The active ones: none runs.
  EXPECT_TRUE(EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                    buffer.data(), needed, &needed, &returned, &resume, nullptr));
  EXPECT_EQ(returned, 0u);
}

TEST_F(ScmEnumerationTest, RefusalsNameTheirReason) {
  Create("Only");
  BYTE buffer[512];
  DWORD needed = 0, returned = 0;
  auto fails_with = [&](BOOL result, DWORD error) {
    return result == FALSE && GetLastError() == error;
  };
  auto enumerate = [&](SC_HANDLE manager, DWORD types, DWORD states) {
    return EnumServicesStatusA(manager, types, states,
                               reinterpret_cast<LPENUM_SERVICE_STATUSA>(buffer), sizeof buffer,
                               &needed, &returned, nullptr);
  };
  EXPECT_TRUE(fails_with(enumerate(manager_, 0, SERVICE_STATE_ALL), ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(fails_with(enumerate(manager_, 0x4000, SERVICE_STATE_ALL), ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(fails_with(enumerate(manager_, SERVICE_WIN32, 4), ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(
      fails_with(enumerate(nullptr, SERVICE_WIN32, SERVICE_STATE_ALL), ERROR_INVALID_HANDLE));
  SC_HANDLE connect_only = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(connect_only, nullptr);
  EXPECT_TRUE(
      fails_with(enumerate(connect_only, SERVICE_WIN32, SERVICE_STATE_ALL), ERROR_ACCESS_DENIED));
  CloseServiceHandle(connect_only);
  EXPECT_TRUE(fails_with(EnumServicesStatusA(manager_, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0,
                                             nullptr, &returned, nullptr),
                         ERROR_INVALID_ADDRESS));
  EXPECT_TRUE(fails_with(EnumServicesStatusExA(manager_, static_cast<SC_ENUM_TYPE>(1),
                                               SERVICE_WIN32, SERVICE_STATE_ALL, buffer,
                                               sizeof buffer, &needed, &returned, nullptr, nullptr),
                         ERROR_INVALID_LEVEL));
  EXPECT_TRUE(fails_with(
      EnumServicesStatusExA(manager_, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                            buffer, sizeof buffer, &needed, &returned, nullptr, "NDIS"),
      ERROR_SERVICE_DOES_NOT_EXIST));

  SC_HANDLE service = OpenServiceA(manager_, "Only", SERVICE_QUERY_STATUS);
  ASSERT_NE(service, nullptr);
  SERVICE_STATUS_PROCESS status{};
  EXPECT_TRUE(fails_with(
      QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                           sizeof status - 1, &needed),
      ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, sizeof status);
  EXPECT_TRUE(
      fails_with(QueryServiceStatusEx(service, static_cast<SC_STATUS_TYPE>(1),
                                      reinterpret_cast<LPBYTE>(&status), sizeof status, &needed),
                 ERROR_INVALID_LEVEL));
  ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                   reinterpret_cast<LPBYTE>(&status), sizeof status, &needed));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED));
  EXPECT_EQ(status.dwProcessId, 0u);
  CloseServiceHandle(service);
  service = OpenServiceA(manager_, "Only", SERVICE_START);
  ASSERT_NE(service, nullptr);
  EXPECT_TRUE(
      fails_with(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                      reinterpret_cast<LPBYTE>(&status), sizeof status, &needed),
                 ERROR_ACCESS_DENIED));
  CloseServiceHandle(service);
}

}  // namespace
}  // namespace pairway::testing
