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
#define SC_MANAGER_ALL_ACCESS                                                      \
  (STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE |     \
   SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_LOCK | SC_MANAGER_QUERY_LOCK_STATUS | \
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
#define SERVICE_ALL_ACCESS                                                              \
  (STANDARD_RIGHTS_REQUIRED | SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG |            \
   SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START | SERVICE_STOP | \
   SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL)

/* Service types. */
#define SERVICE_KERNEL_DRIVER 0x00000001
#define SERVICE_FILE_SYSTEM_DRIVER 0x00000002
#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020
#define SERVICE_WIN32 (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)
#define SERVICE_INTERACTIVE_PROCESS 0x00000100

/* Type masks of the enumeration. */
#define SERVICE_ADAPTER 0x00000004
#define SERVICE_RECOGNIZER_DRIVER 0x00000008
#define SERVICE_DRIVER \
  (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER | SERVICE_RECOGNIZER_DRIVER)
#define SERVICE_TYPE_ALL \
  (SERVICE_WIN32 | SERVICE_ADAPTER | SERVICE_DRIVER | SERVICE_INTERACTIVE_PROCESS)

/* State masks of the enumeration. */
#define SERVICE_ACTIVE 0x00000001
#define SERVICE_INACTIVE 0x00000002
#define SERVICE_STATE_ALL (SERVICE_ACTIVE | SERVICE_INACTIVE)

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

/* SERVICE_STATUS with the service's process: its id (0 while none runs) and its flags
 * (SERVICE_RUNS_IN_SYSTEM_PROCESS never: every service here has a process of its own). */
typedef struct _SERVICE_STATUS_PROCESS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
  DWORD dwProcessId;
  DWORD dwServiceFlags;
} SERVICE_STATUS_PROCESS, *LPSERVICE_STATUS_PROCESS;

#define SERVICE_RUNS_IN_SYSTEM_PROCESS 0x00000001

typedef enum _SC_STATUS_TYPE { SC_STATUS_PROCESS_INFO = 0 } SC_STATUS_TYPE;
typedef enum _SC_ENUM_TYPE { SC_ENUM_PROCESS_INFO = 0 } SC_ENUM_TYPE;

typedef struct _ENUM_SERVICE_STATUSA {
  LPSTR lpServiceName;
  LPSTR lpDisplayName;
  SERVICE_STATUS ServiceStatus;
} ENUM_SERVICE_STATUSA, *LPENUM_SERVICE_STATUSA;

typedef struct _ENUM_SERVICE_STATUS_PROCESSA {
  LPSTR lpServiceName;
  LPSTR lpDisplayName;
  SERVICE_STATUS_PROCESS ServiceStatusProcess;
} ENUM_SERVICE_STATUS_PROCESSA, *LPENUM_SERVICE_STATUS_PROCESSA;

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
/* The status with the service's process id and flags. lpBuffer receives one
 * SERVICE_STATUS_PROCESS; a smaller cbBufSize fails with ERROR_INSUFFICIENT_BUFFER and
 * *pcbBytesNeeded = sizeof(SERVICE_STATUS_PROCESS); a level other than SC_STATUS_PROCESS_INFO
 * fails with ERROR_INVALID_LEVEL. Needs SERVICE_QUERY_STATUS on the handle. */
WINADVAPI BOOL WINAPI QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel,
                                           LPBYTE lpBuffer, DWORD cbBufSize,
                                           LPDWORD pcbBytesNeeded);
/* The services of dwServiceType (a mask of SERVICE_WIN32 and SERVICE_DRIVER bits) in the states of
 * dwServiceState (SERVICE_ACTIVE: every state but STOPPED; SERVICE_INACTIVE: STOPPED;
 * SERVICE_STATE_ALL), in the order of their names without regard to case. The buffer receives
 * the array of entries, their names packed after it. When they do not all fit it holds as many
 * as do: FALSE with ERROR_MORE_DATA, *lpServicesReturned of them, *pcbBytesNeeded the bytes the
 * rest needs, and *lpResumeHandle (when given) where the next call goes on; a call that returns
 * the last entries sets it to 0. Needs SC_MANAGER_ENUMERATE_SERVICE on the handle; a type or
 * state outside the masks fails with ERROR_INVALID_PARAMETER. */
WINADVAPI BOOL WINAPI EnumServicesStatusA(SC_HANDLE hSCManager, DWORD dwServiceType,
                                          DWORD dwServiceState, LPENUM_SERVICE_STATUSA lpServices,
                                          DWORD cbBufSize, LPDWORD pcbBytesNeeded,
                                          LPDWORD lpServicesReturned, LPDWORD lpResumeHandle);
/* EnumServicesStatusA with ENUM_SERVICE_STATUS_PROCESSA entries (InfoLevel
 * SC_ENUM_PROCESS_INFO, else ERROR_INVALID_LEVEL). No service here belongs to a load-order
 * group: pszGroupName NULL or "" lists them all, a group's name fails with
 * ERROR_SERVICE_DOES_NOT_EXIST. */
WINADVAPI BOOL WINAPI EnumServicesStatusExA(SC_HANDLE hSCManager, SC_ENUM_TYPE InfoLevel,
                                            DWORD dwServiceType, DWORD dwServiceState,
                                            LPBYTE lpServices, DWORD cbBufSize,
                                            LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned,
                                            LPDWORD lpResumeHandle, LPCSTR pszGroupName);
WINADVAPI BOOL WINAPI DeleteService(SC_HANDLE hService);
WINADVAPI BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject);

/* ---- Service side --------------------------------------------------------------------------- */

/* Connects the process to the manager that started it and runs each service's main on its own
 * thread; returns when every service of the process has stopped. FALSE with
 * ERROR_FAILED_SERVICE_CONTROLLER_CONNECT (1063) when the process was not started by the
 * manager. */
WINADVAPI BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* lpServiceStartTable);
WINADVAPI SERVICE_STATUS_HANDLE WINAPI
RegisterServiceCtrlHandlerA(LPCSTR lpServiceName, LPHANDLER_FUNCTION lpHandlerProc);
WINADVAPI BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                                       LPSERVICE_STATUS lpServiceStatus);

PW_END_DECLS

#endif /* PAIRWAY_WINSVC_H */
