// pairway-mangen: makes a program's manual page from its page source and its --help (see
// man_page.h). Used by the build only; not installed.
//
//   pairway-mangen SOURCE OUTPUT PROGRAM VERSION
//
// Exit status: 0 the page was written, 1 the source and the help disagree or a file failed,
// 2 usage.
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "man_page.h"

namespace {

// Runs `argv` without a shell and gives its standard output; false when it cannot be run or
// does not exit with 0.
bool Capture(const std::vector<std::string>& argv, std::string* out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  out->clear();
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) continue;  // EINTR
    out->append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 5) {
    fprintf(stderr, "usage: pairway-mangen SOURCE OUTPUT PROGRAM VERSION\n");
    return 2;
  }
  const std::string source_path = argv[1], output_path = argv[2], program = argv[3];
  std::ifstream in(source_path);
  if (!in) {
    fprintf(stderr, "pairway-mangen: cannot read %s\n", source_path.c_str());
    return 1;
  }
  std::stringstream source;
  source << in.rdbuf();
  const std::string name = std::filesystem::path(program).filename();
  auto help = [&](const std::string& verb, std::string* text) {
    std::vector<std::string> command = {program};
    if (!verb.empty()) command.push_back(verb);
    command.push_back("--help");
    return Capture(command, text);
  };
  std::string page, error;
  if (!mangen::Expand(source.str(), name, argv[4], help, &page, &error)) {
    fprintf(stderr, "pairway-mangen: %s: %s\n", source_path.c_str(), error.c_str());
    return 1;
  }
  std::ofstream out(output_path, std::ios::trunc);
  out << page;
  out.close();
  if (!out) {
    fprintf(stderr, "pairway-mangen: cannot write %s\n", output_path.c_str());
    return 1;
  }
  return 0;
}
