// pairway-sc: talks to the service control manager of a machine root, in the manner of the
// platform's sc tool: its verbs, its "key= value" arguments, its output and its messages.
//
//   pairway-sc create NAME binPath= PATH [start= auto|demand|disabled] [DisplayName= TEXT]
//                          [error= ignore|normal|severe|critical] [type= own] [obj= LocalSystem]
//   pairway-sc start NAME [ARGS...]
//   pairway-sc stop|pause|continue|interrogate NAME
//   pairway-sc query|queryex NAME
//   pairway-sc query|queryex [type= service|driver|all] [state= active|inactive|all]
//                                       the services of a type and state, one block each
//   pairway-sc control NAME CODE        (CODE: 1-4, 6, 128-255, or stop/pause/continue/
//                                       interrogate/paramchange)
//   pairway-sc delete NAME
//   pairway-sc shutdown                 the daemon's shutdown sequence; returns when it ended
//
// Exit status: 0 success; 1 the call failed (the message gives the platform's code and text);
// 2 usage error; 3 the service control manager is not running for this root; 4 no such service.
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pairway/machine_root.h"
#include "pairway/service_manager.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kNoManager = 3;
constexpr int kNoService = 4;

using Args = std::vector<std::string>;

// The system's text for `error`, without the line end FormatMessageA gives it.
std::string ErrorText(DWORD error) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  std::string result = text;
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

int Failed(const char* call) {
  DWORD error = GetLastError();
  printf("[SC] %s FAILED %u:\n\n%s\n\n", call, error, ErrorText(error).c_str());
  if (error == RPC_S_SERVER_UNAVAILABLE) return kNoManager;
  if (error == ERROR_SERVICE_DOES_NOT_EXIST) return kNoService;
  return kFailed;
}

const char* StateName(DWORD state) {
  static const char* const kNames[] = {"STOPPED", "START_PENDING",    "STOP_PENDING",
                                       "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING",
                                       "PAUSED"};
  return state >= 1 && state <= 7 ? kNames[state - 1] : "UNKNOWN";
}

