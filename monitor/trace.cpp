// The monitor's trace writer; see trace.h.
#include "trace.h"

#include <stdarg.h>

int debugFlag = 0;
FILE* fp = stdout;

void dbg_printf(const char* format, ...) {
  if (debugFlag == 0) return;
  va_list args;
  va_start(args, format);
  vfprintf(fp, format, args);
  va_end(args);
  fflush(fp);
}
