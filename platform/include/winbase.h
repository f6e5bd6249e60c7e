/*
 * winbase.h: kernel objects, processes, modules, memory and system information.
 *
 * Handles are process-wide: a handle made on one thread or by one module may be used and closed by
 * any other of the same process. Every call sets the calling thread's last error on failure, and
 * only where the platform does so on success.
 */
#ifndef PAIRWAY_WINBASE_H
#define PAIRWAY_WINBASE_H

#include <stdarg.h>

#include "windef.h"
#include "winerror.h"

PW_BEGIN_DECLS

/* ---- Last error ---------------------------------------------------------------------------- */

/* The calling thread's last error code. */
WINBASEAPI DWORD WINAPI GetLastError(void);
WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode);

/* ---- Messages ------------------------------------------------------------------------------ */

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

/*
 * Formats a system message (FORMAT_MESSAGE_FROM_SYSTEM) or a message string. The system text of
 * every error code the layer returns ends with "\r\n", as the platform's do. With
 * FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer receives a pointer (pass LPSTR* cast to LPSTR) to a
 * block that the caller frees with LocalFree. Returns the number of characters stored, excluding
 * the terminator; 0 on failure with ERROR_MR_MID_NOT_FOUND (317) for an unknown code or
 * ERROR_INSUFFICIENT_BUFFER when nSize is too small.
 * Inserts (%1..%99, with an optional printf conversion "%1!lu!") take their values from Arguments:
 * a va_list*, or an array of DWORD_PTR with FORMAT_MESSAGE_ARGUMENT_ARRAY; without Arguments, or
 * with FORMAT_MESSAGE_IGNORE_INSERTS, they are copied as written. Modules carry no message tables:
 * FORMAT_MESSAGE_FROM_HMODULE alone fails with ERROR_MR_MID_NOT_FOUND.
 */
WINBASEAPI DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                       DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                       va_list* Arguments);
#define ERROR_MR_MID_NOT_FOUND 317L

/* ---- Memory -------------------------------------------------------------------------------- */

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

/* Blocks are fixed: the handle is the block's address (GMEM_MOVEABLE is accepted and ignored).
 * GlobalFree and LocalFree return NULL on success and the block on failure: a pointer that is not
 * a live block of either allocator (freed already, never allocated) fails with
 * ERROR_INVALID_HANDLE and the heap is left alone. Global and Local blocks are one pool. A block
 * of 0 bytes is a valid unique block. */
WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
WINBASEAPI LPVOID WINAPI GlobalLock(HGLOBAL hMem);
WINBASEAPI BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
WINBASEAPI SIZE_T WINAPI GlobalSize(HGLOBAL hMem);
WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem);

/* ---- Handles and waiting ------------------------------------------------------------------- */

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED 0xFFFFFFFF
#define STATUS_PENDING 0x00000103L
#define STILL_ACTIVE STATUS_PENDING

/* Closes any handle of the kernel family (event, thread, process, file or device). The object
 * lives on while other handles or a running thread refer to it. FALSE with ERROR_INVALID_HANDLE
 * for a handle that is not open. */
WINBASEAPI BOOL WINAPI CloseHandle(HANDLE hObject);

/* Waits for an event, thread or process. WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT after
 * dwMilliseconds (INFINITE waits forever), WAIT_FAILED with ERROR_INVALID_HANDLE otherwise. */
WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

/* ---- Events -------------------------------------------------------------------------------- */

/* A manual-reset event stays signalled until ResetEvent; an auto-reset event releases one waiter
 * and resets itself. Named events are shared within the process only (the system needs no
 * other); opening an existing name returns a new handle and sets ERROR_ALREADY_EXISTS. */
WINBASEAPI HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                      BOOL bInitialState, LPCSTR lpName);
WINBASEAPI BOOL WINAPI SetEvent(HANDLE hEvent);
WINBASEAPI BOOL WINAPI ResetEvent(HANDLE hEvent);

/* ---- Threads ------------------------------------------------------------------------------- */

typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;
#define CREATE_SUSPENDED 0x00000004

/* Starts a thread; the handle is signalled when it ends, GetExitCodeThread then gives the
 * routine's result. CREATE_SUSPENDED is not supported (ERROR_INVALID_PARAMETER). */
WINBASEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                      LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                      DWORD dwCreationFlags, LPDWORD lpThreadId);
WINBASEAPI BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
WINBASEAPI DWORD WINAPI GetCurrentThreadId(void);
WINBASEAPI DWORD WINAPI GetCurrentProcessId(void);
WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds);
/* Milliseconds since an arbitrary start; wraps after 49.7 days as on the platform. */
WINBASEAPI DWORD WINAPI GetTickCount(void);

/* ---- Processes ----------------------------------------------------------------------------- */

#define DEBUG_PROCESS 0x00000001
#define DEBUG_ONLY_THIS_PROCESS 0x00000002
#define CREATE_NEW_CONSOLE 0x00000010
#define DETACHED_PROCESS 0x00000008
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_NO_WINDOW 0x08000000
#define NORMAL_PRIORITY_CLASS 0x00000020

