/*
 * trace.h: the monitor's diagnostic trace.
 *
 * Trace lines are written only while `debugFlag` is non-zero, to the stream `fp`, and the stream is
 * flushed after every write, so that a line survives even when the system goes down right after
 * it (the service's real work happens at shutdown). `fp` is standard output until the program
 * has read its parameters and, with the trace on, opened "\portwarden.dbg" for appending.
 *
 * Single-threaded by design: the service's two threads never trace at the same time (the
 * service thread only waits while the dispatcher thread works).
 */
#ifndef PORTWARDEN_TRACE_H
#define PORTWARDEN_TRACE_H

#include <stdio.h>

/* Non-zero: trace lines are written. Read from the "DebugFlag" parameter at start. */
extern int debugFlag;
/* Where trace lines go. Never closed: the process ends with it open. */
extern FILE* fp;

/* printf-style trace write; does nothing while debugFlag is 0. */
void dbg_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif /* PORTWARDEN_TRACE_H */