// One service's block. A listing names the display name too; queryex adds the process.
void PrintStatus(const std::string& name, const SERVICE_STATUS& s,
                 const char* display_name = nullptr, const DWORD* pid = nullptr) {
  DWORD accepted = s.dwControlsAccepted;
  printf("\nSERVICE_NAME: %s\n", name.c_str());
  if (display_name != nullptr) printf("DISPLAY_NAME: %s\n", display_name);
  printf("        TYPE               : %x  %s\n", s.dwServiceType,
         (s.dwServiceType & SERVICE_WIN32_OWN_PROCESS) != 0     ? "WIN32_OWN_PROCESS "
         : (s.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) != 0 ? "WIN32_SHARE_PROCESS "
         : (s.dwServiceType & SERVICE_KERNEL_DRIVER) != 0       ? "KERNEL_DRIVER "
                                                                : "");
  printf("        STATE              : %u  %s\n", s.dwCurrentState, StateName(s.dwCurrentState));
  printf("                                (%s, %s, %s)\n",
         (accepted & SERVICE_ACCEPT_STOP) != 0 ? "STOPPABLE" : "NOT_STOPPABLE",
         (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) != 0 ? "PAUSABLE" : "NOT_PAUSABLE",
         (accepted & SERVICE_ACCEPT_SHUTDOWN) != 0 ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN");
  printf("        WIN32_EXIT_CODE    : %u  (0x%x)\n", s.dwWin32ExitCode, s.dwWin32ExitCode);
  printf("        SERVICE_EXIT_CODE  : %u  (0x%x)\n", s.dwServiceSpecificExitCode,
         s.dwServiceSpecificExitCode);
  printf("        CHECKPOINT         : 0x%x\n", s.dwCheckPoint);
  printf("        WAIT_HINT          : 0x%x\n", s.dwWaitHint);
  if (pid != nullptr) {
    printf("        PID                : %u\n", *pid);
    printf("        FLAGS              :\n");
  }
}

SERVICE_STATUS WithoutProcess(const SERVICE_STATUS_PROCESS& s) {
  return {s.dwServiceType,
          s.dwCurrentState,
          s.dwControlsAccepted,
          s.dwWin32ExitCode,
          s.dwServiceSpecificExitCode,
          s.dwCheckPoint,
          s.dwWaitHint};
}

// Handles that close themselves.
class Handle {
 public:
  explicit Handle(SC_HANDLE handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SC_HANDLE get() const { return handle_; }
  void reset(SC_HANDLE handle) {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
    handle_ = handle;
  }

 private:
  SC_HANDLE handle_;
};

// Opens the manager and, when `name` is given, the service. Returns kOk or the failure's status.
int Open(DWORD manager_access, const std::string* name, DWORD service_access, Handle* manager,
         Handle* service) {
  manager->reset(OpenSCManagerA(nullptr, nullptr, manager_access));
  if (manager->get() == nullptr) return Failed("OpenSCManager");
  if (name == nullptr) return kOk;
  service->reset(OpenServiceA(manager->get(), name->c_str(), service_access));
  if (service->get() == nullptr) return Failed("OpenService");
  return kOk;
}

// ---- Verbs ------------------------------------------------------------------------------------

bool LookupWord(const std::string& word, std::initializer_list<std::pair<const char*, DWORD>> table,
                DWORD* value) {
  for (const auto& [text, number] : table) {
    if (strcasecmp(word.c_str(), text) == 0) {
      *value = number;
      return true;
    }
  }
  return false;
}

int Create(const Args& args) {
  std::string bin_path, display_name = args[0];
  DWORD start = SERVICE_DEMAND_START, error_control = SERVICE_ERROR_NORMAL;
  for (size_t i = 1; i < args.size(); i += 2) {
    if (i + 1 == args.size()) {
      fprintf(stderr, "pairway-sc: '%s' needs a value\n", args[i].c_str());
      return kUsage;
    }
    const std::string& key = args[i];
    const std::string& value = args[i + 1];
    DWORD ignored = 0;
    bool ok = true;
    if (strcasecmp(key.c_str(), "binPath=") == 0)
      bin_path = value;
    else if (strcasecmp(key.c_str(), "DisplayName=") == 0)
      display_name = value;
    else if (strcasecmp(key.c_str(), "start=") == 0)
      ok = LookupWord(value, {{"auto", 2}, {"demand", 3}, {"disabled", 4}}, &start);
    else if (strcasecmp(key.c_str(), "error=") == 0)
      ok = LookupWord(value, {{"ignore", 0}, {"normal", 1}, {"severe", 2}, {"critical", 3}},
                      &error_control);
    else if (strcasecmp(key.c_str(), "type=") == 0)
      ok = LookupWord(value, {{"own", SERVICE_WIN32_OWN_PROCESS}}, &ignored);
    else if (strcasecmp(key.c_str(), "obj=") == 0)
      ok = strcasecmp(value.c_str(), "LocalSystem") == 0;
    else
      ok = false;
    if (!ok) {
      fprintf(stderr, "pairway-sc: create does not take '%s %s'\n", key.c_str(), value.c_str());
      return kUsage;
    }
  }
  if (bin_path.empty()) {
    fprintf(stderr, "pairway-sc: create needs binPath= PATH\n");
    return kUsage;
  }
  Handle manager, service;
  if (int status = Open(SC_MANAGER_CREATE_SERVICE, nullptr, 0, &manager, &service)) return status;
  Handle created(CreateServiceA(manager.get(), args[0].c_str(), display_name.c_str(),
                                SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, start, error_control,
                                bin_path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (created.get() == nullptr) return Failed("CreateService");
  printf("[SC] CreateService SUCCESS\n");
  return kOk;
}

int Start(const Args& args) {
  Handle manager, service;
  if (int status = Open(SC_MANAGER_CONNECT, &args[0], SERVICE_START | SERVICE_QUERY_STATUS,
                        &manager, &service))
    return status;
  std::vector<LPCSTR> argv;
  for (size_t i = 1; i < args.size(); ++i) argv.push_back(args[i].c_str());
  if (!StartServiceA(service.get(), static_cast<DWORD>(argv.size()), argv.data()))
    return Failed("StartService");
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.get(), &status)) return Failed("QueryServiceStatus");
  PrintStatus(args[0], status);
  return kOk;
}

int SendControl(const std::string& name, DWORD control) {
  Handle manager, service;
  if (int status =
          Open(SC_MANAGER_CONNECT, &name, SERVICE_ALL_ACCESS & ~DELETE, &manager, &service))
    return status;
  SERVICE_STATUS status{};
  if (!ControlService(service.get(), control, &status)) return Failed("ControlService");
  PrintStatus(name, status);
  return kOk;
}

int Stop(const Args& args) { return SendControl(args[0], SERVICE_CONTROL_STOP); }
int Pause(const Args& args) { return SendControl(args[0], SERVICE_CONTROL_PAUSE); }
int Continue(const Args& args) { return SendControl(args[0], SERVICE_CONTROL_CONTINUE); }

int Interrogate(const Args& args) {
  // Interrogation is a query: callers without full rights may ask for it too.
  Handle manager, service;
  if (int status = Open(SC_MANAGER_CONNECT, &args[0], SERVICE_INTERROGATE | SERVICE_QUERY_STATUS,
                        &manager, &service))
    return status;
  SERVICE_STATUS status{};
  if (!ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &status))
    return Failed("ControlService");
  PrintStatus(args[0], status);
  return kOk;
}

int Control(const Args& args) {
  if (args.size() != 2) {
    fprintf(stderr, "pairway-sc: control needs NAME CODE\n");
    return kUsage;
  }
  DWORD code = 0;
  if (!LookupWord(args[1],
                  {{"stop", 1},
                   {"pause", 2},
                   {"continue", 3},
                   {"interrogate", 4},
                   {"paramchange", SERVICE_CONTROL_PARAMCHANGE}},
                  &code)) {
    char* end = nullptr;
    unsigned long number = strtoul(args[1].c_str(), &end, 10);
    if (args[1].empty() || *end != '\0' || number > 0xffffffffUL) {
      fprintf(stderr, "pairway-sc: '%s' is not a control code\n", args[1].c_str());
      return kUsage;
    }
    code = static_cast<DWORD>(number);
  }
  return code == SERVICE_CONTROL_INTERROGATE ? Interrogate(args) : SendControl(args[0], code);
}

// The services of `type= ` and `state= ` (services that are not stopped by default), one block
// each in the order of their names.
int List(const Args& args, bool with_process) {
  const char* verb = with_process ? "queryex" : "query";
  DWORD types = SERVICE_WIN32, states = SERVICE_ACTIVE;
  for (size_t i = 0; i < args.size(); i += 2) {
    const std::string& key = args[i];
    bool ok = i + 1 < args.size();
    if (ok && strcasecmp(key.c_str(), "type=") == 0)
      ok = LookupWord(
          args[i + 1],
          {{"service", SERVICE_WIN32}, {"driver", SERVICE_DRIVER}, {"all", SERVICE_TYPE_ALL}},
          &types);
    else if (ok && strcasecmp(key.c_str(), "state=") == 0)
      ok = LookupWord(
          args[i + 1],
          {{"active", SERVICE_ACTIVE}, {"inactive", SERVICE_INACTIVE}, {"all", SERVICE_STATE_ALL}},
          &states);
    else
      ok = false;
    if (!ok) {
      fprintf(stderr, "pairway-sc: %s does not take '%s%s%s'\n", verb, key.c_str(),
              i + 1 < args.size() ? " " : "", i + 1 < args.size() ? args[i + 1].c_str() : "");
      return kUsage;
    }
  }
  Handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (manager.get() == nullptr) return Failed("OpenSCManager");
  std::vector<BYTE> buffer(16 * 1024);
  DWORD resume = 0;
  for (;;) {
    DWORD needed = 0, returned = 0;
    BOOL done = EnumServicesStatusExA(manager.get(), SC_ENUM_PROCESS_INFO, types, states,
                                      buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                                      &returned, &resume, nullptr);
    if (!done && GetLastError() != ERROR_MORE_DATA) return Failed("EnumServicesStatusEx");
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
      const SERVICE_STATUS_PROCESS& s = entries[i].ServiceStatusProcess;
      PrintStatus(entries[i].lpServiceName, WithoutProcess(s), entries[i].lpDisplayName,
                  with_process ? &s.dwProcessId : nullptr);
    }
    if (done) return kOk;
    // Not one entry fitted: make room for the next one at least.
    if (returned == 0) buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
  }
}

