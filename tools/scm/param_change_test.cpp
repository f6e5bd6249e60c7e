// SendParamChange, as the setup tools use it after a change: a service that does not run is left
// alone without a fault, one that runs but refuses the control is a failure the caller reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "pairway/service_manager.h"
#include "scm_fixture.h"

namespace pairway::testing {
namespace {

bool Recorded(const TempRoot& root, const std::string& name, const std::string& line) {
  std::vector<std::string> events = ServiceEvents(root, name);
  return std::find(events.begin(), events.end(), line) != events.end();
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

}  // namespace
}  // namespace pairway::testing
