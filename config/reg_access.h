// reg_access.h: the eight registry calls under every operation of the configuration library.
//
// All keys are below HKEY_LOCAL_MACHINE and opened with full access. Every function returns 1 for
// success and 0 for failure. Reads and opens fail silently: a value that cannot be read is simply
// absent for the library. Writes and closes that fail are shown to the person at once (the
// system's text for the error, in the application's message box), because a configuration that
// silently did not reach the registry is worse than an interruption; the caller then goes on.
//
// Values are read into a 64-byte buffer, the size every name and number of the layout fits in:
// a longer value counts as missing.
#ifndef AGGCFG_REG_ACCESS_H
#define AGGCFG_REG_ACCESS_H

#include <windows.h>

#include <string>

// Size of the buffer every value is read into.
constexpr DWORD kRegReadBufferSize = 64;

// Opens `path` with KEY_ALL_ACCESS. On failure *key is set to NULL; no message.
int OpenRegKey(const char* path, HKEY* key);

// Closes a key opened by OpenRegKey. On failure: ShowLastError.
int CloseRegKey(HKEY key);

// Reads a value as text: the bytes up to the first zero byte, whatever the stored type. A value
// longer than 64 bytes, or 64 bytes without a zero among them (a text of 64 characters or more),
// counts as missing. *text is untouched on failure; no message.
int ReadRegText(HKEY key, const char* name, std::string* text);

// Reads a value as a number: its first four bytes, little-endian, whatever the stored type; bytes
// a shorter value does not have count as zero. A value longer than 64 bytes counts as missing.
// *number is untouched on failure; no message.
int ReadRegNumber(HKEY key, const char* name, DWORD* number);

// Stores a 4-byte number with `type` (REG_DWORD). On failure: ShowLastError.
int WriteRegNumber(HKEY key, const char* name, DWORD type, DWORD number);

// Stores `text` with its terminating zero (length + 1 bytes) with `type` (REG_SZ). On failure:
// ShowLastError.
int WriteRegText(HKEY key, const char* name, DWORD type, const char* text);

// Deletes a value; no message on failure.
int DeleteRegValue(HKEY key, const char* name);

// Shows the system's text for the calling thread's last error in a message box with an OK button
// and the exclamation icon, captioned with the application title.
void ShowLastError();

#endif  // AGGCFG_REG_ACCESS_H
