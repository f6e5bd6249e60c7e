// One line per event on standard error; see log.h.
#include "log.h"

#include <cstdio>
#include <string>

namespace pairway::driver {

void LogLine(std::string_view line) {
  // One write per line, so that lines of concurrent writers do not interleave.
  const std::string whole = "trevan: " + std::string(line) + "\n";
  std::fwrite(whole.data(), 1, whole.size(), stderr);
  std::fflush(stderr);
}

}  // namespace pairway::driver
