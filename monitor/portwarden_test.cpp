// The program module: parameters and trace set-up, installation, the shutdown pass and the
// foreground monitor (in-process, driven by writes, and as a program beside a writer).
#include "portwarden.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "monitor_test_util.h"
#include "temp_root.h"

extern char** environ;

namespace {

using namespace monitor_test;
using pairway::testing::BuildDir;
using pairway::testing::TempRoot;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t Count(const std::string& text, const std::string& line) {
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) count++;
  return count;
}

// Polls until `done` holds or the deadline passes; the deadline only guards against hanging.
template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::seconds limit = std::chrono::seconds(60),
             std::chrono::milliseconds poll = std::chrono::milliseconds(20)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
}

class PortwardenTest : public ::testing::Test {
 protected:
  // portwarden_main sets the process-wide parameters and may open the trace file.
  void TearDown() override {
    if (fp != stdout) fclose(fp);
    fp = stdout;
    debugFlag = 0;
    EnableBindReorder = 1;
  }
  TempRoot root_;
};

// A program of the build run with the test's root; stdout goes to a file.
class Child {
 public:
  Child(const std::filesystem::path& program, const std::filesystem::path& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // The exit status once the child has ended within the limit, else -1.
  int Wait(std::chrono::seconds limit) {
    int status = 0;
    bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
    if (!ended) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

TEST_F(PortwardenTest, StartedByHandWithItsKeyOnlyTracesTheFailedConnection) {
  std::filesystem::create_directories(root_.path() / "drive_c");  // the machine's C:\ drive
  SetDword(MONITOR_PARAMETERS_KEY, VAL_DEBUG_FLAG, 1);
  SetDword(MONITOR_PARAMETERS_KEY, VAL_ENABLE_BIND_REORDER, 0);
  portwarden_main(0, nullptr);
  EXPECT_EQ(EnableBindReorder, 0);
  EXPECT_EQ(ReadFile(root_.path() / "drive_c" / "portwarden.dbg"),
            "DebugFlag= 1\n"
            "EnableBindReorder Flag= 0\n"
            "Unable to register with SCM , error 1063\n");
}

TEST_F(PortwardenTest, ParametersOfOtherSizesOrTypes) {
  SetBytes(MONITOR_PARAMETERS_KEY, VAL_DEBUG_FLAG, REG_BINARY, std::string("\x02", 1));
  SetBytes(MONITOR_PARAMETERS_KEY, VAL_ENABLE_BIND_REORDER, REG_BINARY, std::string(8, '\0'));
  portwarden_main(0, nullptr);
  EXPECT_EQ(debugFlag, 2);          // any type, fewer bytes
  EXPECT_EQ(EnableBindReorder, 1);  // longer than 4 bytes: unreadable
}

TEST_F(PortwardenTest, TraceGoesToStandardOutputWhenItsFileCannotBeOpened) {
  SetDword(MONITOR_PARAMETERS_KEY, VAL_DEBUG_FLAG, 1);
  std::filesystem::create_directories(root_.path() / "drive_c" / "portwarden.dbg");
  std::filesystem::path out = root_.path() / "stdout.txt";
  Child child(BuildDir() / "bin" / "portwarden", out);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.Wait(std::chrono::seconds(60)), 0);
  EXPECT_EQ(ReadFile(out),
            "DebugFlag= 1\n"
            "EnableBindReorder Flag= 1\n"
            "Unable to register with SCM , error 1063\n");
}

TEST_F(PortwardenTest, InstallationWithoutAServiceManagerFails) {
  TraceCapture trace;
  EXPECT_EQ(install_service(), 1);
  EXPECT_STREQ(service_path, "C:\\WINNT\\System32\\portwarden.exe");
  EXPECT_EQ(trace.text(),
            "Service path: C:\\WINNT\\System32\\portwarden.exe\n"
            "OpenSCManager failed! Error=0x6ba\n");
}

TEST_F(PortwardenTest, ShutdownPassIsSkippedWithoutTheServiceKey) {
  AddCard(1, 1);
  AddCard(2, 4);
  SetLinkage({1, 2});
  TraceCapture trace;
  shutdown_service();
  EXPECT_EQ(trace.text(),
            "shutdown_service\n"
            "Key ..\\Services\\portwarden does not exist. Shutdown services being skipped!\n"
            "shutdown_service end\n");
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN1\"", "\"TREVAN2\""}));

  RegCloseKey(CreateKey(MONITOR_SERVICE_KEY));
  shutdown_service();
  EXPECT_EQ(Linkage(VAL_ROUTE), Multi({"\"TREVAN2\"", "\"TREVAN1\""}));
}

TEST_F(PortwardenTest, ForegroundMonitorEndsAfterTwoThousandPasses) {
  AddCard(1, 1);
  SetLinkage({1});
  TraceCapture trace;
  std::atomic<bool> done{false};
  std::thread monitor([&] {
    monitor_linkage();
    done = true;
  });
  // A second writer under Services: every write the monitor waits for starts a pass. Writes
  // made while a pass runs fold into one notification, so the writer just keeps writing.
  DWORD writes = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(500);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    SetDword(SERVICES_KEY_SLASH "Writer", "Counter", ++writes);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!done) {
    // The monitor is stuck in a wait and its thread cannot be joined: fail loudly and end.
    ADD_FAILURE() << "the monitor did not end after " << writes << " writes";
    std::_Exit(1);
  }
  monitor.join();
  std::string text = trace.text();
  EXPECT_EQ(Count(text, "RegNotifyChangeKeyValue successful\n"), 2000u);
  EXPECT_EQ(Count(text, "adjust_backups()\n"), 2000u);
  const std::string last = "monitor_linkage exiting! Loop Count= 2001\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

