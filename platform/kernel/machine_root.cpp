// The machine root: where the machine lives on the host, and NT paths mapped into it.
//
// Sections: the root and its folders; machine.conf; NT path -> host path; host path -> NT path.
#include "pairway/machine_root.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace pairway {
namespace {

// Room kept for a socket's own name below the run folder, within sockaddr_un's 108 bytes.
constexpr size_t kSocketNameRoom = 24;
constexpr size_t kSunPathSize = 108;

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 1469598103934665603ull;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// A folder for sockets that only we may use: made with mode 0700, or, when it exists, a real
// directory (not a link) owned by us. Anything else could be another user's trap.
bool MakePrivateDir(const fs::path& dir) {
  if (mkdir(dir.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

// ---- The root and its folders ------------------------------------------------------------------

std::optional<fs::path> MachineRoot() {
  const char* value = getenv("PAIRWAY_ROOT");
  if (value == nullptr || *value == '\0') return std::nullopt;
  std::error_code ec;
  fs::path root = fs::absolute(value, ec);
  if (ec) return std::nullopt;
  root = root.lexically_normal();
  if (!root.has_filename() && root != root.root_path()) root = root.parent_path();
  return root;
}

fs::path MachineRootOrExit(const char* program) {
  std::optional<fs::path> root = MachineRoot();
  if (!root) {
    fprintf(stderr,
            "%s: no machine root: set PAIRWAY_ROOT to the machine's directory "
            "(for example PAIRWAY_ROOT=$PWD/machine)\n",
            program);
    exit(kNoMachineRootExitCode);
  }
  return *root;
}

fs::path HivePath(const fs::path& root) { return root / "registry.db"; }

fs::path RunDir(const fs::path& root) { return root / "run"; }

fs::path SocketDir(const fs::path& root) {
  fs::path run = RunDir(root);
  if (run.native().size() + 1 + kSocketNameRoom < kSunPathSize) {
    std::error_code ec;
    fs::create_directories(run, ec);
    if (ec) return {};
    return run;
  }
  char name[64];
  snprintf(name, sizeof name, "pairway-%u-%016llx", static_cast<unsigned>(geteuid()),
           static_cast<unsigned long long>(Fnv1a(root.native())));
  fs::path dir = fs::path("/tmp") / name;
  return MakePrivateDir(dir) ? dir : fs::path();
}

fs::path DriveDir(const fs::path& root, char drive_letter) {
  return root / (std::string("drive_") + Lower(drive_letter));
}

// ---- machine.conf
// --------------------------------------------------------------------------------

std::optional<std::string> RootSetting(const fs::path& root, std::string_view key) {
  std::ifstream conf(root / "machine.conf");
  std::string line;
  std::optional<std::string> found;
  while (std::getline(conf, line)) {
    size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    auto trim = [](std::string s) {
      size_t begin = s.find_first_not_of(" \t\r");
      size_t end = s.find_last_not_of(" \t\r");
      return begin == std::string::npos ? std::string() : s.substr(begin, end - begin + 1);
    };
    if (EqualsNoCase(trim(line.substr(0, eq)), key)) found = trim(line.substr(eq + 1));
  }
  return found;  // the last line for a key wins
}

OsFlavor RootOsFlavor(const fs::path& root) {
  std::optional<std::string> os = RootSetting(root, "os");
  return os && EqualsNoCase(*os, "win95") ? OsFlavor::kWindows95 : OsFlavor::kWindowsNt4;
}

OsFlavor CurrentOsFlavor() {
  std::optional<fs::path> root = MachineRoot();
  return root ? RootOsFlavor(*root) : OsFlavor::kWindowsNt4;
}

std::string WindowsDirectoryNt(OsFlavor flavor) {
  return flavor == OsFlavor::kWindows95 ? "C:\\WINDOWS" : "C:\\WINNT";
}

std::string SystemDirectoryNt(OsFlavor flavor) {
  return flavor == OsFlavor::kWindows95 ? "C:\\WINDOWS\\SYSTEM" : "C:\\WINNT\\System32";
}

// ---- NT path -> host path
// ------------------------------------------------------------------------

namespace {

// An NT path taken apart: its drive and its components after "." and ".." are resolved.
struct NtPath {
  char drive = 'c';
  std::vector<std::string> parts;
};

// The process's NT current directory: the host one when it lies in a drive of the root, else C:\.
NtPath CurrentDirectory() {
  NtPath current;
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  std::optional<std::string> nt = ec ? std::nullopt : HostToNtPath(cwd);
  if (!nt) return current;
  current.drive = Lower((*nt)[0]);
  std::string rest = nt->substr(3);
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    current.parts.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return current;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Characters no NT file name may hold (':' only after a drive letter).
bool HasBadCharacter(std::string_view component) {
  for (char c : component) {
    if (c == '\0' || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' ||
        c == '*' || static_cast<unsigned char>(c) < 0x20) {
      return true;
    }
  }
  return false;
}

// Replaces a leading %SystemRoot% or \SystemRoot\ by the Windows directory of the root.
std::string ExpandSystemRoot(std::string_view nt_path, const fs::path& root) {
  std::string windows = WindowsDirectoryNt(RootOsFlavor(root));
  for (std::string_view prefix : {"%SystemRoot%", "\\SystemRoot"}) {
    if (StartsWithNoCase(nt_path, prefix) &&
        (nt_path.size() == prefix.size() || IsSeparator(nt_path[prefix.size()]))) {
      return windows + std::string(nt_path.substr(prefix.size()));
    }
  }
  return std::string(nt_path);
}

// Parses `text` (SystemRoot already expanded) against the current directory.
DWORD ParseNtPath(std::string_view text, NtPath* out) {
  if (text.empty()) return ERROR_INVALID_NAME;
  if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) return ERROR_INVALID_NAME;
  NtPath path;
  if (text.size() >= 2 && text[1] == ':') {
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return ERROR_INVALID_NAME;
    path.drive = Lower(text[0]);
    text.remove_prefix(2);  // "C:name" is taken from the drive's root, as there is one directory
  } else if (IsSeparator(text[0])) {
    path.drive = CurrentDirectory().drive;
  } else {
    path = CurrentDirectory();
  }
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    std::string_view component = text.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (path.parts.empty()) return ERROR_PATH_NOT_FOUND;  // would leave the drive
      path.parts.pop_back();
      continue;
    }
    if (HasBadCharacter(component)) return ERROR_INVALID_NAME;
    path.parts.emplace_back(component);
  }
  *out = std::move(path);
  return ERROR_SUCCESS;
}

// The entry of `dir` named `name` regardless of case: the exact spelling when it exists, else
// the first match in directory order; empty when there is none.
std::string FindNoCase(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::symlink_status(dir / name, ec).type() != fs::file_type::not_found && !ec) return name;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (EqualsNoCase(entry, name)) return entry;
  }
  return {};
}

}  // namespace

