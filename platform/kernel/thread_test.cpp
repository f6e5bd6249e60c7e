#include <windows.h>

#include <gtest/gtest.h>

namespace {

DWORD WINAPI WaitThenReturn(LPVOID parameter) {
  WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE);
  return 42;
}

DWORD WINAPI ReportId(LPVOID parameter) {
  *static_cast<DWORD*>(parameter) = GetCurrentThreadId();
  return 0;
}

TEST(Thread, HandleIsSignalledWhenTheRoutineReturns) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, WaitThenReturn, go, 0, nullptr);
  ASSERT_NE(t, nullptr);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(t, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  CloseHandle(t);
  CloseHandle(go);
}

TEST(Thread, IdIsKnownOnReturnAndMatchesTheThread) {
  DWORD inside = 0;
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, ReportId, &inside, 0, &id);
  ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(id, inside);
  EXPECT_NE(id, GetCurrentThreadId());
  CloseHandle(t);
}

TEST(Thread, ClosingTheHandleLeavesTheThreadRunning) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, WaitThenReturn, go, 0, nullptr);
  ASSERT_TRUE(CloseHandle(t));
  SetEvent(go);  // the thread still finds its event and ends normally
  Sleep(20);
  CloseHandle(go);
}

TEST(Thread, SuspendedStartIsRefused) {
  EXPECT_EQ(CreateThread(nullptr, 0, ReportId, nullptr, CREATE_SUSPENDED, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
