// The two exported setup procedures; see ctrsetup.h. The work is in counter_setup.cpp.
#include "ctrsetup.h"

#include "counter_setup.h"

namespace {

// The result text the network setup reads; it stays the library's.
char success_text[] = "Success";

}  // namespace

BOOL InstallTrevanPerformance(DWORD, LPSTR[], LPSTR* result) {
  install_performance();
  if (result != NULL) *result = success_text;
  return TRUE;
}

BOOL RemoveTrevanPerformance(DWORD, LPSTR[], LPSTR* result) {
  remove_performance();
  if (result != NULL) *result = success_text;
  return TRUE;
}
