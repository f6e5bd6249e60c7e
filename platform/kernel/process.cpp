// Processes: CreateProcessA and the calls on a process handle.
//
// A child is started with posix_spawn, which is safe in a process with many threads. One reaper
// thread per child waits for it: it first waits without reaping (waitid with WNOWAIT), marks the
// process ended under the object's lock and only then reaps it. TerminateProcess signals the
// child under the same lock and only while it is not marked ended, so it can never reach another
// process that was given the same pid later. No signal handler of the process is touched.
#include "pairway/kernel_object.h"

#include <windows.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "kernel/command_line.h"
#include "kernel/program_path.h"
#include "pairway/machine_root.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// A child process: signalled when it has ended.
class ProcessObject final : public pairway::Signal {
 public:
  explicit ProcessObject(pid_t pid) : Signal(/*manual_reset=*/true, false), pid_(pid) {}

  pid_t pid() const { return pid_; }

  // Runs on the reaper thread until the child ends.
  void Reap() {
    siginfo_t info{};
    while (waitid(P_PID, pid_, &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    int status = 0;
    {
      std::lock_guard lock(mutex_);
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      if (!terminated_) {
        exit_code_ = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                       : 0xC0000000u | static_cast<DWORD>(WTERMSIG(status));
      }
      ended_ = true;
    }
    Set();
  }

  DWORD exit_code() {
    std::lock_guard lock(mutex_);
    return ended_ ? exit_code_ : STILL_ACTIVE;
  }

  // Ends the child with `code` as its exit code. False when it has ended already.
  bool Terminate(UINT code) {
    std::lock_guard lock(mutex_);
    if (ended_) return false;
    if (!terminated_) {
      terminated_ = true;
      exit_code_ = code;
    }
    kill(pid_, SIGKILL);
    return true;
  }

 private:
  const pid_t pid_;
  std::mutex mutex_;
  bool ended_ = false;       // guarded by mutex_: reaped, the pid no longer ours
  bool terminated_ = false;  // guarded by mutex_
  DWORD exit_code_ = STILL_ACTIVE;
};

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool HasExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot != std::string::npos && name.find_first_of("\\/", dot) == std::string::npos;
}

// The host file of the image, searched for as the platform does; ERROR_SUCCESS or the error.
DWORD FindImage(std::string name, fs::path* host) {
  if (name.empty()) return ERROR_INVALID_PARAMETER;
  if (!HasExtension(name)) name += ".exe";
  std::vector<std::string> candidates;
  if (name.find_first_of("\\/:") != std::string::npos) {
    candidates.push_back(name);
  } else {
    std::optional<std::string> program_dir =
        pairway::HostToNtPath(pairway::ProgramPath().parent_path());
    if (program_dir) candidates.push_back(*program_dir + "\\" + name);
    candidates.push_back(name);  // the current directory
    pairway::OsFlavor flavor = pairway::CurrentOsFlavor();
    candidates.push_back(pairway::SystemDirectoryNt(flavor) + "\\" + name);
    candidates.push_back(pairway::WindowsDirectoryNt(flavor) + "\\" + name);
  }
  DWORD error = ERROR_FILE_NOT_FOUND;
  for (const std::string& candidate : candidates) {
    fs::path path;
    DWORD mapped = pairway::MapNtPath(candidate, &path);
    std::error_code ec;
    if (mapped != ERROR_SUCCESS) {
      error = mapped == ERROR_INVALID_NAME ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND;
    } else if (fs::exists(path, ec)) {
      *host = path;
      return fs::is_regular_file(path, ec) && access(path.c_str(), X_OK) == 0
                 ? ERROR_SUCCESS
                 : ERROR_BAD_EXE_FORMAT;
    }
  }
  return error;
}

// The child's environment: the caller's (or the block given, "A=1\0B=2\0\0"), with SystemRoot
// defined when it is not and PAIRWAY_ROOT naming the current root.
std::vector<std::string> ChildEnvironment(const char* block) {
  std::vector<std::string> env;
  if (block == nullptr) {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
      env.emplace_back(*entry);
  } else {
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1)
      env.emplace_back(entry);
  }
  bool has_system_root = false;
  for (auto it = env.begin(); it != env.end();) {
    if (strncasecmp(it->c_str(), "SystemRoot=", 11) == 0) has_system_root = true;
    it = it->compare(0, 13, "PAIRWAY_ROOT=") == 0 ? env.erase(it) : it + 1;
  }
  if (!has_system_root) {
    env.push_back("SystemRoot=" + pairway::WindowsDirectoryNt(pairway::CurrentOsFlavor()));
  }
  if (std::optional<fs::path> root = pairway::MachineRoot())
    env.push_back("PAIRWAY_ROOT=" + root->string());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Starts the child; the errno of the failure, or 0.
int Spawn(const fs::path& image, std::vector<std::string> args, std::vector<std::string> env,
          const fs::path& directory, bool detached, pid_t* pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  // The child starts with every signal at its default and none blocked, whatever this process
  // ignores or blocks (a host that ignores SIGPIPE must not pass that on).
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (detached) {
    flags |= POSIX_SPAWN_SETSID;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawnattr_setflags(&attr, flags);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  // Handles are not inherited: descriptors of this process (hive, sockets, devices) that lack
  // close-on-exec must not keep files and listeners alive in the child.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  int error = posix_spawn(pid, image.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return error;
}

DWORD SpawnError(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
      return ERROR_ACCESS_DENIED;
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    case ENOMEM:
    case EAGAIN:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCSTR lpCurrentDirectory, LPSTARTUPINFOA,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  if (lpProcessInformation == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::vector<std::string> args = pairway::SplitCommandLine(lpCommandLine ? lpCommandLine : "");
  std::string image_name = lpApplicationName ? lpApplicationName : (args.empty() ? "" : args[0]);
  if (args.empty()) args.push_back(image_name);
  fs::path image;
  if (DWORD error = FindImage(image_name, &image); error != ERROR_SUCCESS) return Fail(error);
  fs::path directory;
  if (lpCurrentDirectory != nullptr) {
    std::error_code ec;
    if (pairway::MapNtPath(lpCurrentDirectory, &directory) != ERROR_SUCCESS ||
        !fs::is_directory(directory, ec)) {
      return Fail(ERROR_DIRECTORY);
    }
  }
  pid_t pid = 0;
  int error =
      Spawn(image, std::move(args), ChildEnvironment(static_cast<const char*>(lpEnvironment)),
            directory, (dwCreationFlags & DETACHED_PROCESS) != 0, &pid);
  if (error != 0) return Fail(SpawnError(error));

  auto process = std::make_shared<ProcessObject>(pid);
  try {
    std::thread([process] { process->Reap(); }).detach();
  } catch (const std::system_error&) {
    // Without a reaper the child could never be waited for: end it and reap it here.
    process->Terminate(1);
    process->Reap();
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  HANDLE process_handle = pairway::InsertHandle(process);
  HANDLE thread_handle = process_handle ? pairway::InsertHandle(process) : nullptr;
  if (thread_handle == nullptr) {
    if (process_handle != nullptr) CloseHandle(process_handle);
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  lpProcessInformation->hProcess = process_handle;
  lpProcessInformation->hThread = thread_handle;
  lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
  lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  std::shared_ptr<ProcessObject> process = pairway::LookupHandle<ProcessObject>(hProcess);
  if (!process) return Fail(ERROR_INVALID_HANDLE);
  if (lpExitCode == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *lpExitCode = process->exit_code();
  return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  std::shared_ptr<ProcessObject> process = pairway::LookupHandle<ProcessObject>(hProcess);
  if (!process) return Fail(ERROR_INVALID_HANDLE);
  if (!process->Terminate(uExitCode)) return Fail(ERROR_ACCESS_DENIED);  // as for an ended process
  return TRUE;
}

void WINAPI ExitProcess(UINT uExitCode) { exit(static_cast<int>(uExitCode)); }

LPSTR WINAPI GetCommandLineA(void) {
  static std::string* line = [] {
    std::vector<std::string> args;
    FILE* cmdline = fopen("/proc/self/cmdline", "rb");
    if (cmdline != nullptr) {
      std::string arg;
      for (int c; (c = fgetc(cmdline)) != EOF;) {
        if (c == '\0') {
          args.push_back(arg);
          arg.clear();
        } else {
          arg += static_cast<char>(c);
        }
      }
      fclose(cmdline);
    }
    return new std::string(pairway::JoinCommandLine(args));
  }();
  return line->data();
}
