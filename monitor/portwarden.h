/*
 * portwarden.h: the link monitor's program module: entry, service control and the registry
 * monitor.
 *
 * The program has two lives, chosen by whether its service key
 * "SYSTEM\CurrentControlSet\Services\portwarden" exists when it starts:
 *
 *   - foreground (first run, no key): it installs itself as an automatically started service,
 *     then watches everything under "SYSTEM\CurrentControlSet\Services" and runs the adjustment
 *     pass after each change, at most 2000 times;
 *   - service (key present): it idles, and runs one adjustment pass when the system shuts
 *     down, so that the registry is right before the next start.
 *
 * Failures are reported only through the trace (trace.h); there is no event log and no exit
 * code. Threads: foreground mode has one; as a service, the dispatcher thread runs
 * service_handler (and with it the shutdown pass) and the service thread runs service_main,
 * which only waits. They share terminate_event and service_status_handle, both set before the
 * handler can need them.
 */
#ifndef PORTWARDEN_PORTWARDEN_H
#define PORTWARDEN_PORTWARDEN_H

#include <windows.h>

#define SERVICE_PATH_SIZE 200
/* Upper bound of passes the foreground monitor runs before it ends. */
#define MONITOR_PASS_LIMIT 2000

/* Name in the dispatch table and for RegisterServiceCtrlHandlerA. The service runs in its own
 * process, so it need not match progname. */
extern char service_name[];
/* The service's key name with the service manager, and its display name. */
extern char progname[];
extern char dispname[];
/* Manual-reset event, signalled to end the service; null outside service_main. */
extern HANDLE terminate_event;
/* From RegisterServiceCtrlHandlerA; 0 when not running as a service. */
extern SERVICE_STATUS_HANDLE service_status_handle;
/* Non-zero (the default): the pass rebuilds the driver's binding order. */
extern int EnableBindReorder;
/* The executable path given to the service manager. */
extern char service_path[SERVICE_PATH_SIZE];

/* The program: reads its parameters, sets up the trace and runs in the mode its service key
 * calls for. Arguments are ignored. Returns when the monitor or the service has ended. */
void portwarden_main(int argc, char* argv[]);

/* Registers "<system directory>\portwarden.exe" as an automatically started service of its
 * own process under LocalSystem; does not start it. 0 installed, 1 failed (an existing
 * service of that name is a failure). */
int install_service(void);

/* Reports a status; controls accepted are none while starting, else shutdown only. A
 * service-specific code turns the exit code into ERROR_SERVICE_SPECIFIC_ERROR. When the report
 * fails the service is stopped. Non-zero when SetServiceStatus succeeded. */
int send_status_to_SCM(DWORD current_state, DWORD win32_exit_code, DWORD service_specific_exit_code,
                       DWORD check_point, DWORD wait_hint);

/* The control handler: stop ends the service; shutdown runs the pass (and reports nothing, the
 * system is going down); every other code is answered with SERVICE_RUNNING. */
void WINAPI service_handler(DWORD control_code);

/* The service thread: registers the handler, reports start-pending then running, waits on
 * terminate_event and reports stopped. */
void WINAPI service_main(DWORD argc, LPSTR* argv);

/* Closes terminate_event and reports SERVICE_STOPPED with `error`, where each exists; in
 * foreground mode it does nothing. */
void terminate(DWORD error);

/* The foreground registry monitor (see above). */
void monitor_linkage(void);

int start_service(void); /* nothing to start; 1 */
int stop_service(void);  /* signals terminate_event; 1 */

/* The shutdown pass, skipped when the service key was removed while the service ran. */
void shutdown_service(void);

#endif /* PORTWARDEN_PORTWARDEN_H */
