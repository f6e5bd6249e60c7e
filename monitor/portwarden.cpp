// The link monitor's program module; see portwarden.h.
//
// Sections: process state; entry; installation; service control; the foreground monitor.
#include "portwarden.h"

#include <stdio.h>
#include <string.h>

#include "portadjust.h"
#include "registry_layout.h"
#include "trace.h"

// ---- Process state ---------------------------------------------------------------------------

char service_name[] = "Corvane Pairway (Failover) Backup Monitor";
char progname[] = MONITOR_SERVICE_NAME;
char dispname[] = "Corvane Failover Backup Monitor";
HANDLE terminate_event = nullptr;
SERVICE_STATUS_HANDLE service_status_handle = 0;
int EnableBindReorder = 1;
char service_path[SERVICE_PATH_SIZE];

namespace {

const char kTraceFile[] = "\\portwarden.dbg";
const char kExecutableName[] = "\\portwarden.exe";

// A 4-byte parameter of any stored type; `fallback` when missing or longer than 4 bytes.
int read_parameter(HKEY key, LPCSTR name, int fallback) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) !=
      ERROR_SUCCESS) {
    return fallback;
  }
  return static_cast<int>(value);
}

}  // namespace

// ---- Entry -----------------------------------------------------------------------------------

void portwarden_main(int, char*[]) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITOR_PARAMETERS_KEY, 0, KEY_QUERY_VALUE, &key) ==
      ERROR_SUCCESS) {
    debugFlag = read_parameter(key, VAL_DEBUG_FLAG, 0);
    EnableBindReorder = read_parameter(key, VAL_ENABLE_BIND_REORDER, 1);
    RegCloseKey(key);
  }
  if (debugFlag != 0) {
    FILE* trace_file = fopen(kTraceFile, "a");
    if (trace_file != nullptr) fp = trace_file;
  }
  dbg_printf("DebugFlag= %d\n", debugFlag);
  dbg_printf("EnableBindReorder Flag= %d\n", EnableBindReorder);

  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITOR_SERVICE_KEY, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    dbg_printf("portwarden key not found\n");
    if (install_service() != 0) dbg_printf("install_service failed\n");
    monitor_linkage();
    return;
  }
  SERVICE_TABLE_ENTRYA dispatch_table[] = {{service_name, service_main}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(dispatch_table)) {
    dbg_printf("Unable to register with SCM , error %d\n", static_cast<int>(GetLastError()));
  }
  RegCloseKey(key);
}

// ---- Installation ----------------------------------------------------------------------------

