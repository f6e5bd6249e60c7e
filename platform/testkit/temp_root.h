// temp_root.h: a fresh machine root for one test.
//
// TempRoot makes an empty directory under $TMPDIR (or /tmp), points PAIRWAY_ROOT at it for the
// life of the object and removes it afterwards (unless PAIRWAY_KEEP_TEST_ROOTS is set, for
// looking at what a failed test left). The previous PAIRWAY_ROOT comes back on destruction.
// Not thread-safe: make one on the test's main thread before starting others.
#ifndef PAIRWAY_TESTKIT_TEMP_ROOT_H
#define PAIRWAY_TESTKIT_TEMP_ROOT_H

#include <filesystem>
#include <optional>
#include <string>

namespace pairway::testing {

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::optional<std::string> previous_root_;
};

// Links `name` in the root's system directory (drive_c/WINNT/System32, or drive_c/WINDOWS/SYSTEM
// when machine.conf already says "os=win95"; made when missing) to `target`, as installing a
// program or library into the machine does; returns the link's path.
std::filesystem::path InstallInSystemDir(const TempRoot& root, const std::string& name,
                                         const std::filesystem::path& target);

// The build tree the test runs from (bin/, lib/), from PAIRWAY_BUILD_DIR, which CTest sets.
std::filesystem::path BuildDir();
// The source tree, from PAIRWAY_SOURCE_DIR.
std::filesystem::path SourceDir();

// Runs a shell command, returns its exit status (-1 when it could not run) and, when out is
// given, what it printed on standard output.
int RunCommand(const std::string& command, std::string* out = nullptr);

}  // namespace pairway::testing

#endif  // PAIRWAY_TESTKIT_TEMP_ROOT_H
