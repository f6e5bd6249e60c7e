// A library with setup procedures for the call verb's tests: one echoes its arguments, one
// answers its first argument as the result text, one fails, one leaves the result text unset.
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {
char echo[256];
char refused[] = "refused";
}  // namespace

// "N:first,second,..." for N arguments.
extern "C" __attribute__((visibility("default"))) BOOL EchoArguments(DWORD argc, LPSTR argv[],
                                                                     LPSTR* result) {
  int used = snprintf(echo, sizeof echo, "%u:", static_cast<unsigned>(argc));
  for (DWORD i = 0; i < argc && used < static_cast<int>(sizeof echo); ++i) {
    used += snprintf(echo + used, sizeof echo - used, i == 0 ? "%s" : ",%s", argv[i]);
  }
  *result = echo;
  return TRUE;
}

// The first argument, as a configuration procedure answers "0", "98" or "99".
extern "C" __attribute__((visibility("default"))) BOOL Answer(DWORD argc, LPSTR argv[],
                                                              LPSTR* result) {
  snprintf(echo, sizeof echo, "%s", argc > 0 ? argv[0] : "");
  *result = echo;
  return TRUE;
}

extern "C" __attribute__((visibility("default"))) BOOL Refuse(DWORD, LPSTR[], LPSTR* result) {
  *result = refused;
  return FALSE;
}

extern "C" __attribute__((visibility("default"))) BOOL Silent(DWORD, LPSTR[], LPSTR*) {
  return TRUE;
}
