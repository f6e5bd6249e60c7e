#include <windows.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "temp_root.h"

namespace fs = std::filesystem;
using pairway::testing::BuildDir;
using pairway::testing::InstallInSystemDir;
using pairway::testing::TempRoot;

namespace {

class ProcessTest : public ::testing::Test {
 protected:
  ProcessTest() { InstallInSystemDir(root_, "probe.exe", BuildDir() / "bin/tests/pairway-probe"); }

  // Starts `command_line`; the process handle, or NULL with the last error.
  HANDLE Start(std::string command_line, DWORD flags = 0, const char* directory = nullptr,
               const char* application = nullptr) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(application, command_line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        directory, &startup, &info)) {
      return nullptr;
    }
    EXPECT_NE(info.dwProcessId, 0u);
    CloseHandle(info.hThread);
    return info.hProcess;
  }

  // Waits for the child, closes its handle and returns its exit code.
  DWORD Finish(HANDLE process) {
    EXPECT_NE(process, nullptr) << GetLastError();
    if (process == nullptr) return 0xFFFFFFFF;
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    CloseHandle(process);
    return code;
  }

  DWORD RunToEnd(const std::string& command_line, DWORD flags = 0) {
    return Finish(Start(command_line, flags));
  }

  // What "probe report" wrote: its lines as key -> value, arguments as arg0, arg1, ...
  std::map<std::string, std::string> Report() {
    std::ifstream in(report_);
    std::map<std::string, std::string> values;
    std::string line;
    int arg = 0;
    while (std::getline(in, line)) {
      size_t eq = line.find('=');
      std::string key = line.substr(0, eq);
      if (key == "arg") key += std::to_string(arg++);
      values[key] = line.substr(eq + 1);
    }
    return values;
  }

  TempRoot root_;
  fs::path report_ = root_.path() / "report.txt";
};

TEST_F(ProcessTest, ExitCodeIsStillActiveUntilTheChildEnds) {
  HANDLE process = Start("probe sleep 300");
  ASSERT_NE(process, nullptr) << GetLastError();
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(process, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 0u);
  // Signalled for good: a second wait returns at once.
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
  CloseHandle(process);
}

TEST_F(ProcessTest, ExitCodesAndSignalsAreReported) {
  EXPECT_EQ(RunToEnd("probe.exe exit 3"), 3u);
  EXPECT_EQ(RunToEnd("C:\\WINNT\\System32\\PROBE.EXE exit 0"), 0u);
  EXPECT_EQ(RunToEnd("probe signal 15"), 0xC000000Fu);
}

TEST_F(ProcessTest, ArgumentsEnvironmentAndDirectoryReachTheChild) {
  fs::create_directories(root_.path() / "drive_c/work");
  std::string line = "probe report " + report_.string() + R"( "two words" a\\\"b)";
  EXPECT_EQ(Finish(Start(line, 0, "C:\\WORK")), 7u);
  auto report = Report();
  EXPECT_EQ(report["arg0"], "probe");
  EXPECT_EQ(report["arg3"], "two words");
  EXPECT_EQ(report["arg4"], R"(a\"b)");
  EXPECT_EQ(report["SystemRoot"], "C:\\WINNT");
  EXPECT_EQ(report["PAIRWAY_ROOT"], root_.path().string());
  EXPECT_EQ(report["cwd"], (root_.path() / "drive_c/work").string());
  EXPECT_EQ(report["session_leader"], "0");
  EXPECT_EQ(report["module"], "C:\\WINNT\\System32\\probe.exe");
}

TEST_F(ProcessTest, WindowsNinetyFiveRootGivesItsOwnFoldersToTheChild) {
  std::ofstream(root_.path() / "machine.conf") << "os=win95\n";
  InstallInSystemDir(root_, "probe.exe", BuildDir() / "bin/tests/pairway-probe");
  EXPECT_EQ(RunToEnd("probe report " + report_.string()), 7u);
  auto report = Report();
  EXPECT_EQ(report["SystemRoot"], "C:\\WINDOWS");
  // Found in the system folder of Windows 95; that of NT is not searched.
  EXPECT_EQ(report["module"], "C:\\WINDOWS\\SYSTEM\\probe.exe");
}

TEST_F(ProcessTest, DetachedChildHasItsOwnSessionAndNoInput) {
  EXPECT_EQ(RunToEnd("probe report " + report_.string(), DETACHED_PROCESS), 7u);
  auto report = Report();
  EXPECT_EQ(report["session_leader"], "1");
  EXPECT_EQ(report["stdin_null"], "1");
}

TEST_F(ProcessTest, DescriptorsOfTheParentAreNotInherited) {
  int fd = open(report_.c_str(), O_WRONLY | O_CREAT, 0600);  // no close-on-exec
  ASSERT_GE(fd, 3);
  EXPECT_EQ(RunToEnd("probe fd " + std::to_string(fd)), 0u);
  EXPECT_EQ(RunToEnd("probe fd 1"), 1u);  // the standard handles are shared
  close(fd);
}

TEST_F(ProcessTest, TerminateEndsTheChildWithTheCodeGiven) {
  HANDLE process = Start("probe sleep 60000");
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(TerminateProcess(process, 9));
  ASSERT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(TerminateProcess(process, 1));  // ended already
  EXPECT_EQ(Finish(process), 9u);
}

TEST_F(ProcessTest, ImagesThatCannotRunFailWithThePlatformsCodes) {
  EXPECT_EQ(Start("nosuch.exe"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Start("C:\\..\\..\\bin\\sh"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  std::ofstream(root_.path() / "drive_c/WINNT/System32/text.exe") << "not a program";
  EXPECT_EQ(Start("text.exe"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  fs::permissions(root_.path() / "drive_c/WINNT/System32/text.exe", fs::perms::owner_exec,
                  fs::perm_options::add);  // executable, but no program the host can run
  EXPECT_EQ(Start("text.exe"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(Start(""), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Start("probe exit 0", 0, "C:\\nosuchdir"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST_F(ProcessTest, ApplicationNameChoosesTheImage) {
  EXPECT_EQ(Finish(Start("whatever exit 5", 0, nullptr, "C:\\WINNT\\System32\\probe.exe")), 5u);
}

TEST(CommandLineOfThisProcess, IsRebuiltFromItsArguments) {
  std::string line = GetCommandLineA();
  EXPECT_NE(line.find("platform_kernel_tests"), std::string::npos);
}

}  // namespace
