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

// Takes port "TREVAN" + arguments[0] out of its group before the setup removes its card (see
// CGroupsConfigApp::RemovePortLinks); "0" changes nothing. The result text is left as the buffer
// holds it, so the setup still sees the answer of the library's previous dialog.
__declspec(dllexport) BOOL WINAPI
    TrevanRemoveLinks(DWORD argument_count, LPSTR arguments[], LPSTR* result);
}

#endif  // AGGCFG_ENTRY_POINTS_H