#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESTDHANDLES 0x00000100

typedef struct _STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

/*
 * Starts a program of the machine root. The image is lpApplicationName when given, else the first
 * token of lpCommandLine (parsed as the platform does: quotes group blanks, and a name without an
 * extension gets ".exe"); a name without a directory is searched in the directory of the calling
 * program, the current directory, the system directory and the Windows directory of the root.
 * The image's NT path is mapped into the root and the host file it names is executed with the
 * command line split into arguments by the platform's rules (argv[0] is the image token).
 * lpEnvironment NULL passes the caller's environment; lpCurrentDirectory is an NT path.
 * DETACHED_PROCESS gives the child no console (no terminal, its own session).
 * The process handle is signalled when the child ends; GetExitCodeProcess then gives its exit
 * code (a child ended by a signal reports 0xC0000000 | signal). hThread is a second waitable
 * handle of the same process. Errors: ERROR_FILE_NOT_FOUND (no such image),
 * ERROR_BAD_EXE_FORMAT (not executable), ERROR_PATH_NOT_FOUND (a path leaving the root),
 * ERROR_INVALID_PARAMETER (no image at all), ERROR_DIRECTORY (lpCurrentDirectory is not an
 * existing directory of the root).
 * Handles are not inherited (bInheritHandles is ignored) and the standard handles of
 * lpStartupInfo are not used: the child shares the caller's standard input, output and error.
 */
WINBASEAPI BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                      LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                      LPSECURITY_ATTRIBUTES lpThreadAttributes,
                                      BOOL bInheritHandles, DWORD dwCreationFlags,
                                      LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                      LPSTARTUPINFOA lpStartupInfo,
                                      LPPROCESS_INFORMATION lpProcessInformation);
WINBASEAPI BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
/* FALSE with ERROR_ACCESS_DENIED once the process has ended. */
WINBASEAPI BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);
WINBASEAPI void WINAPI ExitProcess(UINT uExitCode);
/* The command line the program was started with, rebuilt from its arguments. */
WINBASEAPI LPSTR WINAPI GetCommandLineA(void);

/* ---- Modules ------------------------------------------------------------------------------- */

/* Why a library's entry routine (DllMain) is called: the loader calls it with PROCESS_ATTACH when
 * the library is loaded into a process and with PROCESS_DETACH when it is unloaded. */
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

/*
 * Loads a shared library. A bare name ("aggcfg.dll") is searched in the directory of the calling
 * program, the system directory and the Windows directory of the machine root
 * (case-insensitively), then by the host's library path; a name with a directory is an NT path
 * mapped into the root. A name without an extension gets ".dll". Each successful call counts a
 * reference; FreeLibrary drops one. NULL with ERROR_MOD_NOT_FOUND when no file is found,
 * ERROR_BAD_EXE_FORMAT when it is not a loadable library.
 */
WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
/* FreeLibrary and GetProcAddress fail with ERROR_INVALID_HANDLE for a module that is not loaded. */
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule);
/* NULL with ERROR_PROC_NOT_FOUND when the library exports no such name. Ordinals (names below
 * 0x10000) are not supported (ERROR_PROC_NOT_FOUND). */
WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
/* The file name of a loaded module as an NT path inside the root when it lies there, else the
 * host path; NULL is the main program. Returns the length copied, 0 on failure. */
WINBASEAPI DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

/* ---- System information -------------------------------------------------------------------- */

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

/*
 * The machine root says which system it is (see pairway/machine_root.h): Windows NT 4.0 build
 * 1381 "Service Pack 6" unless it says Windows 95 (4.0 build 950, platform WIN32_WINDOWS).
 * GetVersion packs it as the platform does: major in the low byte, minor in the next, the build
 * in the high word with the top bit set for Windows 95.
 */
WINBASEAPI DWORD WINAPI GetVersion(void);
/* FALSE with ERROR_INSUFFICIENT_BUFFER when dwOSVersionInfoSize is not sizeof(OSVERSIONINFOA). */
WINBASEAPI BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);

/*
 * GetSystemDirectoryA gives "C:\WINNT\System32" ("C:\WINDOWS\SYSTEM" on Windows 95) and
 * GetWindowsDirectoryA "C:\WINNT" ("C:\WINDOWS"). They return the length without the terminator,
 * or, when uSize is too small, the size needed including it (nothing copied).
 */
WINBASEAPI UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
WINBASEAPI UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);

/* The host environment, where SystemRoot is always defined (the Windows directory) as the
 * platform defines it. Returns the length, or the size needed when nSize is too small; 0 with
 * ERROR_ENVVAR_NOT_FOUND when the name is not set. */
WINBASEAPI DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
WINBASEAPI BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue);
WINBASEAPI DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);

/* ---- Strings ------------------------------------------------------------------------------- */

/* NULL strings are tolerated (length 0, sorting first). lstrcmpA and lstrcmpiA compare bytes
 * (lstrcmpiA without regard to ASCII case), not by the platform's locale word sort. */
