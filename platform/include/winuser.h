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

/* Message parameters, as window procedures and the dialog framework pass them. */
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef struct HICON__* HICON;
typedef struct HBITMAP__* HBITMAP;
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))

/* Window styles used in dialog templates. */
#define WS_TABSTOP 0x00010000L
#define WS_GROUP 0x00020000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_BORDER 0x00800000L
#define WS_DISABLED 0x08000000L

#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L

#define ES_LEFT 0x0000L
#define ES_READONLY 0x0800L
#define ES_AUTOHSCROLL 0x0080L
#define ES_NUMBER 0x2000L

#define LBS_SORT 0x0002L
#define LBS_MULTIPLESEL 0x0008L
#define LBS_NOINTEGRALHEIGHT 0x0100L
#define LBS_EXTENDEDSEL 0x0800L

#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_AUTOHSCROLL 0x0040L
#define CBS_SORT 0x0100L

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L

/* Notification codes, the high word of a WM_COMMAND's wParam. */
#define BN_CLICKED 0
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8

/* Results of list and combo box operations. */
#define LB_OKAY 0
#define LB_ERR (-1)
#define LB_ERRSPACE (-2)
#define CB_OKAY 0
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)

/* Standard dialog control ids besides IDOK and IDCANCEL. */
#define IDHELP 9
#define IDC_STATIC (-1)

/* ShowWindow commands. */
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

/* Answers to the dialog code query (WM_GETDLGCODE). */
#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTCHARS 0x0080

/* Virtual key codes the dialogs look at. */
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F4 0x73

#define WM_COMMAND 0x0111
#define WM_NOTIFY 0x004E

/* The header of a WM_NOTIFY notification: which control sent which code. */
typedef struct tagNMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
} NMHDR, *LPNMHDR;

/*
 * Sounds the system's sound for `uType` (MB_OK, MB_ICONQUESTION, ...; 0xFFFFFFFF the simple beep).
 * Implemented by the dialog framework (libpairway-ui), which hands it to its sink: a test records
 * the beep, a desktop hears it. Always TRUE.
 */
WINUSERAPI BOOL WINAPI MessageBeep(UINT uType);

PW_END_DECLS

#endif /* PAIRWAY_WINUSER_H */
