// Modules: LoadLibraryA, GetProcAddress, FreeLibrary, GetModuleFileNameA on the host's dlopen.
//
// An HMODULE is the dlopen handle of the library. The layer records the modules it loaded, with
// one reference per successful LoadLibraryA, so that a handle it never gave out (or one freed
// already) fails with ERROR_INVALID_HANDLE instead of crashing inside the host's loader.
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "kernel/copy_out.h"
#include "kernel/program_path.h"
#include "pairway/machine_root.h"

namespace fs = std::filesystem;

namespace {

std::mutex modules_mutex;
auto* modules = new std::map<void*, int>;  // dlopen handle -> references; guarded by the mutex

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// The host file for an NT name of a library: a path is mapped into the root; a bare name is
// looked for in the program's directory, then the system and Windows directories of the root
// (case-insensitively). Empty when no file is found.
fs::path FindLibrary(const std::string& name) {
  fs::path host;
  if (name.find_first_of("\\/:") != std::string::npos) {
    return pairway::MapNtPath(name, &host) == ERROR_SUCCESS && IsRegularFile(host) ? host
                                                                                   : fs::path();
  }
  fs::path program_dir = pairway::ProgramPath().parent_path();
  if (IsRegularFile(program_dir / name)) return program_dir / name;
  pairway::OsFlavor flavor = pairway::CurrentOsFlavor();
  for (const std::string& dir :
       {pairway::SystemDirectoryNt(flavor), pairway::WindowsDirectoryNt(flavor)}) {
    if (pairway::MapNtPath(dir + "\\" + name, &host) == ERROR_SUCCESS && IsRegularFile(host)) {
      return host;
    }
  }
  return {};
}

// A name without an extension gets ".dll"; a trailing '.' says "no extension" and is dropped.
std::string WithExtension(std::string name) {
  size_t last = name.find_last_of("\\/:");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (last != std::string::npos && dot < last)) return name + ".dll";
  if (dot == name.size() - 1) name.pop_back();
  return name;
}

bool IsLoaded(HMODULE module) {
  std::lock_guard lock(modules_mutex);
  return modules->count(module) != 0;
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr || *lpLibFileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name = WithExtension(lpLibFileName);
  fs::path host = FindLibrary(name);
  // Last, for a bare name only, the host's own library path, for libraries that are not part of
  // the machine. A name with a directory never reaches the host loader: "/usr/lib/x.so" is an NT
  // path of the root, not a way out of it.
  bool bare = name.find_first_of("\\/:") == std::string::npos;
  if (host.empty() && !bare) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* handle = dlopen(host.empty() ? name.c_str() : host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    SetLastError(host.empty() ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  std::lock_guard lock(modules_mutex);
  ++(*modules)[handle];
  return static_cast<HMODULE>(handle);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  {
    std::lock_guard lock(modules_mutex);
    auto it = modules->find(hLibModule);
    if (it == modules->end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (--it->second == 0) modules->erase(it);
  }
  dlclose(hLibModule);
  return TRUE;
}

// Only the module's own exports count: dlsym would also find the symbols of the libraries it
// depends on, which the platform's loader never does.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (!IsLoaded(hModule)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);  // ordinals are not supported
    return nullptr;
  }
  void* symbol = dlsym(hModule, lpProcName);
  link_map* module_map = nullptr;
  link_map* symbol_map = nullptr;
  Dl_info info{};
  if (symbol == nullptr || dlinfo(hModule, RTLD_DI_LINKMAP, &module_map) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&symbol_map), RTLD_DL_LINKMAP) == 0 ||
      symbol_map != module_map) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

// Truncates as the platform does: nSize - 1 characters and a terminator, returning nSize with
// ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  fs::path host;
  if (hModule == nullptr) {
    host = pairway::ProgramPath();
  } else {
    link_map* map = nullptr;
    if (!IsLoaded(hModule) || dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    host = map->l_name;
  }
  std::optional<std::string> nt = pairway::HostToNtPath(host);
  std::string name = nt ? *nt : host.string();
  if (lpFilename == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (name.size() >= nSize) {
    std::memcpy(lpFilename, name.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  return pairway::CopyOut(name, lpFilename, nSize);
}
