#include "pairway/machine_root.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "temp_root.h"

extern "C" FILE* PairwayNtFopen(const char* nt_path, const char* mode);

namespace fs = std::filesystem;

namespace {

class MachineRootTest : public ::testing::Test {
 protected:
  fs::path Map(const std::string& nt) {
    fs::path host;
    EXPECT_EQ(pairway::MapNtPath(nt, &host), static_cast<DWORD>(ERROR_SUCCESS)) << nt;
    return host;
  }
  DWORD MapError(const std::string& nt) {
    fs::path host;
    return pairway::MapNtPath(nt, &host);
  }
  fs::path C() { return root_.path() / "drive_c"; }

  pairway::testing::TempRoot root_;
};

TEST_F(MachineRootTest, DriveLettersAndSeparatorsMapBelowTheRoot) {
  EXPECT_EQ(Map("C:\\WINNT\\System32\\lodctr.exe"), C() / "WINNT/System32/lodctr.exe");
  EXPECT_EQ(Map("c:/testdll.txt"), C() / "testdll.txt");
  EXPECT_EQ(Map("d:\\x"), root_.path() / "drive_d/x");
  EXPECT_EQ(Map("C:\\"), C());
}

TEST_F(MachineRootTest, RootOfTheCurrentDriveIsDriveC) {
  EXPECT_EQ(Map("\\portwarden.dbg"), C() / "portwarden.dbg");
}

TEST_F(MachineRootTest, SystemRootFormsNameTheWindowsDirectory) {
  EXPECT_EQ(Map("%SystemRoot%\\System32\\x.dll"), C() / "WINNT/System32/x.dll");
  EXPECT_EQ(Map("%systemroot%\\x"), C() / "WINNT/x");
  EXPECT_EQ(Map("\\SystemRoot\\System32\\drivers\\trevan.sys"),
            C() / "WINNT/System32/drivers/trevan.sys");
  std::ofstream(root_.path() / "machine.conf") << "os=win95\n";
  EXPECT_EQ(Map("%SystemRoot%\\SYSTEM"), C() / "WINDOWS/SYSTEM");
}

TEST_F(MachineRootTest, ExistingEntriesMatchWithoutRegardToCase) {
  fs::create_directories(C() / "WINNT/System32");
  std::ofstream(C() / "WINNT/System32/AggCfg.dll") << "x";
  EXPECT_EQ(Map("c:\\winnt\\SYSTEM32\\aggcfg.DLL"), C() / "WINNT/System32/AggCfg.dll");
  // Components that do not exist keep their spelling.
  EXPECT_EQ(Map("C:\\winnt\\NewDir\\File.txt"), C() / "WINNT/NewDir/File.txt");
}

TEST_F(MachineRootTest, DotDotResolvesInsideButNeverLeavesTheRoot) {
  EXPECT_EQ(Map("C:\\WINNT\\..\\x.txt"), C() / "x.txt");
  EXPECT_EQ(Map("C:\\a\\.\\b\\..\\c"), C() / "a/c");
  EXPECT_EQ(MapError("C:\\.."), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(MapError("\\..\\..\\etc\\passwd"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(MapError("C:\\a\\..\\..\\b"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(MapError("../../etc/passwd"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(MachineRootTest, AbsoluteHostPathsStayInsideTheRoot) {
  // A host path smuggled in is read as an NT path on the current drive.
  EXPECT_EQ(Map("/etc/passwd"), C() / "etc/passwd");
}

TEST_F(MachineRootTest, BadNamesAreRefused) {
  for (const char* bad :
       {"", "\\\\server\\share\\x", "\\\\.\\TREVAN1", "1:\\x", "C:\\a:b", "C:\\a*b", "C:\\a?"}) {
    EXPECT_EQ(MapError(bad), static_cast<DWORD>(ERROR_INVALID_NAME)) << bad;
  }
  fs::path host;
  EXPECT_EQ(pairway::MapNtPath(std::string_view("C:\\a\0b", 6), &host),
            static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(MachineRootTest, RelativePathsFollowTheCurrentDirectoryInsideTheRoot) {
  fs::path old = fs::current_path();
  EXPECT_EQ(Map("rel\\x"), C() / "rel/x");  // outside the root: relative to C:\ (the root of C:)
  fs::create_directories(root_.path() / "drive_d/work");
  fs::current_path(root_.path() / "drive_d/work");
  EXPECT_EQ(Map("rel\\x"), root_.path() / "drive_d/work/rel/x");
  EXPECT_EQ(Map("..\\y"), root_.path() / "drive_d/y");
  EXPECT_EQ(Map("\\z"), root_.path() / "drive_d/z");
  fs::current_path(old);
}

TEST_F(MachineRootTest, HostPathsMapBackToNtPaths) {
  EXPECT_EQ(pairway::HostToNtPath(C() / "WINNT/System32/x.dll"), "C:\\WINNT\\System32\\x.dll");
  EXPECT_EQ(pairway::HostToNtPath(C()), "C:\\");
  EXPECT_EQ(pairway::HostToNtPath(root_.path() / "registry.db"), std::nullopt);
  EXPECT_EQ(pairway::HostToNtPath("/etc/passwd"), std::nullopt);
}

TEST(MachineRootThroughALink, CurrentDirectoryInsideStillCounts) {
  pairway::testing::TempRoot real;
  fs::create_directories(real.path() / "drive_c/work");
  fs::path link = real.path().string() + "-link";
  fs::create_directory_symlink(real.path(), link);
  setenv("PAIRWAY_ROOT", link.c_str(), 1);
  fs::path old = fs::current_path();
  fs::current_path(link / "drive_c/work");  // the host reports the resolved path
  fs::path host;
  EXPECT_EQ(pairway::MapNtPath("rel", &host), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(host, link / "drive_c/work/rel");
  fs::current_path(old);
  fs::remove(link);
}

TEST_F(MachineRootTest, SettingsAndFlavourComeFromMachineConf) {
  EXPECT_EQ(pairway::RootOsFlavor(root_.path()), pairway::OsFlavor::kWindowsNt4);
  std::ofstream(root_.path() / "machine.conf") << "# test\n os = Win95 \nother=1\n";
  EXPECT_EQ(pairway::RootOsFlavor(root_.path()), pairway::OsFlavor::kWindows95);
  EXPECT_EQ(pairway::RootSetting(root_.path(), "OTHER"), "1");
  EXPECT_EQ(pairway::RootSetting(root_.path(), "missing"), std::nullopt);
}

TEST_F(MachineRootTest, SocketDirStaysShortEnoughForUnixSockets) {
  fs::path dir = pairway::SocketDir(root_.path());
  EXPECT_EQ(dir, pairway::RunDir(root_.path()));
  EXPECT_TRUE(fs::is_directory(dir));

  fs::path deep = root_.path() / std::string(100, 'd');
  fs::path fallback = pairway::SocketDir(deep);
  ASSERT_FALSE(fallback.empty());
  EXPECT_LT(fallback.native().size(), 60u);
  EXPECT_EQ(fs::status(fallback).permissions() & fs::perms::all, fs::perms::owner_all);
  fs::remove(fallback);
}

TEST(MachineRootUnset, MappingFailsAndToolsExitWithAMessage) {
  pairway::testing::TempRoot root;  // restores the variable afterwards
  unsetenv("PAIRWAY_ROOT");
  EXPECT_EQ(pairway::MachineRoot(), std::nullopt);
  fs::path host;
  EXPECT_EQ(pairway::MapNtPath("C:\\x", &host), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EXIT(pairway::MachineRootOrExit("probe"),
              ::testing::ExitedWithCode(pairway::kNoMachineRootExitCode), "PAIRWAY_ROOT");
}

TEST_F(MachineRootTest, NtFopenOpensTheMappedFile) {
  fs::create_directories(C());
  FILE* f = PairwayNtFopen("c:\\testdll.txt", "w");
  ASSERT_NE(f, nullptr);
  fputs("hello", f);
  fclose(f);
  EXPECT_TRUE(fs::exists(C() / "testdll.txt"));
  f = PairwayNtFopen("\\TESTDLL.TXT", "r");
  ASSERT_NE(f, nullptr);
  fclose(f);
  errno = 0;
  EXPECT_EQ(PairwayNtFopen("\\..\\escape.txt", "w"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
