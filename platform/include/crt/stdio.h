/*
 * The C runtime's stdio.h as the hosted system sees it: fopen takes NT paths ("\\portwarden.dbg",
 * "c:\\testdll.txt") and maps them into the machine root. This folder is first on the include path
 * of the system's own code only; everything else in the process uses the host's fopen.
 */
#include_next <stdio.h>

#ifndef PAIRWAY_CRT_STDIO_H
#define PAIRWAY_CRT_STDIO_H

#ifdef __cplusplus
extern "C" {
#endif
/* fopen with an NT path; NULL with errno ENOENT when the path cannot be mapped. */
__attribute__((visibility("default"))) FILE* PairwayNtFopen(const char* nt_path, const char* mode);
#ifdef __cplusplus
}
#endif
#define fopen PairwayNtFopen

#endif /* PAIRWAY_CRT_STDIO_H */
