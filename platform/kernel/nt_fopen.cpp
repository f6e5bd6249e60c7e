// fopen for the system's own code: the C runtime shim (crt/stdio.h) renames its fopen calls to
// PairwayNtFopen. This file must not see the shim, or the fopen below would call itself.
#include <errno.h>
#include <stdio.h>

#include "pairway/machine_root.h"
#include "winerror.h"

extern "C" __attribute__((visibility("default"))) FILE* PairwayNtFopen(const char* nt_path,
                                                                       const char* mode) {
  std::filesystem::path host;
  if (nt_path == nullptr || mode == nullptr ||
      pairway::MapNtPath(nt_path, &host) != ERROR_SUCCESS) {
    errno = ENOENT;
    return nullptr;
  }
  return fopen(host.c_str(), mode);
}
