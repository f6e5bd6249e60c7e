// The test program. Its first argument says what to do:
//   exit N        ends with exit code N
//   sleep MS      sleeps, then ends with 0
//   signal N      raises signal N
//   fd N          ends with 1 when descriptor N is open, else 0
//   report FILE   writes its arguments, SystemRoot, PAIRWAY_ROOT, its working directory, whether it
//                 leads its own session and whether standard input is /dev/null, one per line,
//                 to the host file FILE, and ends with 7
#include <windows.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

int Report(int argc, char** argv) {
  FILE* out = fopen(argv[2], "w");
  if (out == nullptr) return 3;
  for (int i = 0; i < argc; ++i) fprintf(out, "arg=%s\n", argv[i]);
  const char* system_root = getenv("SystemRoot");
  const char* root = getenv("PAIRWAY_ROOT");
  fprintf(out, "SystemRoot=%s\nPAIRWAY_ROOT=%s\n", system_root ? system_root : "",
          root ? root : "");
  char cwd[4096];
  fprintf(out, "cwd=%s\n", getcwd(cwd, sizeof cwd) ? cwd : "");
  fprintf(out, "session_leader=%d\n", getsid(0) == getpid() ? 1 : 0);
  struct stat in {
  }, null{};
  bool null_input = fstat(0, &in) == 0 && stat("/dev/null", &null) == 0 &&
                    in.st_rdev == null.st_rdev && S_ISCHR(in.st_mode);
  fprintf(out, "stdin_null=%d\n", null_input ? 1 : 0);
  char module[MAX_PATH];
  fprintf(out, "module=%s\n", GetModuleFileNameA(nullptr, module, sizeof module) ? module : "");
  fclose(out);
  return 7;
}

}  // namespace

int main(int argc, char** argv) {
  std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "exit" && argc > 2) return atoi(argv[2]);
  if (verb == "sleep" && argc > 2) {
    Sleep(static_cast<DWORD>(atoi(argv[2])));
    return 0;
  }
  if (verb == "signal" && argc > 2) {
    signal(atoi(argv[2]), SIG_DFL);
    raise(atoi(argv[2]));
    return 1;
  }
  if (verb == "fd" && argc > 2) return fcntl(atoi(argv[2]), F_GETFD) != -1 ? 1 : 0;
  if (verb == "report" && argc > 2) return Report(argc, argv);
  fprintf(stderr,
          "usage: pairway-probe exit N | sleep MS | signal N | fd N | report FILE [args...]\n");
  return 2;
}
