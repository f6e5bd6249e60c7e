// The environment as the system sees it: names compare without regard to case, and SystemRoot is
// always defined (the Windows directory of the root) unless the process set it itself.
#include <windows.h>

#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "kernel/copy_out.h"
#include "pairway/machine_root.h"

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<std::string> Lookup(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos) return std::nullopt;
  std::string key(name);
  if (const char* exact = getenv(key.c_str())) return std::string(exact);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    size_t eq = text.find('=');
    if (eq != std::string_view::npos && EqualsNoCase(text.substr(0, eq), name)) {
      return std::string(text.substr(eq + 1));
    }
  }
  if (EqualsNoCase(name, "SystemRoot")) {
    return pairway::WindowsDirectoryNt(pairway::CurrentOsFlavor());
  }
  return std::nullopt;
}

}  // namespace

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  std::optional<std::string> value = lpName == nullptr ? std::nullopt : Lookup(lpName);
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  return pairway::CopyOut(*value, lpBuffer, nSize);
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
  if (lpName == nullptr || *lpName == '\0' ||
      std::string_view(lpName).find('=') != std::string_view::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int result = lpValue == nullptr ? unsetenv(lpName) : setenv(lpName, lpValue, 1);
  if (result != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

// %NAME% is replaced by the variable's value; an unknown name or a lone '%' stays as written.
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
  if (lpSrc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string_view source(lpSrc);
  std::string result;
  size_t pos = 0;
  while (pos < source.size()) {
    size_t open = source.find('%', pos);
    size_t close = open == std::string_view::npos ? open : source.find('%', open + 1);
    if (close == std::string_view::npos) break;
    result.append(source.substr(pos, open - pos));
    std::optional<std::string> value = Lookup(source.substr(open + 1, close - open - 1));
    if (value) {
      result += *value;
      pos = close + 1;
    } else {
      result += '%';  // the closing '%' may open the next name
      pos = open + 1;
      result.append(source.substr(pos, close - pos));
      pos = close;
    }
  }
  result.append(source.substr(pos < source.size() ? pos : source.size()));
  // The platform counts the terminator in both cases.
  DWORD needed = static_cast<DWORD>(result.size() + 1);
  if (lpDst != nullptr && nSize >= needed) std::memcpy(lpDst, result.c_str(), needed);
  return needed;
}
