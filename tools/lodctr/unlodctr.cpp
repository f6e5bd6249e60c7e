// pairway-unlodctr (unlodctr.exe in the system directory): removes a driver's performance
// counter names and help texts from the system's table again.
//
//   unlodctr.exe TREVAN
//
// Exit status: 0 removed, 1 nothing to remove or the registry could not be written, 2 usage.
#include <stdio.h>
#include <string.h>

#include "counter_names.h"
#include "pairway/machine_root.h"

int main(int argc, char** argv) {
  if (argc != 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "/?") == 0) {
    printf(
        "usage: unlodctr DRIVER\n"
        "  Removes the counter names and help texts that lodctr loaded for DRIVER, and the\n"
        "  index values of the driver's Performance key.\n");
    return argc == 2 ? 0 : 2;
  }
  pairway::MachineRootOrExit("unlodctr");
  std::string error;
  if (!pairway::perf::UnloadCounters(argv[1], &error)) {
    fprintf(stderr, "unlodctr: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
