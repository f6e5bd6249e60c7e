// libFuzzer target: resolve_var_bind on names and request types of any shape, against a machine
// of three emulated ports. Built by the "fuzz" preset only; see README.md beside it.
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "temp_root.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Removed when the fuzzer exits.
  static pairway::testing::TempRoot root;
  if (!mifsnmp_fuzz::SetUpMachine(root.path())) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mifsnmp_fuzz::RunOne(data, size);
  return 0;
}
