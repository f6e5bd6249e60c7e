// The kernel's string calls. NULL arguments are tolerated as on the platform: a NULL string has
// length 0 and sorts before every other; copies to or from NULL fail with NULL.
//
// lstrcmpA and lstrcmpiA compare byte by byte (ignoring ASCII case for the latter), which is what
// the system's names and keys need; the platform's locale-aware word sort is not reproduced.
#include <windows.h>

#include <strings.h>

#include <cstring>

namespace {

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

int CompareNulls(LPCSTR a, LPCSTR b) {
  if (a == nullptr && b == nullptr) return 0;
  return a == nullptr ? -1 : 1;
}

}  // namespace

int WINAPI lstrlenA(LPCSTR lpString) {
  return lpString == nullptr ? 0 : static_cast<int>(std::strlen(lpString));
}

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
  return std::strcpy(lpString1, lpString2);
}

// Copies at most iMaxLength - 1 characters and always terminates.
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  size_t n = strnlen(lpString2, static_cast<size_t>(iMaxLength - 1));
  std::memmove(lpString1, lpString2, n);
  lpString1[n] = '\0';
  return lpString1;
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
  return std::strcat(lpString1, lpString2);
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == nullptr || lpString2 == nullptr) return CompareNulls(lpString1, lpString2);
  return Sign(std::strcmp(lpString1, lpString2));
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  if (lpString1 == nullptr || lpString2 == nullptr) return CompareNulls(lpString1, lpString2);
  return Sign(strcasecmp(lpString1, lpString2));
}
