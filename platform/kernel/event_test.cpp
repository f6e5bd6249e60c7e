#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(Event, ManualResetStaysSignalledUntilReset) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_TRUE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(e);
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(e, 2000) == WAIT_OBJECT_0) ++released;
    });
  }
  for (int i = 0; i < 3; ++i) SetEvent(e), Sleep(20);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 3);
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(e);
}

TEST(Event, SetFromAnotherThreadWakesAnInfiniteWait) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread setter([e] {
    Sleep(20);
    SetEvent(e);
  });
  EXPECT_EQ(WaitForSingleObject(e, INFINITE), WAIT_OBJECT_0);
  setter.join();
  CloseHandle(e);
}

TEST(Event, TimeOutWaitsAtLeastTheTimeGiven) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(e, 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(GetTickCount() - start, 49u);
  CloseHandle(e);
}

TEST(Event, NamedEventIsSharedAndReportsThatItExisted) {
  HANDLE a = CreateEventA(nullptr, TRUE, FALSE, "PairwayTestEvent");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE b = CreateEventA(nullptr, TRUE, FALSE, "PairwayTestEvent");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_NE(a, b);
  SetEvent(a);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
  CloseHandle(a);
  CloseHandle(b);
  // With every handle closed, the name is free again.
  HANDLE c = CreateEventA(nullptr, TRUE, FALSE, "PairwayTestEvent");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(WaitForSingleObject(c, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(c);
}

TEST(Event, ClosedHandleCannotBeSet) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(e);
  EXPECT_FALSE(SetEvent(e));
  EXPECT_FALSE(ResetEvent(e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
