// Which system the machine is: GetVersion, GetVersionExA and the system folders.
#include <windows.h>

#include <cstring>

#include "kernel/copy_out.h"
#include "pairway/machine_root.h"

namespace {

struct Version {
  DWORD major, minor, build, platform;
  const char* service_pack;
};

Version CurrentVersion() {
  if (pairway::CurrentOsFlavor() == pairway::OsFlavor::kWindows95) {
    return {4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, ""};
  }
  return {4, 0, 1381, VER_PLATFORM_WIN32_NT, "Service Pack 6"};
}

}  // namespace

DWORD WINAPI GetVersion(void) {
  Version v = CurrentVersion();
  DWORD high = v.build & 0x7FFF;
  if (v.platform != VER_PLATFORM_WIN32_NT) high |= 0x8000;
  return (high << 16) | (v.minor << 8) | v.major;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (lpVersionInformation == nullptr ||
      lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Version v = CurrentVersion();
  lpVersionInformation->dwMajorVersion = v.major;
  lpVersionInformation->dwMinorVersion = v.minor;
  lpVersionInformation->dwBuildNumber = v.build;
  lpVersionInformation->dwPlatformId = v.platform;
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
  std::strcpy(lpVersionInformation->szCSDVersion, v.service_pack);
  return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return pairway::CopyOut(pairway::SystemDirectoryNt(pairway::CurrentOsFlavor()), lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return pairway::CopyOut(pairway::WindowsDirectoryNt(pairway::CurrentOsFlavor()), lpBuffer, uSize);
}