DWORD MapNtPath(std::string_view nt_path, fs::path* host) {
  std::optional<fs::path> root = MachineRoot();
  if (!root) return ERROR_PATH_NOT_FOUND;
  NtPath path;
  if (DWORD error = ParseNtPath(ExpandSystemRoot(nt_path, *root), &path); error != ERROR_SUCCESS) {
    return error;
  }
  fs::path result = DriveDir(*root, path.drive);
  bool matching = true;  // once a component is missing, the rest cannot exist either
  for (const std::string& part : path.parts) {
    std::string found = matching ? FindNoCase(result, part) : std::string();
    matching = !found.empty();
    result /= matching ? found : part;
  }
  *host = std::move(result);
  return ERROR_SUCCESS;
}

// ---- Host path -> NT path
// ------------------------------------------------------------------------

namespace {

// The NT path of `absolute` when it lies in a drive folder of `root`.
std::optional<std::string> NtPathBelow(const fs::path& absolute, const fs::path& root) {
  fs::path relative = absolute.lexically_relative(root);
  auto it = relative.begin();
  if (relative.empty() || it == relative.end()) return std::nullopt;
  std::string drive = it->string();
  if (drive.size() != 7 || drive.compare(0, 6, "drive_") != 0 ||
      !std::islower(static_cast<unsigned char>(drive[6]))) {
    return std::nullopt;
  }
  std::string nt = std::string(1, static_cast<char>(std::toupper(drive[6]))) + ":\\";
  bool first = true;
  for (++it; it != relative.end(); ++it) {
    if (it->empty()) continue;
    if (!first) nt += '\\';
    nt += it->string();
    first = false;
  }
  return nt;
}

}  // namespace

std::optional<std::string> HostToNtPath(const fs::path& host) {
  std::optional<fs::path> root = MachineRoot();
  if (!root) return std::nullopt;
  std::error_code ec;
  fs::path absolute = fs::absolute(host, ec).lexically_normal();
  if (ec) return std::nullopt;
  if (std::optional<std::string> nt = NtPathBelow(absolute, *root)) return nt;
  // The host's current directory comes resolved; a root named through a link must still match.
  fs::path canonical_root = fs::canonical(*root, ec);
  if (ec || canonical_root == *root) return std::nullopt;
  return NtPathBelow(absolute, canonical_root);
}

}  // namespace pairway
