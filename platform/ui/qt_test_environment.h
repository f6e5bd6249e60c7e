// qt_test_environment.h: makes the test program safe for Qt before any test runs: windows draw
// offscreen and Qt's run-time files go into a private folder that is removed afterwards.
#ifndef PAIRWAY_UI_QT_TEST_ENVIRONMENT_H
#define PAIRWAY_UI_QT_TEST_ENVIRONMENT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace pairway::ui::testing {

class QtOffscreenEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const char* tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/pairway-xdg-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {  // mkdtemp makes it mode 0700, as Qt wants
      runtime_dir_ = pattern;
      setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
    }
  }
  void TearDown() override {
    std::error_code ignored;
    if (!runtime_dir_.empty()) std::filesystem::remove_all(runtime_dir_, ignored);
  }

 private:
  std::string runtime_dir_;
};

// Registers the environment once per program, however many test files call it (from a
// namespace-scope initialiser).
inline bool RegisterQtOffscreenEnvironment() {
  static const bool registered =
      (::testing::AddGlobalTestEnvironment(new QtOffscreenEnvironment), true);
  return registered;
}

}  // namespace pairway::ui::testing

#endif  // PAIRWAY_UI_QT_TEST_ENVIRONMENT_H
