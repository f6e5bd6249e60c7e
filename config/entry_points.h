// entry_points.h: the procedures the network setup calls by name in the aggcfg library.
//
// Setup procedure convention: an argument count, an array of that many texts (the first is the
// card number of the port concerned, "0" for none; the rest are ignored) and the address of a text
// pointer. Each procedure returns TRUE and points the text pointer at the library's result buffer,
// a static text shared by all calls and valid until the library is unloaded.
//
// Each call builds its own registry model and frees it before it returns. Not for two threads at
// once: the application object and the result buffer are shared.
#ifndef AGGCFG_ENTRY_POINTS_H
#define AGGCFG_ENTRY_POINTS_H

#include <windows.h>

typedef BOOL(WINAPI* SETUP_PROCEDURE)(DWORD argument_count, LPSTR arguments[], LPSTR* result);

extern "C" {

// Shows the port aggregation sheet (the "Configuration" and "Status" pages) for port "TREVAN" +
// arguments[0] ("0": no particular port) and waits until it closes. Result text: "0" when the
// sheet ended with OK after at least one save, "98" when it was cancelled after one, "99" when
// nothing was saved. Saves are Apply and OK with changes, and the TCP/IP settings of ports that
// Add or Remove deleted at once. The statistics library "standbyag.dll" is loaded for the status
// page while the sheet is shown; without it the sheet opens all the same.
__declspec(dllexport) BOOL WINAPI
    TrevanConfig(DWORD argument_count, LPSTR arguments[], LPSTR* result);
// Asks for the connection types of new ports (CNewHardwareDlg): "0" names every port without a
// "ConnectionType" (listed as autodetect), any other card number that one port, listed only when
// it has a "ConnectionType". Result "0" when the dialog ended with OK; after Cancel "98" when
// Apply saved before, else "99".
__declspec(dllexport) BOOL WINAPI
    TrevanGetConnType(DWORD argument_count, LPSTR arguments[], LPSTR* result);

// Takes port "TREVAN" + arguments[0] out of its group before the setup removes its card (see
// CGroupsConfigApp::RemovePortLinks); "0" changes nothing. The result text is left as the buffer
// holds it, so the setup still sees the answer of the library's previous dialog.
__declspec(dllexport) BOOL WINAPI
    TrevanRemoveLinks(DWORD argument_count, LPSTR arguments[], LPSTR* result);
}

#endif  // AGGCFG_ENTRY_POINTS_H
