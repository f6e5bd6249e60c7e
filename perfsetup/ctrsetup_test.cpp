// The counter setup procedures, called as the network setup calls them: the library loaded from
// the machine's system directory, with the real lodctr and unlodctr stand-ins beside it.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "counter_setup.h"
#include "registry_layout.h"
#include "temp_root.h"

// The core linked into this program reaches GetSystemDirectoryA through this wrapper (linked with
// --wrap=GetSystemDirectoryA), so that a test can take the system directory away.
namespace {
bool system_directory_unavailable = false;
}  // namespace

extern "C" UINT __real_GetSystemDirectoryA(LPSTR buffer, UINT size);
extern "C" UINT __wrap_GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (system_directory_unavailable) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  return __real_GetSystemDirectoryA(buffer, size);
}

namespace {

using pairway::testing::BuildDir;
using pairway::testing::InstallInSystemDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;

typedef BOOL (*SetupProcedure)(DWORD, LPSTR*, LPSTR*);

const char kPerflib[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib";

class CtrSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallInSystemDir(root_, "ctrsetup.dll", BuildDir() / "lib" / "ctrsetup.so");
    InstallInSystemDir(root_, "perfctr.ini", BuildDir() / "lib" / "perfctr.ini");
    HKEY driver;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, DRIVER_SERVICE_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &driver, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(driver);
  }
  void TearDown() override {
    if (library_ != nullptr) FreeLibrary(library_);
  }

  void InstallTools() {
    InstallInSystemDir(root_, "lodctr.exe", BuildDir() / "bin" / "pairway-lodctr");
    InstallInSystemDir(root_, "unlodctr.exe", BuildDir() / "bin" / "pairway-unlodctr");
  }

  std::string Call(const char* procedure) {
    if (library_ == nullptr) library_ = LoadLibraryA("ctrsetup.dll");
    if (library_ == nullptr) return "<no library>";
    auto entry = reinterpret_cast<SetupProcedure>(GetProcAddress(library_, procedure));
    if (entry == nullptr) return "<no procedure>";
    char arg0[] = "0";
    LPSTR args[] = {arg0};
    LPSTR result = nullptr;
    if (entry(1, args, &result) != TRUE || result == nullptr) return "<failed>";
    return result;
  }

  // A value as stored, or "" when missing.
  static std::string Value(const char* key_path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
    char data[8192];
    DWORD size = sizeof data;
    LONG error =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(data), &size);
    RegCloseKey(key);
    return error == ERROR_SUCCESS ? std::string(data, size) : "";
  }
  static DWORD Number(const char* key_path, const char* name) {
    std::string data = Value(key_path, name);
    DWORD number = 0;
    if (data.size() == 4) memcpy(&number, data.data(), 4);
    return number;
  }
  static bool KeyExists(const char* key_path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS)
      return false;
    RegCloseKey(key);
    return true;
  }

  TempRoot root_;
  HMODULE library_ = nullptr;
};

TEST_F(CtrSetupTest, InstallOnAFreshMachineRegistersTheLibraryAndLoadsTheNames) {
  InstallTools();
  EXPECT_EQ(Call("InstallTrevanPerformance"), "Success");
  EXPECT_EQ(Value(DRIVER_PERFORMANCE_KEY, "Open"), std::string("OpenPerformanceData\0", 20));
  EXPECT_EQ(Value(DRIVER_PERFORMANCE_KEY, "Close"), std::string("ClosePerformanceData\0", 21));
  EXPECT_EQ(Value(DRIVER_PERFORMANCE_KEY, "Collect"), std::string("CollectPerformanceData\0", 23));
  EXPECT_EQ(Value(DRIVER_PERFORMANCE_KEY, "Library"), std::string("standbyag.dll\0", 14));
  // Seven texts after the system's first object (index 2): names 4..16, help 5..17.
  EXPECT_EQ(Number(DRIVER_PERFORMANCE_KEY, "First Counter"), 4u);
  EXPECT_EQ(Number(DRIVER_PERFORMANCE_KEY, "Last Counter"), 16u);
  EXPECT_EQ(Number(DRIVER_PERFORMANCE_KEY, "First Help"), 5u);
  EXPECT_EQ(Number(DRIVER_PERFORMANCE_KEY, "Last Help"), 17u);
  EXPECT_EQ(Number(kPerflib, "Last Counter"), 16u);
  std::string names = Value((std::string(kPerflib) + "\\009").c_str(), "Counter");
  EXPECT_NE(names.find(std::string("4\0Trevan Port\0", 14)), std::string::npos);
  EXPECT_NE(names.find(std::string("16\0Failovers\0", 13)), std::string::npos);
}

