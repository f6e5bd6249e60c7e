// The process's note of the commands that replace a window nobody can answer.
#include "pairway/unattended.h"

#include <mutex>

namespace pairway {
namespace {

std::mutex alternative_mutex;
std::string& Alternative() {
  static std::string text;
  return text;
}

}  // namespace

void SetUnattendedAlternative(const std::string& text) {
  std::lock_guard<std::mutex> lock(alternative_mutex);
  Alternative() = text;
}

std::string UnattendedAlternative() {
  std::lock_guard<std::mutex> lock(alternative_mutex);
  return Alternative();
}

}  // namespace pairway