WINBASEAPI int WINAPI lstrlenA(LPCSTR lpString);
WINBASEAPI LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2);
WINBASEAPI LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
WINBASEAPI LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2);
WINBASEAPI int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
WINBASEAPI int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);

/* ---- Files and devices --------------------------------------------------------------------- */

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define FILE_FLAG_OVERLAPPED 0x40000000

#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define DDD_RAW_TARGET_PATH 0x00000001
#define DDD_REMOVE_DEFINITION 0x00000002
#define DDD_EXACT_MATCH_ON_REMOVE 0x00000004
#define DDD_NO_BROADCAST_SYSTEM 0x00000008

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;     /* the request's status: STATUS_PENDING until it completes */
  ULONG_PTR InternalHigh; /* bytes transferred */
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent; /* set when the request completes */
} OVERLAPPED, *LPOVERLAPPED;

/*
 * CreateFileA opens an ordinary file (an NT path mapped into the machine root) or a device:
 *   "\\.\NAME"          the device that the MS-DOS device name NAME points to (DefineDosDeviceA):
 *                       a NIC port "\Device\SERVICE" of the driver stand-in
 *   "\\.\NICIOVX.VXD"   on Windows 95 only: the NIC's virtual device, present when the system
 *                       directory holds NICIOVX.VXD
 * Fails with INVALID_HANDLE_VALUE and ERROR_FILE_NOT_FOUND (no such file, name or device),
 * ERROR_PATH_NOT_FOUND, ERROR_FILE_EXISTS (CREATE_NEW), ERROR_ACCESS_DENIED or
 * ERROR_INVALID_PARAMETER (bad disposition). Handles close with CloseHandle.
 */
WINBASEAPI HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                     DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                     HANDLE hTemplateFile);

/* The low 32 bits of a file's size (the high ones in *lpFileSizeHigh when given).
 * INVALID_FILE_SIZE with ERROR_INVALID_HANDLE for a handle that is not an open file. */
WINBASEAPI DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);

/*
 * DefineDosDeviceA adds (or with DDD_REMOVE_DEFINITION removes) a machine-wide MS-DOS device
 * name. Definitions of one name stack: the newest is used, removing it uncovers the one before.
 * Without DDD_RAW_TARGET_PATH the target is a DOS path and is kept as "\??\" + path. Removing
 * takes the newest definition, or with DDD_EXACT_MATCH_ON_REMOVE the one whose target matches.
 * Names compare without regard to case and may not contain '\' or '/'.
 * FALSE with ERROR_INVALID_PARAMETER (empty or bad name, no target), ERROR_FILE_NOT_FOUND
 * (nothing to remove) or ERROR_PATH_NOT_FOUND (no machine root).
 *
 * QueryDosDeviceA copies the targets of lpDeviceName, newest first, each zero-terminated and the
 * list ended by one more zero; with lpDeviceName NULL it lists every defined name the same way.
 * Returns the characters stored, or 0 with ERROR_FILE_NOT_FOUND (name not defined) or
 * ERROR_INSUFFICIENT_BUFFER (nothing useful copied).
 */
WINBASEAPI BOOL WINAPI DefineDosDeviceA(DWORD dwFlags, LPCSTR lpDeviceName, LPCSTR lpTargetPath);
WINBASEAPI DWORD WINAPI QueryDosDeviceA(LPCSTR lpDeviceName, LPSTR lpTargetPath, DWORD ucchMax);

/*
 * DeviceIoControl sends a control code to an open device (see winioctl.h and ntddndis.h for the
 * codes a NIC port answers, and the virtual device's codes 1 and 2 there).
 * Without lpOverlapped the call completes before it returns: TRUE with *lpBytesReturned set, or
 * FALSE with the driver's error:
 *   ERROR_INVALID_HANDLE       the handle is not open
 *   ERROR_INVALID_FUNCTION     a control code the device does not know, or a handle to a file
 *   ERROR_INVALID_PARAMETER    input too short, a NULL buffer with a size, no lpBytesReturned
 *   ERROR_INSUFFICIENT_BUFFER  the output buffer cannot hold the reply
 *   ERROR_NOT_SUPPORTED        the driver does not answer that object identifier
 *   ERROR_GEN_FAILURE          the driver did not answer at all
 * With lpOverlapped on a device opened with FILE_FLAG_OVERLAPPED the call returns FALSE with
 * ERROR_IO_PENDING; the request's outcome is then in the OVERLAPPED, its event is set, and
 * GetOverlappedResult reports it.
 */
WINBASEAPI BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                       DWORD nInBufferSize, LPVOID lpOutBuffer,
                                       DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                       LPOVERLAPPED lpOverlapped);

/* The outcome of an overlapped request: TRUE with *lpNumberOfBytesTransferred, or FALSE with the
 * request's error; ERROR_IO_INCOMPLETE when it is still pending and bWait is FALSE. */
WINBASEAPI BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                           LPDWORD lpNumberOfBytesTransferred, BOOL bWait);

PW_END_DECLS

#endif /* PAIRWAY_WINBASE_H */