int QueryOne(const std::string& name, bool with_process) {
  Handle manager, service;
  if (int status = Open(SC_MANAGER_CONNECT, &name, SERVICE_QUERY_STATUS, &manager, &service))
    return status;
  if (!with_process) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.get(), &status)) return Failed("QueryServiceStatus");
    PrintStatus(name, status);
    return kOk;
  }
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                            reinterpret_cast<LPBYTE>(&status), sizeof status, &needed))
    return Failed("QueryServiceStatusEx");
  PrintStatus(name, WithoutProcess(status), nullptr, &status.dwProcessId);
  return kOk;
}

// query NAME for one service; no name, or only "key= value" options, lists them.
int QueryOrList(const Args& args, bool with_process) {
  if (args.empty() || args[0].back() == '=') return List(args, with_process);
  if (args.size() > 1) {
    fprintf(stderr, "pairway-sc: %s takes one service name, or options only\n",
            with_process ? "queryex" : "query");
    return kUsage;
  }
  return QueryOne(args[0], with_process);
}

int Query(const Args& args) { return QueryOrList(args, false); }
int QueryEx(const Args& args) { return QueryOrList(args, true); }

int Delete(const Args& args) {
  Handle manager, service;
  if (int status = Open(SC_MANAGER_CONNECT, &args[0], DELETE, &manager, &service)) return status;
  if (!DeleteService(service.get())) return Failed("DeleteService");
  printf("[SC] DeleteService SUCCESS\n");
  return kOk;
}

