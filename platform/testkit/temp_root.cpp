#include "temp_root.h"

#include "pairway/machine_root.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <stdexcept>
#include <system_error>

namespace pairway::testing {
namespace {

std::filesystem::path FromEnvironment(const char* name) {
  const char* value = getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(name) + " is not set: run the tests through ctest");
  }
  return value;
}

}  // namespace

TempRoot::TempRoot() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/pairway-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
  if (const char* old = getenv("PAIRWAY_ROOT")) previous_root_ = old;
  setenv("PAIRWAY_ROOT", path_.c_str(), 1);
}

TempRoot::~TempRoot() {
  if (previous_root_) {
    setenv("PAIRWAY_ROOT", previous_root_->c_str(), 1);
  } else {
    unsetenv("PAIRWAY_ROOT");
  }
  if (getenv("PAIRWAY_KEEP_TEST_ROOTS") == nullptr) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

std::filesystem::path InstallInSystemDir(const TempRoot& root, const std::string& name,
                                         const std::filesystem::path& target) {
  bool win95 = RootOsFlavor(root.path()) == OsFlavor::kWindows95;
  std::filesystem::path dir =
      root.path() / "drive_c" / (win95 ? "WINDOWS/SYSTEM" : "WINNT/System32");
  std::filesystem::create_directories(dir);
  std::filesystem::create_symlink(target, dir / name);
  return dir / name;
}

std::filesystem::path BuildDir() { return FromEnvironment("PAIRWAY_BUILD_DIR"); }
std::filesystem::path SourceDir() { return FromEnvironment("PAIRWAY_SOURCE_DIR"); }

int RunCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    if (out != nullptr) out->append(buffer, n);
  }
  int status = pclose(pipe);
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace pairway::testing
