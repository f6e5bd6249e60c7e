// A stand-in for lodctr.exe and unlodctr.exe in the counter setup's tests. Appends one line to the
// host file $PAIRWAY_ROOT/tools.log:
//
//   COMMAND LINE | VALUES
//
// where COMMAND LINE is its arguments joined by blanks, the first as the caller named the program,
// and VALUES the names of the values the driver's Performance key holds at that moment, in their
// order, joined by commas. Ends with 0; 3 when the log cannot be written.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "registry_layout.h"

int main(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    line += argv[i];
  }
  std::string values;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DRIVER_PERFORMANCE_KEY, 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      if (i > 0) values += ',';
      values += name;
    }
    RegCloseKey(key);
  }
  const char* root = getenv("PAIRWAY_ROOT");
  if (root == nullptr) return 3;
  FILE* log = fopen((std::string(root) + "/tools.log").c_str(), "a");
  if (log == nullptr) return 3;
  fprintf(log, "%s | %s\n", line.c_str(), values.c_str());
  return fclose(log) == 0 ? 0 : 3;
}
