// pairway-lodctr (lodctr.exe in the system directory): loads a driver's performance counter
// names and help texts from its definition file into the system's table.
//
//   lodctr.exe C:\WINNT\System32\perfctr.ini
//
// The file name is a path of the machine (an NT path, relative to the current directory when it
// has no drive). Exit status: 0 loaded, 1 not loaded (the message says why), 2 usage.
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <sstream>

#include "counter_names.h"
#include "pairway/machine_root.h"

int main(int argc, char** argv) {
  if (argc != 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "/?") == 0) {
    printf(
        "usage: lodctr FILE.ini\n"
        "  Loads the counter names and help texts that FILE.ini defines for its driver\n"
        "  ([info] drivername=, [languages], [text] SYMBOL_009_NAME= / SYMBOL_009_HELP=)\n"
        "  into the machine's counter table, after the highest index in use, and records\n"
        "  them in the driver's Performance key. Symbols take indexes in file order.\n");
    return argc == 2 ? 0 : 2;
  }
  pairway::MachineRootOrExit("lodctr");
  std::filesystem::path file;
  if (pairway::MapNtPath(argv[1], &file) != 0) {
    fprintf(stderr, "lodctr: %s is not a path of this machine\n", argv[1]);
    return 1;
  }
  std::ifstream in(file);
  if (!in) {
    fprintf(stderr, "lodctr: cannot open %s\n", argv[1]);
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  pairway::perf::Definition definition;
  std::string error;
  if (!pairway::perf::ParseDefinition(text.str(), &definition, &error) ||
      !pairway::perf::LoadCounters(definition, &error)) {
    fprintf(stderr, "lodctr: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  return 0;
}
