// The service's status reports as the service manager receives them: the start, the stop
// control, the answers to other controls, and a report the manager refuses, which ends the
// service. The manager's two calls are replaced in this program (linked with
// --wrap=RegisterServiceCtrlHandlerA --wrap=SetServiceStatus) by a recorder.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "portwarden.h"

namespace {

struct Report {
  DWORD state, accepted, exit_code, specific, check_point, wait_hint;
  bool operator==(const Report& o) const {
    return state == o.state && accepted == o.accepted && exit_code == o.exit_code &&
           specific == o.specific && check_point == o.check_point && wait_hint == o.wait_hint;
  }
};

std::string Describe(const Report& r) {
  return "state " + std::to_string(r.state) + ", accepts " + std::to_string(r.accepted) +
         ", exit " + std::to_string(r.exit_code) + "/" + std::to_string(r.specific) +
         ", check point " + std::to_string(r.check_point) + ", wait hint " +
         std::to_string(r.wait_hint);
}

std::ostream& operator<<(std::ostream& out, const Report& r) { return out << Describe(r); }

constexpr SERVICE_STATUS_HANDLE kStatusHandle = 0x5e7;

// What the recorder has seen, and which report it refuses (0-based; -1 none).
struct Manager {
  std::mutex mutex;
  bool armed = false;
  LPHANDLER_FUNCTION handler = nullptr;
  std::vector<Report> reports;
  int refuse = -1;
  DWORD refusal_error = ERROR_INVALID_HANDLE;
};
Manager manager;

}  // namespace

extern "C" SERVICE_STATUS_HANDLE __real_RegisterServiceCtrlHandlerA(LPCSTR, LPHANDLER_FUNCTION);
extern "C" BOOL __real_SetServiceStatus(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);

extern "C" SERVICE_STATUS_HANDLE __wrap_RegisterServiceCtrlHandlerA(LPCSTR name,
                                                                    LPHANDLER_FUNCTION handler) {
  std::lock_guard<std::mutex> lock(manager.mutex);
  if (!manager.armed) return __real_RegisterServiceCtrlHandlerA(name, handler);
  manager.handler = handler;
  return kStatusHandle;
}

extern "C" BOOL __wrap_SetServiceStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status) {
  std::lock_guard<std::mutex> lock(manager.mutex);
  if (!manager.armed) return __real_SetServiceStatus(handle, status);
  if (handle != kStatusHandle || status == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  int index = static_cast<int>(manager.reports.size());
  manager.reports.push_back({status->dwCurrentState, status->dwControlsAccepted,
                             status->dwWin32ExitCode, status->dwServiceSpecificExitCode,
                             status->dwCheckPoint, status->dwWaitHint});
  if (index == manager.refuse) {
    SetLastError(manager.refusal_error);
    return FALSE;
  }
  return TRUE;
}

namespace {

class ServiceStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard<std::mutex> lock(manager.mutex);
    manager.armed = true;
    manager.handler = nullptr;
    manager.reports.clear();
    manager.refuse = -1;
  }
  void TearDown() override {
    if (service_.joinable()) service_.join();
    std::lock_guard<std::mutex> lock(manager.mutex);
    manager.armed = false;
    service_status_handle = 0;
    terminate_event = nullptr;
  }

  void StartServiceThread() {
    service_ = std::thread([] { service_main(0, nullptr); });
  }
  std::vector<Report> Reports() {
    std::lock_guard<std::mutex> lock(manager.mutex);
    return manager.reports;
  }
  // Waits until `count` reports arrived; the limit only keeps a fault from hanging the run.
  bool WaitForReports(size_t count) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Reports().size() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  void Control(DWORD code) {
    LPHANDLER_FUNCTION handler;
    {
      std::lock_guard<std::mutex> lock(manager.mutex);
      handler = manager.handler;
    }
    ASSERT_NE(handler, nullptr);
    handler(code);
  }

  std::thread service_;
};

const DWORD kShutdownOnly = SERVICE_ACCEPT_SHUTDOWN;
const Report kStartPending{SERVICE_START_PENDING, 0, NO_ERROR, 0, 1, 5000};
const Report kRunning{SERVICE_RUNNING, kShutdownOnly, NO_ERROR, 0, 0, 0};

TEST_F(ServiceStatusTest, StartThenStopReportEachStepWithItsHints) {
  StartServiceThread();
  ASSERT_TRUE(WaitForReports(2));
  EXPECT_EQ(Reports(), (std::vector<Report>{kStartPending, kRunning}));

  // Controls other than stop and shutdown are answered with RUNNING and change nothing.
  const DWORD kOtherControls[] = {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE,
                                  SERVICE_CONTROL_CONTINUE, 0x80};
  for (DWORD code : kOtherControls) {
    Control(code);
  }
  EXPECT_EQ(Reports().size(), 6u);
  for (size_t i = 2; i < 6; ++i) EXPECT_EQ(Reports()[i], kRunning) << i;

  Control(SERVICE_CONTROL_STOP);
  service_.join();
  std::vector<Report> reports = Reports();
  ASSERT_EQ(reports.size(), 8u);
  EXPECT_EQ(reports[6], (Report{SERVICE_STOP_PENDING, kShutdownOnly, NO_ERROR, 0, 1, 5000}));
  EXPECT_EQ(reports[7], (Report{SERVICE_STOPPED, kShutdownOnly, NO_ERROR, 0, 0, 0}));
  EXPECT_EQ(terminate_event, nullptr);
}

TEST_F(ServiceStatusTest, RefusedRunningReportEndsTheServiceWithTheError) {
  {
    std::lock_guard<std::mutex> lock(manager.mutex);
    manager.refuse = 1;
    manager.refusal_error = ERROR_INVALID_HANDLE;
  }
  StartServiceThread();
  service_.join();  // ends by itself: nobody sends a control
  std::vector<Report> reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0], kStartPending);
  EXPECT_EQ(reports[1], kRunning);
  EXPECT_EQ(reports[2], (Report{SERVICE_STOPPED, kShutdownOnly, ERROR_INVALID_HANDLE, 0, 0, 0}));
  EXPECT_EQ(terminate_event, nullptr);
}

TEST_F(ServiceStatusTest, RefusedAnswerToAControlStopsARunningService) {
  StartServiceThread();
  ASSERT_TRUE(WaitForReports(2));
  {
    std::lock_guard<std::mutex> lock(manager.mutex);
    manager.refuse = 2;
  }
  Control(SERVICE_CONTROL_INTERROGATE);
  service_.join();
  std::vector<Report> reports = Reports();
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[2], kRunning);
  EXPECT_EQ(reports[3], (Report{SERVICE_STOPPED, kShutdownOnly, NO_ERROR, 0, 0, 0}));
}

TEST_F(ServiceStatusTest, ServiceSpecificCodeTurnsTheExitCodeIntoItsMarker) {
  service_status_handle = kStatusHandle;
  EXPECT_NE(send_status_to_SCM(SERVICE_STOPPED, NO_ERROR, 42, 0, 0), 0);
  EXPECT_NE(send_status_to_SCM(SERVICE_STOPPED, ERROR_ACCESS_DENIED, 0, 0, 0), 0);
  EXPECT_EQ(Reports(), (std::vector<Report>{
                           {SERVICE_STOPPED, kShutdownOnly, ERROR_SERVICE_SPECIFIC_ERROR, 42, 0, 0},
                           {SERVICE_STOPPED, kShutdownOnly, ERROR_ACCESS_DENIED, 0, 0, 0}}));
}

}  // namespace