// The daemon's own extension: the shutdown sequence of a system shutdown, on request.
int Shutdown(const Args&) {
  Handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (manager.get() == nullptr) return Failed("OpenSCManager");
  if (!pairway::RequestServiceManagerShutdown(manager.get())) return Failed("Shutdown");
  printf("[SC] Shutdown SUCCESS\n");
  return kOk;
}

struct Verb {
  const char* name;
  bool needs_service;
  bool takes_more;
  int (*run)(const Args&);
  const char* help;
};

const Verb kVerbs[] = {
    {"create", true, true, Create,
     "create NAME binPath= PATH [start= auto|demand|disabled] [DisplayName= TEXT]\n"
     "          [error= ignore|normal|severe|critical] [type= own] [obj= LocalSystem]\n"
     "                          writes the service's key under "
     "SYSTEM\\CurrentControlSet\\Services"},
    {"start", true, true, Start, "start NAME [ARGS...]     starts the service"},
    {"stop", true, false, Stop, "stop NAME                 sends STOP"},
    {"pause", true, false, Pause, "pause NAME                sends PAUSE"},
    {"continue", true, false, Continue, "continue NAME             sends CONTINUE"},
    {"interrogate", true, false, Interrogate,
     "interrogate NAME          asks the service to report its status"},
    {"control", true, true, Control,
     "control NAME CODE         sends a control (1-4, 6, 128-255, or its name:\n"
     "                          stop, pause, continue, interrogate, paramchange)"},
    {"query", false, true, Query,
     "query [NAME]              shows the service's status; without NAME, every service that\n"
     "                          runs, or those of [type= service|driver|all]\n"
     "                          [state= active|inactive|all]"},
    {"queryex", false, true, QueryEx,
     "queryex [NAME]            as query, with the process id of each service"},
    {"delete", true, false, Delete,
     "delete NAME               deletes the service (when it has stopped)"},
    {"shutdown", false, false, Shutdown,
     "shutdown                  runs the manager's shutdown sequence and ends it"},
};

void PrintHelp(FILE* out) {
  fprintf(out,
          "Usage: pairway-sc COMMAND [NAME] [OPTIONS]\n\n"
          "Talks to the service control manager (pairway-scm) of the machine root named by\n"
          "PAIRWAY_ROOT. Commands:\n\n");
  for (const Verb& verb : kVerbs) fprintf(out, "  %s\n", verb.help);
  fprintf(out,
          "\nOptions of create and query are written as the key with its '=' and the value as\n"
          "the next argument: binPath= C:\\WINNT\\System32\\x.exe start= auto, state= all\n"
          "Exit status: 0 success, 1 the call failed, 2 usage, 3 the manager is not running,\n"
          "4 no such service.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return kUsage;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "/?" || command == "help") {
    PrintHelp(stdout);
    return kOk;
  }
  Args args(argv + 2, argv + argc);
  for (const Verb& verb : kVerbs) {
    if (strcasecmp(command.c_str(), verb.name) != 0) continue;
    if ((verb.needs_service && args.empty()) ||
        (!verb.needs_service && !verb.takes_more && !args.empty()) ||
        (!verb.takes_more && args.size() > 1)) {
      fprintf(stderr, "Usage: pairway-sc %s\n", verb.help);
      return kUsage;
    }
    pairway::MachineRootOrExit("pairway-sc");
    return verb.run(args);
  }
  fprintf(stderr, "pairway-sc: unknown command '%s'\nTry 'pairway-sc --help'.\n", command.c_str());
  return kUsage;
}
