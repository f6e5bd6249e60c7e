// ctrsetup: installs and removes the TREVAN driver's performance counters.
//
// Installing registers the counter library in the driver's "Performance" key and loads the
// counter names and help texts with the system's lodctr from "perfctr.ini" in the system
// directory; removing unloads them with unlodctr and deletes the key. The network setup calls the
// two procedures by name with the setup procedure convention; each sets *result to "Success",
// text held by this library, whatever happened inside: the setup's scripts go on in any case.
#ifndef PAIRWAY_PERFSETUP_CTRSETUP_H
#define PAIRWAY_PERFSETUP_CTRSETUP_H

#include <windows.h>

extern "C" {
__declspec(dllexport) BOOL InstallTrevanPerformance(DWORD argc, LPSTR argv[], LPSTR* result);
__declspec(dllexport) BOOL RemoveTrevanPerformance(DWORD argc, LPSTR argv[], LPSTR* result);
}

#endif  // PAIRWAY_PERFSETUP_CTRSETUP_H