TEST_F(CtrSetupTest, InstallingTwiceUnloadsFirstSoNamesDoNotPileUp) {
  InstallTools();
  ASSERT_EQ(Call("InstallTrevanPerformance"), "Success");
  std::string names_once = Value((std::string(kPerflib) + "\\009").c_str(), "Counter");
  ASSERT_EQ(Call("InstallTrevanPerformance"), "Success");
  EXPECT_EQ(Value((std::string(kPerflib) + "\\009").c_str(), "Counter"), names_once);
  EXPECT_EQ(Number(DRIVER_PERFORMANCE_KEY, "First Counter"), 4u);
  EXPECT_EQ(Number(kPerflib, "Last Counter"), 16u);
}

TEST_F(CtrSetupTest, InstallingAgainReloadsTheNamesBehindThoseLoadedSince) {
  InstallTools();
  ASSERT_EQ(Call("InstallTrevanPerformance"), "Success");
  // Another driver's names arrive behind ours (index 18).
  HKEY other;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY_SLASH "OTHER", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &other, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(other);
  std::filesystem::create_directories(root_.path() / "drive_c");
  std::ofstream(root_.path() / "drive_c" / "other.ini")
      << "[info]\ndrivername=OTHER\n[languages]\n009=English\n[text]\n"
         "OBJ_009_NAME=Other\nOBJ_009_HELP=Other help.\n";
  ASSERT_EQ(RunCommand((BuildDir() / "bin" / "pairway-lodctr").string() + " 'C:\\other.ini'"), 0);

  ASSERT_EQ(Call("InstallTrevanPerformance"), "Success");
  // Only an unload before the load frees the old indexes and lets lodctr take new ones.
  EXPECT_EQ(Number(DRIVER_PERFORMANCE_KEY, "First Counter"), 20u);
  EXPECT_EQ(Number(DRIVER_PERFORMANCE_KEY, "Last Counter"), 32u);
  std::string names = Value((std::string(kPerflib) + "\\009").c_str(), "Counter");
  EXPECT_EQ(names.find("Trevan Port"), names.rfind("Trevan Port"));
  EXPECT_NE(names.find(std::string("18\0Other\0", 9)), std::string::npos);
}

TEST_F(CtrSetupTest, RemoveUnloadsTheNamesAndDeletesTheKey) {
  InstallTools();
  ASSERT_EQ(Call("InstallTrevanPerformance"), "Success");
  EXPECT_EQ(Call("RemoveTrevanPerformance"), "Success");
  EXPECT_FALSE(KeyExists(DRIVER_PERFORMANCE_KEY));
  EXPECT_TRUE(KeyExists(DRIVER_SERVICE_KEY));
  EXPECT_EQ(Number(kPerflib, "Last Counter"), 2u);
  EXPECT_EQ(Number(kPerflib, "Last Help"), 3u);
  std::string names = Value((std::string(kPerflib) + "\\009").c_str(), "Counter");
  EXPECT_EQ(names.find("Trevan"), std::string::npos);
}

TEST_F(CtrSetupTest, RemoveWithNothingInstalledStillSucceeds) {
  InstallTools();
  EXPECT_EQ(Call("RemoveTrevanPerformance"), "Success");
  EXPECT_FALSE(KeyExists(DRIVER_PERFORMANCE_KEY));
  EXPECT_FALSE(KeyExists(kPerflib));  // no tool ran
}

