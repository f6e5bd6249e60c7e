// The path the running program was started by.
#include "kernel/program_path.h"

#include <sys/auxv.h>

#include <system_error>

namespace pairway {

std::filesystem::path ProgramPath() {
  // Computed once, at the first call: a later change of directory must not move the program.
  static const std::filesystem::path path = [] {
    std::error_code ec;
    const char* exec_name = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    std::filesystem::path result;
    if (exec_name != nullptr && *exec_name != '\0') {
      result = std::filesystem::absolute(exec_name, ec).lexically_normal();
    }
    if (ec || result.empty() || !std::filesystem::exists(result, ec)) {
      result = std::filesystem::read_symlink("/proc/self/exe", ec);
    }
    return result;
  }();
  return path;
}

}  // namespace pairway
