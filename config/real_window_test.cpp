// The configuration sheet as a real window on an X server of its own (Xvfb), opened by the
// network setup stand-in and answered with a real key press, as a person at a desktop does.
#define AGGCFG_TEST_FIXTURE
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "test_hive.h"

namespace aggcfg_test {
namespace {

namespace fs = std::filesystem;
using pairway::testing::RunCommand;

bool HaveProgram(const char* name) {
  return RunCommand(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

// Waits up to `seconds` for `done`, checking every 100 ms.
template <typename Condition>
bool WaitFor(Condition done, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A process started in the background by the shell; killed when the object goes.
class Background {
 public:
  // Runs `command` with its standard output in `output` and its standard error beside it
  // (".err"); false when it could not start.
  bool Start(const std::string& command, const fs::path& output, const fs::path& pid_file) {
    if (RunCommand("(" + command + ") >'" + output.string() + "' 2>'" + output.string() +
                   ".err' & echo $! >'" + pid_file.string() + "'") != 0) {
      return false;
    }
    pid_ = std::atoi(ReadFile(pid_file).c_str());
    return pid_ > 0;
  }
  bool Running() const { return pid_ > 0 && kill(pid_, 0) == 0 && !Zombie(); }
  ~Background() {
    if (pid_ > 0 && kill(pid_, 0) == 0) kill(pid_, SIGTERM);
  }

 private:
  // The shell that started the process has gone, so a finished process is reaped by init;
  // until then it may linger as a zombie, which counts as finished.
  bool Zombie() const {
    std::string stat = ReadFile("/proc/" + std::to_string(pid_) + "/stat");
    size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'Z';
  }
  int pid_ = 0;
};

class RealWindowTest : public ConfigTest {
 protected:
  fs::path Build(const char* tool) { return pairway::testing::BuildDir() / "bin" / tool; }
  // Files of the test's own, beside the machine's.
  fs::path Temp(const char* name) { return root_.path() / "real-window" / name; }
  void SetUp() override { fs::create_directories(Temp("xdg")); }
};

TEST_F(RealWindowTest, ConfigurationSheetOpensOnTheDesktopAndReturnAnswersOk) {
  if (!HaveProgram("Xvfb") || !HaveProgram("xdotool")) {
    GTEST_SKIP() << "no X server can be started here: Xvfb and xdotool are needed "
                    "(scripts/install-deps installs them)";
  }
  // The server picks a free display itself and writes its number once it accepts clients.
  Background server;
  ASSERT_TRUE(server.Start("exec Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>'" +
                               Temp("display").string() + "'",
                           Temp("xvfb.log"), Temp("xvfb.pid")));
  if (!WaitFor([&] { return ReadFile(Temp("display")).find('\n') != std::string::npos; }, 20)) {
    GTEST_SKIP() << "no X server can be started here: Xvfb did not come up ("
                 << ReadFile(Temp("xvfb.log.err")) << ")";
  }
  std::string display = ":" + std::to_string(std::atoi(ReadFile(Temp("display")).c_str()));

  std::string netsetup = "'" + Build("pairway-netsetup").string() + "'";
  ASSERT_EQ(RunCommand(netsetup + " init >/dev/null 2>&1"), 0);
  ASSERT_EQ(RunCommand(netsetup + " add-card >/dev/null 2>&1"), 0);
  fs::permissions(Temp("xdg"), fs::perms::owner_all);

  Background sheet;
  ASSERT_TRUE(sheet.Start("DISPLAY=" + display + " QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR='" +
                              Temp("xdg").string() + "' exec " + netsetup +
                              " call aggcfg.dll TrevanConfig 0",
                          Temp("sheet.out"), Temp("sheet.pid")));
  std::string xdotool = "DISPLAY=" + display + " xdotool ";
  std::string window;
  ASSERT_TRUE(WaitFor(
      [&] {
        window.clear();
        RunCommand(xdotool + "search --onlyvisible --name '^" AGGCFG_APP_TITLE "$' 2>/dev/null",
                   &window);
        return !window.empty();
      },
      30))
      << "no window titled " AGGCFG_APP_TITLE << ": " << ReadFile(Temp("sheet.out.err"));
  window = window.substr(0, window.find('\n'));
  // No window manager: raise and focus by hand, then type through XTEST as a keyboard does.
  EXPECT_EQ(RunCommand(xdotool + "windowraise " + window + " windowfocus " + window), 0);
  EXPECT_EQ(RunCommand(xdotool + "key Return"), 0);
  ASSERT_TRUE(WaitFor([&] { return !sheet.Running(); }, 30)) << "the sheet did not close";

  std::string out = ReadFile(Temp("sheet.out"));
  while (!out.empty() && out.back() == '\n') out.pop_back();
  EXPECT_EQ(out.substr(out.rfind('\n') + 1), "99") << out;
}

}  // namespace
}  // namespace aggcfg_test
