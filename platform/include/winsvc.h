/*
 * winsvc.h: the service control manager.
 *
 * The manager of a machine root is the daemon pairway-scm. Client calls reach it over a Unix
 * socket in the root's run folder. When no
 * daemon runs for the root, OpenSCManagerA fails with RPC_S_SERVER_UNAVAILABLE (1722), as the
 * platform does when the manager cannot be reached.
 */
#ifndef PAIRWAY_WINSVC_H
#define PAIRWAY_WINSVC_H

#include "windef.h"
#include "winerror.h"
#include "winreg.h"

PW_BEGIN_DECLS

#define RPC_S_SERVER_UNAVAILABLE 1722L

typedef struct SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;
typedef ULONG_PTR SERVICE_STATUS_HANDLE;

#define SERVICES_ACTIVE_DATABASEA "ServicesActive"

#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_CREATE_SERVICE 0x0002
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_LOCK 0x0008
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020
#define SC_MANAGER_ALL_ACCESS                                                                 \
  (STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE |               \
   SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_LOCK | SC_MANAGER_QUERY_LOCK_STATUS |            \
   SC_MANAGER_MODIFY_BOOT_CONFIG)
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L

#define SERVICE_QUERY_CONFIG 0x0001
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_PAUSE_CONTINUE 0x0040
#define SERVICE_INTERROGATE 0x0080
#define SERVICE_USER_DEFINED_CONTROL 0x0100
#define SERVICE_ALL_ACCESS                                                                    \
  (STANDARD_RIGHTS_REQUIRED | SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG |                 \
   SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START | SERVICE_STOP |       \
   SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL)

/* Service types. */
#define SERVICE_KERNEL_DRIVER 0x00000001
#define SERVICE_FILE_SYSTEM_DRIVER 0x00000002
#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020
#define SERVICE_WIN32 (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)
#define SERVICE_INTERACTIVE_PROCESS 0x00000100

/* Start types. */
#define SERVICE_BOOT_START 0x00000000
#define SERVICE_SYSTEM_START 0x00000001
#define SERVICE_AUTO_START 0x00000002
#define SERVICE_DEMAND_START 0x00000003
#define SERVICE_DISABLED 0x00000004

/* Error control. */
#define SERVICE_ERROR_IGNORE 0x00000000
#define SERVICE_ERROR_NORMAL 0x00000001
#define SERVICE_ERROR_SEVERE 0x00000002
#define SERVICE_ERROR_CRITICAL 0x00000003

/* Current states. */
#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004
#define SERVICE_CONTINUE_PENDING 0x00000005
#define SERVICE_PAUSE_PENDING 0x00000006
#define SERVICE_PAUSED 0x00000007

/* Controls accepted. */
#define SERVICE_ACCEPT_STOP 0x00000001
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004
#define SERVICE_ACCEPT_PARAMCHANGE 0x00000008

/* Control codes. Codes 128 to 255 are the service's own. */
#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_PAUSE 0x00000002
#define SERVICE_CONTROL_CONTINUE 0x00000003
#define SERVICE_CONTROL_INTERROGATE 0x00000004
#define SERVICE_CONTROL_SHUTDOWN 0x00000005
#define SERVICE_CONTROL_PARAMCHANGE 0x00000006

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef void(WINAPI* LPSERVICE_MAIN_FUNCTIONA)(DWORD dwNumServicesArgs, LPSTR* lpServiceArgVectors);
typedef void(WINAPI* LPHANDLER_FUNCTION)(DWORD dwControl);

typedef struct _SERVICE_TABLE_ENTRYA {
  LPSTR lpServiceName;
  LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
} SERVICE_TABLE_ENTRYA, *LPSERVICE_TABLE_ENTRYA;

/* ---- Client side ---------------------------------------------------------------------------- */

/* lpMachineName must be NULL (this machine); lpDatabaseName NULL or SERVICES_ACTIVE_DATABASEA. */
WINADVAPI SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                          DWORD dwDesiredAccess);
WINADVAPI SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName,
                                          LPCSTR lpDisplayName, DWORD dwDesiredAccess,
                                          DWORD dwServiceType, DWORD dwStartType,
                                          DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                          LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId,
                                          LPCSTR lpDependencies, LPCSTR lpServiceStartName,
                                          LPCSTR lpPassword);
WINADVAPI SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName,
                                        DWORD dwDesiredAccess);
WINADVAPI BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs,
                                    LPCSTR* lpServiceArgVectors);
WINADVAPI BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl,
                                     LPSERVICE_STATUS lpServiceStatus);
WINADVAPI BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus);
WINADVAPI BOOL WINAPI DeleteService(SC_HANDLE hService);
WINADVAPI BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject);

/* ---- Service side --------------------------------------------------------------------------- */

/* Connects the process to the manager that started it and runs each service's main on its own
 * thread; returns when every service of the process has stopped. FALSE with
 * ERROR_FAILED_SERVICE_CONTROLLER_CONNECT (1063) when the process was not started by the
 * manager. */
WINADVAPI BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable);
WINADVAPI SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR lpServiceName,
                                                                   LPHANDLER_FUNCTION lpHandlerProc);
WINADVAPI BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                       LPSERVICE_STATUS lpServiceStatus);

PW_END_DECLS

#endif /* PAIRWAY_WINSVC_H */