// One write from outside gives exactly one pass: the pass's own writes (it rebuilds the linkage
// lists every time) end its second wait and start nothing. Each write below waits for the pass
// it started to end before the next is made, so passes started by anything but these writes
// would bring the monitor to its 2000-pass end long before 2000 writes were made.
TEST_F(PortwardenTest, EachOutsideWriteGivesOnePassAndThePassesOwnWritesNone) {
  AddCard(1, 1);
  AddCard(2, 4);
  SetLinkage({1, 2});
  const std::string woke = "RegNotifyChangeKeyValue successful\n";
  const std::string own_writes =
      "RegNotifyChangeKeyValue successful - due to Corvane Cleanup Services changes\n";
  TraceCapture trace;
  std::atomic<bool> done{false};
  std::thread monitor([&] {
    monitor_linkage();
    done = true;
  });
  auto stuck = [&](const std::string& what) {
    // The monitor is stuck in a wait and its thread cannot be joined: fail loudly and end.
    ADD_FAILURE() << what;
    std::_Exit(1);
  };
  // The first wait only sees changes made after it began, and nothing tells when that was: write
  // again, seconds apart, until the first pass has begun. At most the last of these writes can
  // fall after that pass's second wait, giving one pass more.
  DWORD writes = 0;
  while (trace.Count(woke) == 0) {
    SetDword(SERVICES_KEY_SLASH "Writer", "Counter", ++writes);
    if (!WaitFor([&] { return trace.Count(woke) > 0; }, std::chrono::seconds(2)) && writes > 30) {
      stuck("no pass after " + std::to_string(writes) + " writes");
    }
  }
  DWORD paced = 0;
  while (!done) {
    size_t passes = trace.Count(own_writes);
    SetDword(SERVICES_KEY_SLASH "Writer", "Counter", ++writes);
    ++paced;
    if (!WaitFor([&] { return done || trace.Count(own_writes) > passes; }, std::chrono::seconds(60),
                 std::chrono::milliseconds(1))) {
      stuck("write " + std::to_string(writes) + " started no pass, or its pass never ended");
    }
    if (paced > MONITOR_PASS_LIMIT + 2) stuck("the monitor did not end");
  }
  monitor.join();
  // 2000 passes: the first, at most one more from the writes before it, and one per paced write
  // (one of which may have fallen into that extra pass).
  EXPECT_GE(paced, static_cast<DWORD>(MONITOR_PASS_LIMIT - 2));
  EXPECT_EQ(trace.Count(woke), static_cast<size_t>(MONITOR_PASS_LIMIT));
  EXPECT_EQ(trace.Count(own_writes), static_cast<size_t>(MONITOR_PASS_LIMIT));
  EXPECT_EQ(trace.Count("monitor_linkage exiting! Loop Count= 2001\n"), 1u);
}

// The program in the foreground (no service key, no service manager): a write by another
// process starts a pass, whose effects appear in the hive.
TEST_F(PortwardenTest, ForegroundProgramAdjustsAfterAWriteByAnotherProcess) {
  AddCard(1, 1);
  AddCard(2, 4);
  AddCard(3, 1);
  SetDword(ParamsKey(3), VAL_PRIMARY_INDEX, 0);
  SetLinkage({1, 2});
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, Multi({"10.0.0.1"}));
  RegCloseKey(CreateKey(SNMP_EXTENSION_AGENTS_KEY));
  std::filesystem::path out = root_.path() / "stdout.txt";
  Child child(BuildDir() / "bin" / "portwarden", out);
  ASSERT_TRUE(child.started());

  std::string expected_route = Multi({"\"TREVAN2\"", "\"TREVAN1\"", "\"TREVAN3\""});
  DWORD writes = 0;
  EXPECT_TRUE(WaitFor([&] {
    SetDword(SERVICES_KEY_SLASH "Writer", "Counter", ++writes);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Linkage(VAL_ROUTE) == expected_route &&
           GetBytes(SNMP_EXTENSION_AGENTS_KEY, "2") != "<missing>";
  }));
  EXPECT_EQ(GetBytes(ParamsKey(1), VAL_IP_ADDRESS), std::string("10.0.0.1\0", 9));
  EXPECT_EQ(Linkage(VAL_BIND),
            Multi({"\\Device\\TREVAN2", "\\Device\\TREVAN1", "\\Device\\TREVAN3"}));
  EXPECT_FALSE(KeyExists(MONITOR_SERVICE_KEY));        // no service manager: not installed
  EXPECT_EQ(child.Wait(std::chrono::seconds(0)), -1);  // still watching
  EXPECT_EQ(ReadFile(out), "");                        // no Parameters key: no trace
}

}  // namespace
