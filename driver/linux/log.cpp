// One line per event, to the daemon's log or standard error; see log.h.
#include "log.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "data_path.h"

namespace pairway::driver {
namespace {

std::mutex& SinkGuard() {
  static std::mutex guard;
  return guard;
}

std::function<void(const std::string&)>& Sink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

}  // namespace

void SetDataPathLog(std::function<void(const std::string&)> log) {
  std::lock_guard<std::mutex> lock(SinkGuard());
  Sink() = std::move(log);
}

void LogLine(std::string_view line) {
  std::lock_guard<std::mutex> lock(SinkGuard());
  if (Sink()) {
    Sink()(std::string(line));
    return;
  }
  const std::string whole = "trevan: " + std::string(line) + "\n";
  std::fwrite(whole.data(), 1, whole.size(), stderr);
  std::fflush(stderr);
}

}  // namespace pairway::driver
