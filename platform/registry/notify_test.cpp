// Change notification and several processes on one hive.
#include <windows.h>

#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "registry_test_util.h"
#include "temp_root.h"

using namespace pairway::registry::testing;
using pairway::testing::BuildDir;
using pairway::testing::TempRoot;

namespace {

// Short enough for a test, long enough that a change that should wake a waiter always does.
constexpr DWORD kNoWakeMs = 300;

std::string Probe() { return (BuildDir() / "bin" / "tests" / "reg_probe").string(); }

// Starts the probe with `args` under popen and reads its pid. The shell prints its own pid and
// then becomes the probe (exec), so the pid line always comes before anything the probe writes.
// Returns 0 when no pid came: the caller must never kill(0), which would hit its own group.
pid_t StartProbe(const std::string& args, FILE** pipe) {
  *pipe = popen(("echo $$; exec " + Probe() + " " + args).c_str(), "r");
  if (*pipe == nullptr) return 0;
  char line[64];
  if (fgets(line, sizeof line, *pipe) == nullptr) return 0;
  long pid = strtol(line, nullptr, 10);
  return pid > 1 ? static_cast<pid_t>(pid) : 0;
}

// A child process whose standard output is read line by line.
class Child {
 public:
  explicit Child(const std::string& command) : pipe_(popen(command.c_str(), "r")) {}
  ~Child() {
    if (pipe_ != nullptr) pclose(pipe_);
  }
  std::string Line() {
    char line[256];
    if (pipe_ == nullptr || fgets(line, sizeof line, pipe_) == nullptr) return "";
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  int Close() {
    while (!Line().empty()) {
      // Read to the end: a child writing into a closed pipe would die of SIGPIPE.
    }
    FILE* pipe = pipe_;
    pipe_ = nullptr;
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  FILE* pipe_;
};

class NotifyTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

TEST_F(NotifyTest, AsynchronousWatchHonoursFilterAndSubtree) {
  HKEY services = CreateKey("SYSTEM\\Services");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_EQ(RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  // A new key is a name change: it does not wake a watch for values.
  HKEY port = CreateKey("SYSTEM\\Services\\TREVAN1\\Parameters");
  EXPECT_EQ(WaitForSingleObject(event, kNoWakeMs), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_EQ(SetNumber(port, "SlotNumber", 4), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);

  // Without the subtree only the key's own values count.
  ASSERT_EQ(RegNotifyChangeKeyValue(services, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  ASSERT_EQ(SetNumber(port, "BusNumber", 0), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, kNoWakeMs), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_EQ(SetNumber(services, "Own", 1), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);

  // A name watch wakes for a subkey created or deleted.
  ASSERT_EQ(RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_NAME, event, TRUE),
            ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(services, "TREVAN1\\Parameters"), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  RegCloseKey(port);

  // Closing the key ends a pending watch by signalling its event, so nobody sleeps on a watch
  // that can no longer fire.
  ASSERT_EQ(RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, kNoWakeMs), static_cast<DWORD>(WAIT_TIMEOUT));
  RegCloseKey(services);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  CloseHandle(event);
}

TEST_F(NotifyTest, DeletingTheWatchedKeyWakesAValueWatchOnIt) {
  HKEY key = CreateKey("SYSTEM\\Services\\Doomed");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\Services\\Doomed"), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE),
            ERROR_KEY_DELETED);
  RegCloseKey(key);
  CloseHandle(event);
}

TEST_F(NotifyTest, ArmedWatchReportsChangesMadeWhileTheCallerWasBusy) {
  HKEY key = CreateKey("SYSTEM\\Services");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  ASSERT_EQ(SetNumber(key, "first", 1), ERROR_SUCCESS);
  ASSERT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  // Busy: a change comes before the next call. That call returns at once.
  ASSERT_EQ(SetNumber(key, "second", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE),
            ERROR_SUCCESS);
  RegCloseKey(key);
  CloseHandle(event);
}

TEST_F(NotifyTest, SynchronousWaitWakesOnAWriteFromAnotherThreadAndOnClose) {
  HKEY key = CreateKey("SYSTEM\\Services");
  // The first call arms the watch as it starts waiting: write until the waiter is back.
  std::atomic<bool> woke{false};
  std::thread writer([&] {
    HKEY other = CreateKey("SYSTEM\\Services\\portwarden");
    for (DWORD i = 0; i < 500 && !woke; ++i) {
      SetNumber(other, "DebugFlag", i);
      Sleep(10);
    }
    RegCloseKey(other);
  });
  EXPECT_EQ(RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE),
            ERROR_SUCCESS);
  woke = true;
  writer.join();

  HKEY idle = CreateKey("SOFTWARE\\Idle");
  LONG result = -1;
  std::thread waiter([&] {
    result = RegNotifyChangeKeyValue(idle, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  RegCloseKey(idle);
  waiter.join();
  EXPECT_EQ(result, ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(NotifyTest, AChangeInOneProcessWakesAWaiterInAnother) {
  HKEY services = CreateKey("SYSTEM\\Services");
  RegCloseKey(services);
  Child waiter(Probe() + " wait SYSTEM\\\\Services");
  ASSERT_EQ(waiter.Line(), "armed");
  // The child arms its watch just after saying so: write until it wakes (bounded).
  std::thread writer([] {
    HKEY key = CreateKey("SYSTEM\\Services\\TREVAN2\\Parameters");
    for (DWORD i = 0; i < 200; ++i) {
      SetNumber(key, "AdapterIndex", i);
      Sleep(20);
      if (Read(key, "Stop") != "<error 2>") break;
    }
    RegCloseKey(key);
  });
  EXPECT_EQ(waiter.Line(), "woke");
  EXPECT_EQ(waiter.Close(), 0);
  HKEY stop = CreateKey("SYSTEM\\Services\\TREVAN2\\Parameters");
  SetNumber(stop, "Stop", 1);
  RegCloseKey(stop);
  writer.join();

  // And the other way round: this process waits, a child writes.
  HKEY key = CreateKey("SYSTEM\\Services");
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  Child setter(Probe() + " set SYSTEM\\\\Services\\\\TREVAN3 Title Port");
  EXPECT_EQ(setter.Close(), 0);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  RegCloseKey(key);
  CloseHandle(event);
}

TEST_F(NotifyTest, TwoProcessesWriteAtOnceAndNothingIsLost) {
  Child first(Probe() + " burst SOFTWARE\\\\Shared a 300");
  Child second(Probe() + " burst SOFTWARE\\\\Shared b 300");
  HKEY key = CreateKey("SOFTWARE\\Shared");
  for (DWORD i = 0; i < 300; ++i) SetNumber(key, ("c" + std::to_string(i)).c_str(), i);
  EXPECT_EQ(first.Close(), 0);
  EXPECT_EQ(second.Close(), 0);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 900u);
  RegCloseKey(key);
}

TEST_F(NotifyTest, AWriterKilledMidBurstLosesNoAcknowledgedWrite) {
  FILE* pipe = nullptr;
  pid_t child = StartProbe("burst SOFTWARE\\\\Crash v 100000", &pipe);
  ASSERT_NE(pipe, nullptr);
  ASSERT_GT(child, 0);
  char line[64];
  std::set<int> acknowledged;
  while (acknowledged.size() < 500 && fgets(line, sizeof line, pipe) != nullptr) {
    acknowledged.insert(atoi(line));
  }
  kill(child, SIGKILL);
  while (fgets(line, sizeof line, pipe) != nullptr) acknowledged.insert(atoi(line));
  pclose(pipe);
  ASSERT_GE(acknowledged.size(), 500u);

  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (int i : acknowledged) {
    DWORD value = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                               reinterpret_cast<LPBYTE>(&value), &size),
              ERROR_SUCCESS)
        << "acknowledged write " << i << " was lost";
    EXPECT_EQ(value, static_cast<DWORD>(i));
  }
  RegCloseKey(key);
}

// A process killed inside a write transaction leaves the hive unlocked: the next writer goes on,
// the dead transaction's write is gone, and what was committed before it stays.
TEST_F(NotifyTest, AWriterKilledInsideItsTransactionLeavesNoLockAndNoHalfWrite) {
  HKEY key = CreateKey("SOFTWARE\\Held");
  ASSERT_EQ(SetNumber(key, "committed", 7), ERROR_SUCCESS);
  FILE* pipe = nullptr;
  pid_t child = StartProbe("hold SOFTWARE\\\\Held uncommitted", &pipe);
  ASSERT_NE(pipe, nullptr);
  ASSERT_GT(child, 0);
  char line[64];
  ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
  EXPECT_STREQ(line, "holding\n");
  kill(child, SIGKILL);
  while (fgets(line, sizeof line, pipe) != nullptr) {
  }
  pclose(pipe);

  EXPECT_EQ(SetNumber(key, "after", 8), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "uncommitted"), "<error 2>");
  EXPECT_EQ(Read(key, "committed"), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(Read(key, "after"), std::string("\x08\0\0\0", 4));
  RegCloseKey(key);
}

}  // namespace
