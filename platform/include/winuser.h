/*
 * winuser.h: the few user-interface library calls that code outside the dialog framework uses.
 */
#ifndef PAIRWAY_WINUSER_H
#define PAIRWAY_WINUSER_H

#include <stdarg.h>

#include "windef.h"

PW_BEGIN_DECLS

/*
 * The platform's formatter: %s %c %d %i %u %x %X %lu %ld %lx with flags '-', '0', width and
 * precision (no floating point, no '*'). The output, terminator included, never exceeds 1024
 * bytes, as on the platform. Returns the number of characters stored without the terminator.
 */
WINUSERAPI int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFormat, va_list arglist);
WINUSERAPI int __cdecl wsprintfA(LPSTR lpOutput, LPCSTR lpFormat, ...);

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONSTOP MB_ICONHAND
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

/* Help commands (the data argument of HELP_CONTEXT is the topic's context number). */
#define HELP_CONTEXT 0x0001L
#define HELP_QUIT 0x0002L
#define HELP_INDEX 0x0003L

PW_END_DECLS

#endif /* PAIRWAY_WINUSER_H */