TEST_F(CtrSetupTest, WithoutTheToolsInstallStillSucceedsAndLoadsNothing) {
  EXPECT_EQ(Call("InstallTrevanPerformance"), "Success");
  EXPECT_EQ(Value(DRIVER_PERFORMANCE_KEY, "Library"), std::string("standbyag.dll\0", 14));
  EXPECT_EQ(Value(DRIVER_PERFORMANCE_KEY, "First Counter"), "");
  EXPECT_FALSE(KeyExists(kPerflib));
  EXPECT_EQ(Call("RemoveTrevanPerformance"), "Success");
  EXPECT_FALSE(KeyExists(DRIVER_PERFORMANCE_KEY));
}

// The tools replaced by a recorder: each run leaves a line with its command line and the values
// the Performance key held while it ran.
class CommandLineTest : public CtrSetupTest {
 protected:
  void SetUp() override {
    CtrSetupTest::SetUp();
    std::filesystem::path recorder = BuildDir() / "bin" / "tests" / "ctrsetup_tool_recorder";
    InstallInSystemDir(root_, "lodctr.exe", recorder);
    InstallInSystemDir(root_, "unlodctr.exe", recorder);
    char dir[MAX_PATH];
    ASSERT_GT(__real_GetSystemDirectoryA(dir, sizeof dir), 0u);
    system_dir_ = dir;
  }
  void TearDown() override {
    system_directory_unavailable = false;
    CtrSetupTest::TearDown();
  }
  // What lodctr writes: its presence says names are loaded.
  static void MarkLoaded() {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, DRIVER_PERFORMANCE_KEY, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD first = 4;
    RegSetValueExA(key, "First Counter", 0, REG_DWORD, reinterpret_cast<BYTE*>(&first), 4);
    RegCloseKey(key);
  }
  // The lines the tools left since the last call, and forgets them.
  std::vector<std::string> Runs() {
    std::filesystem::path log = root_.path() / "tools.log";
    std::vector<std::string> lines;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    in.close();
    std::filesystem::remove(log);
    return lines;
  }

  std::string system_dir_;
};

TEST_F(CommandLineTest, FirstInstallLoadsOnceAfterTheFourValuesInTheirOrder) {
  EXPECT_EQ(Call("InstallTrevanPerformance"), "Success");
  // No unload: nothing was loaded before.
  EXPECT_EQ(Runs(), (std::vector<std::string>{system_dir_ + "\\lodctr.exe " + system_dir_ +
                                              "\\perfctr.ini | Open,Close,Collect,Library"}));
}

TEST_F(CommandLineTest, LoadedNamesAreUnloadedBeforeTheInstallAndTheRemoval) {
  MarkLoaded();
  EXPECT_EQ(Call("InstallTrevanPerformance"), "Success");
  std::string unload = system_dir_ + "\\unlodctr.exe TREVAN";
  EXPECT_EQ(Runs(), (std::vector<std::string>{
                        unload + " | First Counter",
                        system_dir_ + "\\lodctr.exe " + system_dir_ +
                            "\\perfctr.ini | First Counter,Open,Close,Collect,Library"}));
  EXPECT_EQ(Call("RemoveTrevanPerformance"), "Success");
  // The names go while the key still says where they came from.
  EXPECT_EQ(Runs(),
            (std::vector<std::string>{unload + " | First Counter,Open,Close,Collect,Library"}));
  EXPECT_FALSE(KeyExists(DRIVER_PERFORMANCE_KEY));
  EXPECT_EQ(Call("RemoveTrevanPerformance"), "Success");
  EXPECT_TRUE(Runs().empty()) << "nothing loaded, nothing to unload";
}

TEST_F(CommandLineTest, WithoutTheSystemDirectoryTheToolsAreNamedBare) {
  system_directory_unavailable = true;
  install_performance();
  EXPECT_EQ(Runs(),
            (std::vector<std::string>{"lodctr.exe perfctr.ini | Open,Close,Collect,Library"}));
  MarkLoaded();
  remove_performance();
  EXPECT_EQ(
      Runs(),
      (std::vector<std::string>{"unlodctr.exe TREVAN | Open,Close,Collect,Library,First Counter"}));
  EXPECT_FALSE(KeyExists(DRIVER_PERFORMANCE_KEY));
}

}  // namespace
