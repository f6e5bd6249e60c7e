// MS-DOS device names: machine-wide, so they live in the root's run folder, one file per name.
//
// <run>/dosdevices/<NAME in upper case> holds the name's targets, newest first, one per line.
// Every change takes an exclusive lock on <run>/dosdevices/.lock, reads the file, and replaces it
// whole through a rename: two processes defining names at once both get their definitions, and
// a reader never sees a half-written list.
#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "devices/dos_devices.h"
#include "pairway/machine_root.h"

namespace pairway {
namespace {

namespace fs = std::filesystem;

bool ValidDeviceName(std::string_view name) {
  if (name.empty() || name.size() > 200 || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '\\' || c == '/' || static_cast<unsigned char>(c) < 0x20;
  });
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

fs::path DevicesDir(const fs::path& root) { return RunDir(root) / "dosdevices"; }

std::vector<std::string> ReadTargets(const fs::path& file) {
  std::vector<std::string> targets;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) targets.push_back(line);
  }
  return targets;
}

bool WriteTargets(const fs::path& file, const std::vector<std::string>& targets) {
  std::error_code ec;
  if (targets.empty()) {
    fs::remove(file, ec);
    return !ec;
  }
  const fs::path temporary = file.string() + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const std::string& target : targets) out << target << '\n';
    out.flush();
    if (!out) return false;
  }
  fs::rename(temporary, file, ec);
  return !ec;
}

// Holds the folder's lock for one change.
class DevicesLock {
 public:
  explicit DevicesLock(const fs::path& dir)
      : fd_(open((dir / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~DevicesLock() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock
  }
  DevicesLock(const DevicesLock&) = delete;
  DevicesLock& operator=(const DevicesLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Copies zero-terminated strings and the final zero; 0 with ERROR_INSUFFICIENT_BUFFER when the
// list does not fit.
DWORD CopyMultiString(const std::vector<std::string>& strings, LPSTR out, DWORD size) {
  size_t needed = 1;
  for (const std::string& text : strings) needed += text.size() + 1;
  if (out == nullptr || needed > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (const std::string& text : strings) {
    std::memcpy(out, text.c_str(), text.size() + 1);
    out += text.size() + 1;
  }
  *out = '\0';
  return static_cast<DWORD>(needed);
}

}  // namespace

std::vector<std::string> DosDeviceTargets(const fs::path& root, std::string_view name) {
  if (!ValidDeviceName(name)) return {};
  return ReadTargets(DevicesDir(root) / Upper(name));
}

}  // namespace pairway

using pairway::DevicesLock;

extern "C" BOOL WINAPI DefineDosDeviceA(DWORD dwFlags, LPCSTR lpDeviceName, LPCSTR lpTargetPath) {
  namespace fs = std::filesystem;
  if (lpDeviceName == nullptr || !pairway::ValidDeviceName(lpDeviceName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool remove = (dwFlags & DDD_REMOVE_DEFINITION) != 0;
  if (!remove && (lpTargetPath == nullptr || *lpTargetPath == '\0' ||
                  std::strpbrk(lpTargetPath, "\r\n") != nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::optional<fs::path> root = pairway::MachineRoot();
  if (!root) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const fs::path dir = pairway::DevicesDir(*root);
  std::error_code ec;
  fs::create_directories(dir, ec);
  DevicesLock lock(dir);
  if (!lock.held()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const fs::path file = dir / pairway::Upper(lpDeviceName);
  std::vector<std::string> targets = pairway::ReadTargets(file);
  std::string target;
  if (lpTargetPath != nullptr) {
    target = lpTargetPath;
    if ((dwFlags & DDD_RAW_TARGET_PATH) == 0) target = "\\??\\" + target;
  }
  if (remove) {
    auto it = targets.begin();
    if (lpTargetPath != nullptr && (dwFlags & DDD_EXACT_MATCH_ON_REMOVE) != 0) {
      it = std::find(targets.begin(), targets.end(), target);
    }
    if (it == targets.end()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    targets.erase(it);
  } else {
    targets.insert(targets.begin(), target);
  }
  if (!pairway::WriteTargets(file, targets)) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD WINAPI QueryDosDeviceA(LPCSTR lpDeviceName, LPSTR lpTargetPath, DWORD ucchMax) {
  namespace fs = std::filesystem;
  const std::optional<fs::path> root = pairway::MachineRoot();
  if (lpDeviceName == nullptr) {
    std::vector<std::string> names;
    std::error_code ec;
    if (root) {
      for (const auto& entry : fs::directory_iterator(pairway::DevicesDir(*root), ec)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != '.' && name.find(".tmp") == std::string::npos) names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    return pairway::CopyMultiString(names, lpTargetPath, ucchMax);
  }
  std::vector<std::string> targets;
  if (root) targets = pairway::DosDeviceTargets(*root, lpDeviceName);
  if (targets.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  return pairway::CopyMultiString(targets, lpTargetPath, ucchMax);
}
