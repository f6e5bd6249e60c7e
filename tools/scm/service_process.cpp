// Starting service programs: path mapping, environment, the private channel, exec errors.
#include "service_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "pairway/machine_root.h"
#include "services/scm_wire.h"

extern char** environ;

namespace pairway::scm {
namespace {

namespace fs = std::filesystem;

constexpr int kChildChannelFd = 3;

bool HostFileExists(const std::string& nt_path) {
  fs::path host;
  std::error_code ec;
  return MapNtPath(nt_path, &host) == ERROR_SUCCESS && fs::is_regular_file(host, ec);
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i == text.size()) break;
    std::string word;
    bool quoted = false;
    for (; i < text.size() && (quoted || text[i] != ' '); ++i) {
      if (text[i] == '"')
        quoted = !quoted;
      else
        word.push_back(text[i]);
    }
    words.push_back(word);
  }
  return words;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    default:
      return ERROR_NOT_ENOUGH_MEMORY;
  }
}

std::vector<std::string> ServiceEnvironment(const fs::path& root) {
  std::vector<std::string> env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (strncasecmp(*entry, "SystemRoot=", 11) == 0 ||
        std::strncmp(*entry, "PAIRWAY_ROOT=", 13) == 0 ||
        std::strncmp(*entry, kChannelVariable, std::strlen(kChannelVariable)) == 0)
      continue;
    env.emplace_back(*entry);
  }
  env.push_back("SystemRoot=" + WindowsDirectoryNt(RootOsFlavor(root)));
  env.push_back("PAIRWAY_ROOT=" + root.string());
  env.push_back(std::string(kChannelVariable) + "=" + std::to_string(kChildChannelFd));
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::vector<std::string> SplitImagePath(const std::string& image_path) {
  size_t start = image_path.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  if (image_path[start] != '"' && HostFileExists(image_path.substr(start)))
    return {image_path.substr(start)};
  return Words(image_path);
}

DWORD StartServiceProcess(const std::string& image_path, StartedProcess* started) {
  std::optional<fs::path> root = MachineRoot();
  std::vector<std::string> args = SplitImagePath(image_path);
  if (!root || args.empty()) return ERROR_PATH_NOT_FOUND;
  fs::path program;
  if (DWORD error = MapNtPath(args[0], &program); error != ERROR_SUCCESS) return error;
  std::error_code ec;
  if (!fs::is_regular_file(program, ec)) return ERROR_FILE_NOT_FOUND;
  fs::path directory;
  if (MapNtPath(SystemDirectoryNt(RootOsFlavor(*root)), &directory) != ERROR_SUCCESS ||
      !fs::is_directory(directory, ec))
    directory = *root;

  args[0] = program.string();
  std::vector<std::string> env = ServiceEnvironment(*root);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  std::string dir = directory.string();

  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return ERROR_NOT_ENOUGH_MEMORY;
  UniqueFd ours(pair[0]), theirs(pair[1]);
  // exec reports its failure through a close-on-exec pipe: no bytes means the program runs.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return ERROR_NOT_ENOUGH_MEMORY;
  UniqueFd report_read(report[0]), report_write(report[1]);

  pid_t pid = fork();
  if (pid < 0) return ERROR_NOT_ENOUGH_MEMORY;
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    setsid();
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    // dup2 clears close-on-exec on the copy; the report pipe moves above it first.
    int report_fd = fcntl(report_write.get(), F_DUPFD_CLOEXEC, kChildChannelFd + 1);
    if (dup2(theirs.get(), kChildChannelFd) < 0 || report_fd < 0) _exit(127);
    int first_other = report_fd + 1;
    for (int fd = kChildChannelFd + 1; fd < report_fd; ++fd) close(fd);
    close_range(static_cast<unsigned>(first_other), ~0U, 0);
    if (chdir(dir.c_str()) != 0) {
      // The folder was checked before the fork; if it went away since, the daemon's stays.
    }
    execve(argv[0], argv.data(), envp.data());
    int error = errno;
    if (write(report_fd, &error, sizeof error) < 0) {
      // Nobody to tell: the daemon sees the exit and records the service as stopped.
    }
    _exit(127);
  }
  theirs.Reset();
  report_write.Reset();
  int exec_error = 0;
  ssize_t n;
  do {
    n = read(report_read.get(), &exec_error, sizeof exec_error);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof exec_error)) {
    // The child is gone already; the caller's reaper collects its status.
    return ErrorFromErrno(exec_error);
  }
  started->pid = pid;
  started->channel = std::move(ours);
  return ERROR_SUCCESS;
}

}  // namespace pairway::scm
