#include <windows.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "temp_root.h"

namespace {

TEST(SystemInfo, NtFourByDefault) {
  pairway::testing::TempRoot root;
  EXPECT_EQ(GetVersion(), 0x05650004u);  // build 1381, version 4.0
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(info.dwBuildNumber, 1381u);
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 6");
}

TEST(SystemInfo, WindowsNinetyFiveWhenTheRootSaysSo) {
  pairway::testing::TempRoot root;
  std::ofstream(root.path() / "machine.conf") << "os=win95\n";
  EXPECT_EQ(GetVersion() & 0x80000000u, 0x80000000u);
  EXPECT_EQ(LOBYTE(LOWORD(GetVersion())), 4);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  char dir[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(dir, sizeof dir), 0u);
  EXPECT_STREQ(dir, "C:\\WINDOWS\\SYSTEM");
}

TEST(SystemInfo, VersionExRefusesAWrongSize) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info - 1;
  EXPECT_FALSE(GetVersionExA(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SystemInfo, DirectoriesReportTheSizeNeededWhenTheBufferIsShort) {
  pairway::testing::TempRoot root;
  char dir[MAX_PATH];
  EXPECT_EQ(GetSystemDirectoryA(dir, sizeof dir), 17u);
  EXPECT_STREQ(dir, "C:\\WINNT\\System32");
  char small[17] = "unchanged";
  EXPECT_EQ(GetSystemDirectoryA(small, sizeof small), 18u);
  EXPECT_STREQ(small, "unchanged");
  EXPECT_EQ(GetWindowsDirectoryA(dir, sizeof dir), 8u);
  EXPECT_STREQ(dir, "C:\\WINNT");
}

TEST(Environment, SystemRootIsAlwaysDefined) {
  pairway::testing::TempRoot root;
  char value[MAX_PATH];
  EXPECT_EQ(GetEnvironmentVariableA("SYSTEMROOT", value, sizeof value), 8u);
  EXPECT_STREQ(value, "C:\\WINNT");
  EXPECT_EQ(GetEnvironmentVariableA("SystemRoot", value, 3), 9u);
  char expanded[MAX_PATH];
  EXPECT_EQ(
      ExpandEnvironmentStringsA("%SystemRoot%\\System32\\%NoSuchVar%", expanded, sizeof expanded),
      30u);
  EXPECT_STREQ(expanded, "C:\\WINNT\\System32\\%NoSuchVar%");
}

TEST(Environment, NamesCompareWithoutCaseAndUnsetNamesFail) {
  ASSERT_TRUE(SetEnvironmentVariableA("PairwayProbe", "1"));
  char value[8];
  EXPECT_EQ(GetEnvironmentVariableA("PAIRWAYPROBE", value, sizeof value), 1u);
  ASSERT_TRUE(SetEnvironmentVariableA("PairwayProbe", nullptr));
  EXPECT_EQ(GetEnvironmentVariableA("PairwayProbe", value, sizeof value), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_FALSE(SetEnvironmentVariableA("a=b", "1"));
}

}  // namespace
