// SendParamChange, as the setup tools use it after a change: a service that does not run is left
// alone without a fault, one that runs but refuses the control is a failure the caller reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "pairway/service_manager.h"
#include "registry_layout.h"
#include "scm_fixture.h"

namespace pairway::testing {
namespace {

bool Recorded(const TempRoot& root, const std::string& name, const std::string& line) {
  std::vector<std::string> events = ServiceEvents(root, name);
  return std::find(events.begin(), events.end(), line) != events.end();
}

// How many parameter changes service `name` was told of.
long ParamChanges(const TempRoot& root, const std::string& name) {
  std::vector<std::string> events = ServiceEvents(root, name);
  return std::count(events.begin(), events.end(), "control 6");
}

bool StartService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  bool started = service != nullptr && StartServiceA(service, 0, nullptr);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return started && WaitFor([&] { return ServiceState(name) == SERVICE_RUNNING; });
}

bool StopService(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  bool sent = service != nullptr && ControlService(service, SERVICE_CONTROL_STOP, &status);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return sent && WaitFor([&] { return ServiceState(name) == SERVICE_STOPPED; });
}

// Runs a tool of the build; its exit status, *out gets standard output and error.
int Tool(const std::string& tool, const std::string& arguments, std::string* out = nullptr) {
  std::string ignored;
  if (out != nullptr) out->clear();
  return RunCommand((BuildDir() / "bin" / tool).string() + " " + arguments + " 2>&1 </dev/null",
                    out != nullptr ? out : &ignored);
}

TEST(ParamChange, NoManagerNoServiceAndAStoppedServiceAreNoFault) {
  TempRoot root;
  DWORD error = 0;
  EXPECT_EQ(SendParamChange("TREVAN", &error), ParamChange::kNoManager);
  EXPECT_EQ(error, static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  ScmDaemon daemon;
  ASSERT_TRUE(daemon.ok());
  EXPECT_EQ(SendParamChange("TREVAN", &error), ParamChange::kNoService);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  ASSERT_EQ(CreateTestService(root, "psvc", "normal"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(SendParamChange("psvc", &error), ParamChange::kNotRunning);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(SendParamChange("psvc", nullptr), ParamChange::kNotRunning);
}

TEST(ParamChange, ARunningServiceThatRefusesTheControlIsAFailure) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_TRUE(daemon.ok());
  // "normal" accepts stop, pause and shutdown, not a parameter change.
  ASSERT_EQ(CreateTestService(root, "psvc", "normal"), static_cast<DWORD>(ERROR_SUCCESS));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, "psvc", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(StartServiceA(service, 0, nullptr));
  ASSERT_TRUE(WaitFor([] { return ServiceState("psvc") == SERVICE_RUNNING; }));
  DWORD error = 0;
  EXPECT_EQ(SendParamChange("psvc", &error), ParamChange::kFailed);
  EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(Recorded(root, "psvc", "control 6"));
  SERVICE_STATUS status{};
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  EXPECT_TRUE(WaitFor([] { return ServiceState("psvc") == SERVICE_STOPPED; }));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

TEST(ParamChange, ARunningServiceThatAcceptsItIsTold) {
  TempRoot root;
  ScmDaemon daemon;
  ASSERT_TRUE(daemon.ok());
  ASSERT_EQ(CreateTestService(root, "psvc", "reread"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(StartService("psvc"));
  DWORD error = 1;
  EXPECT_EQ(SendParamChange("psvc", &error), ParamChange::kSent);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ParamChanges(root, "psvc"), 1);
  EXPECT_TRUE(StopService("psvc"));
}

// The setup tools against a driver TREVAN that records what it is told: every change written
// reaches it once; a dry run, a refusal and a procedure that saved nothing do not.
class SetupToolsTellTheDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Tool("pairway-netsetup", "init"), 0);
    ASSERT_EQ(Tool("pairway-netsetup", "add-card"), 0);
    ASSERT_EQ(Tool("pairway-netsetup", "add-card"), 0);
    ASSERT_EQ(Tool("pairwayctl", "port type 1 2 auto"), 0);
    InstallInSystemDir(root_, "tsvc.exe", BuildDir() / "bin/tests/scm_test_service");
    InstallInSystemDir(root_, "setupprobe.dll", BuildDir() / "lib/tests/setup_probe.so");
    // The driver's own service entry, pointed at the recording service.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, DRIVER_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    const char image[] = "C:\\WINNT\\System32\\tsvc.exe reread";
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD start = SERVICE_DEMAND_START;
    EXPECT_EQ(RegSetValueExA(key, "ImagePath", 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(image), sizeof image),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Type", 0, REG_DWORD, reinterpret_cast<BYTE*>(&type), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Start", 0, REG_DWORD, reinterpret_cast<BYTE*>(&start), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
    daemon_ = std::make_unique<ScmDaemon>();
    ASSERT_TRUE(daemon_->ok());
    ASSERT_TRUE(StartService(TREVAN_PRODUCT_NAME));
  }
  void TearDown() override {
    if (daemon_ && ServiceState(TREVAN_PRODUCT_NAME) == SERVICE_RUNNING) {
      StopService(TREVAN_PRODUCT_NAME);
    }
  }
  long Told() { return ParamChanges(root_, TREVAN_PRODUCT_NAME); }

  TempRoot root_;
  std::unique_ptr<ScmDaemon> daemon_;
};

TEST_F(SetupToolsTellTheDriver, PairwayctlAfterEachWrittenChangeOnly) {
  std::string out;
  ASSERT_EQ(Tool("pairwayctl", "--dry-run group create - 1 2", &out), 0) << out;
  ASSERT_EQ(Tool("pairwayctl", "group timeout Nothing 5", &out), 1) << out;
  EXPECT_EQ(Told(), 0);
  ASSERT_EQ(Tool("pairwayctl", "--yes group create - 1 2", &out), 0) << out;
  EXPECT_EQ(Told(), 1);
  EXPECT_EQ(out, "") << "telling the driver is quiet";
  ASSERT_EQ(Tool("pairwayctl", "--json group timeout Group1 3", &out), 0) << out;
  EXPECT_EQ(Told(), 2);
  EXPECT_NE(out.find("\"driver_notified\": true"), std::string::npos) << out;

  // A stopped driver is not told, and that is no fault: it reads the change at its start.
  ASSERT_TRUE(StopService(TREVAN_PRODUCT_NAME));
  ASSERT_EQ(Tool("pairwayctl", "--json group timeout Group1 4", &out), 0) << out;
  EXPECT_NE(out.find("\"driver_notified\": false"), std::string::npos) << out;
  EXPECT_EQ(out.find("could not be told"), std::string::npos) << out;
  EXPECT_EQ(Told(), 2);
}

TEST_F(SetupToolsTellTheDriver, NetsetupAfterAddressesRemovalsAndSavedConfigurations) {
  std::string out;
  ASSERT_EQ(Tool("pairway-netsetup", "set-ip 2 10.0.0.5/24", &out), 0) << out;
  EXPECT_EQ(out, "");
  EXPECT_EQ(Told(), 1);
  ASSERT_EQ(Tool("pairway-netsetup", "set-ip 2 10.0.0.5/40", &out), 1) << out;
  EXPECT_EQ(Told(), 1);
  // "0" and "98" are a saved configuration; "99" is none.
  ASSERT_EQ(Tool("pairway-netsetup", "call setupprobe.dll Answer 0", &out), 0) << out;
  EXPECT_EQ(Told(), 2);
  ASSERT_EQ(Tool("pairway-netsetup", "call setupprobe.dll Answer 98", &out), 0) << out;
  EXPECT_EQ(Told(), 3);
  ASSERT_EQ(Tool("pairway-netsetup", "call setupprobe.dll Answer 99", &out), 0) << out;
  ASSERT_EQ(Tool("pairway-netsetup", "call setupprobe.dll Answer 0x", &out), 0) << out;
  EXPECT_EQ(Told(), 3);
  ASSERT_EQ(Tool("pairway-netsetup", "remove-card 1", &out), 0) << out;
  EXPECT_EQ(Told(), 4);
}

}  // namespace
}  // namespace pairway::testing