// The service runs the copy in the system directory, wherever this copy was started from.
int install_service(void) {
  UINT length = GetSystemDirectoryA(service_path, sizeof service_path);
  if (length == 0 || length >= sizeof service_path) service_path[0] = '\0';
  strncat(service_path, kExecutableName, sizeof service_path - strlen(service_path) - 1);
  dbg_printf("Service path: %s\n", service_path);

  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
  if (manager == nullptr) {
    dbg_printf("OpenSCManager failed! Error=0x%x\n", static_cast<unsigned>(GetLastError()));
    return 1;
  }
  SC_HANDLE service =
      CreateServiceA(manager, progname, dispname, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                     SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, service_path, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
  if (service == nullptr) {
    dbg_printf("CreateService failed! Error=0x%x\n", static_cast<unsigned>(GetLastError()));
    CloseServiceHandle(manager);
    return 1;
  }
  dbg_printf("Service %s installed\n", progname);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return 0;
}

// ---- Service control -------------------------------------------------------------------------

int send_status_to_SCM(DWORD current_state, DWORD win32_exit_code, DWORD service_specific_exit_code,
                       DWORD check_point, DWORD wait_hint) {
  SERVICE_STATUS status;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = current_state;
  // Only shutdown is ever offered: the service's work is the pass at shutdown, and stopping,
  // pausing or continuing it would only lose that pass.
  status.dwControlsAccepted = current_state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_SHUTDOWN;
  status.dwWin32ExitCode =
      service_specific_exit_code == 0 ? win32_exit_code : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = service_specific_exit_code;
  status.dwCheckPoint = check_point;
  status.dwWaitHint = wait_hint;
  BOOL reported = SetServiceStatus(service_status_handle, &status);
  if (!reported) stop_service();
  return reported;
}

void WINAPI service_handler(DWORD control_code) {
  dbg_printf("service_handler()\n");
  switch (control_code) {
    case SERVICE_CONTROL_STOP:
      dbg_printf("control stop\n");
      send_status_to_SCM(SERVICE_STOP_PENDING, NO_ERROR, 0, 1, 5000);
      stop_service();
      return;
    case SERVICE_CONTROL_PAUSE:
      dbg_printf("control pause\n");
      break;
    case SERVICE_CONTROL_CONTINUE:
      dbg_printf("control continue\n");
      break;
    case SERVICE_CONTROL_INTERROGATE:
      dbg_printf("control interrogate\n");
      break;
    case SERVICE_CONTROL_SHUTDOWN:
      dbg_printf("1) control shutdown\n");
      shutdown_service();
      dbg_printf("2) control shutdown end\n");
      return;
    default:
      dbg_printf("Unhandled Control= 0x%x\n", static_cast<unsigned>(control_code));
      break;
  }
  send_status_to_SCM(SERVICE_RUNNING, NO_ERROR, 0, 0, 0);
}

void WINAPI service_main(DWORD, LPSTR*) {
  dbg_printf("service_main()\n");
  service_status_handle = RegisterServiceCtrlHandlerA(service_name, service_handler);
  if (service_status_handle == 0) {
    terminate(GetLastError());
    return;
  }
  terminate_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (terminate_event == nullptr) {
    terminate(GetLastError());
    return;
  }
  if (!send_status_to_SCM(SERVICE_START_PENDING, NO_ERROR, 0, 1, 5000)) {
    terminate(GetLastError());
    return;
  }
  start_service();
  if (!send_status_to_SCM(SERVICE_RUNNING, NO_ERROR, 0, 0, 0)) {
    terminate(GetLastError());
    return;
  }
  WaitForSingleObject(terminate_event, INFINITE);
  terminate(0);
}

// The event is forgotten before it is closed: should the final report fail, stop_service then
// finds no event instead of setting a handle that is already closed.
void terminate(DWORD error) {
  if (terminate_event != nullptr) {
    HANDLE event = terminate_event;
    terminate_event = nullptr;
    CloseHandle(event);
  }
  if (service_status_handle != 0) send_status_to_SCM(SERVICE_STOPPED, error, 0, 0, 0);
}

int start_service(void) { return 1; }

int stop_service(void) {
  if (terminate_event != nullptr) SetEvent(terminate_event);
  return 1;
}

void shutdown_service(void) {
  dbg_printf("shutdown_service\n");
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MONITOR_SERVICE_KEY, 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    dbg_printf("Key ..\\Services\\portwarden does not exist. Shutdown services being skipped!\n");
  } else {
    run_adjustment_pass(EnableBindReorder);
    RegCloseKey(key);
  }
  dbg_printf("shutdown_service end\n");
}

// ---- The foreground monitor ------------------------------------------------------------------

// Each pass waits twice: once for the change that calls for it, and once more to swallow the
// notification caused by the pass's own writes, which would otherwise start a pass of their own
// and keep the monitor busy forever.
void monitor_linkage(void) {
  HKEY services;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_ALL_ACCESS, &services) !=
      ERROR_SUCCESS) {
    dbg_printf("RegOpenKeyEx failed\n");
    terminate(GetLastError());
    return;
  }
  int loop_count = 0;
  for (;;) {
    if (loop_count++ >= MONITOR_PASS_LIMIT) {
      dbg_printf("monitor_linkage exiting! Loop Count= %d\n", loop_count);
      break;
    }
    if (RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE) !=
        ERROR_SUCCESS) {
      dbg_printf("RegNotifyChangeKeyValue failed\n");
      terminate(GetLastError());
      break;
    }
    dbg_printf("RegNotifyChangeKeyValue successful\n");
    run_adjustment_pass(EnableBindReorder);
    if (RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE) !=
        ERROR_SUCCESS) {
      dbg_printf("RegNotifyChangeKeyValue failed after adjust_port_order call.\n");
      terminate(GetLastError());
      break;
    }
    dbg_printf("RegNotifyChangeKeyValue successful - due to Corvane Cleanup Services changes\n");
  }
  // The process ends right after; closing the key keeps an embedding (a test) free of leaks.
  RegCloseKey(services);
}
