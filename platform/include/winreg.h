/*
 * winreg.h: the registry.
 *
 * One hive per machine root (registry.db in the root), shared by every process of that root. Each
 * call is atomic: it happens whole or not at all, also when the process dies during it.
 *
 * Names of keys and values compare without regard to ASCII case and keep the case they were
 * created with. A key path is a sequence of names separated by '\'; empty components are
 * refused. Limits: a key name has at most 255 characters, a value name at most 16383, value
 * data at most 1 MiB.
 *
 * Errors every call may return besides those it lists:
 *   ERROR_INVALID_HANDLE        the key handle is not open (or was closed)
 *   ERROR_KEY_DELETED           the key was deleted after the handle was opened (1018)
 *   ERROR_BADDB                 the hive file is not a registry hive (1009)
 *   ERROR_REGISTRY_CORRUPT      the hive file is damaged (1015)
 *   ERROR_REGISTRY_IO_FAILED    the hive cannot be read or written, or there is no machine root
 *                               (1016)
 *   ERROR_BUSY                  another process kept the hive locked for too long (170)
 * Out-parameters are left untouched when a call fails, except where a call says otherwise
 * (RegOpenKeyExA and RegCreateKeyExA clear *phkResult, RegQueryValueExA and RegEnumValueA report
 * sizes with ERROR_MORE_DATA and ERROR_FILE_NOT_FOUND, RegQueryInfoKeyA fills its counts with
 * ERROR_MORE_DATA).
 */
#ifndef PAIRWAY_WINREG_H
#define PAIRWAY_WINREG_H

#include "windef.h"
#include "winerror.h"

PW_BEGIN_DECLS

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L
#define MAXIMUM_ALLOWED 0x02000000L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE)
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE)
#define KEY_EXECUTE (KEY_READ & ~SYNCHRONIZE)
#define KEY_ALL_ACCESS                                                                        \
  ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |              \
    KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                                  \
   ~SYNCHRONIZE)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_QWORD 11

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define REG_NOTIFY_CHANGE_NAME 0x00000001L
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x00000002L
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004L
#define REG_NOTIFY_CHANGE_SECURITY 0x00000008L
#define REG_LEGAL_CHANGE_FILTER                                                  \
  (REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET | \
   REG_NOTIFY_CHANGE_SECURITY)

/*
 * Opens an existing key below hKey (lpSubKey NULL or "" opens hKey itself again).
 * samDesired is enforced on the new handle: each call below names the right it needs. The
 * handle hKey needs no right of its own for this.
 * Asking for a write right (KEY_SET_VALUE, KEY_CREATE_SUB_KEY) on a read-only hive gives
 * ERROR_ACCESS_DENIED. ERROR_FILE_NOT_FOUND when the key does not exist; ERROR_BAD_PATHNAME for
 * a path with an empty name in it or a leading '\'; ERROR_INVALID_PARAMETER for a name over 255
 * characters or phkResult NULL.
 * *phkResult is NULL after any failure (phkResult may point at hKey's own variable).
 */
WINADVAPI LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                    PHKEY phkResult);

/*
 * Opens lpSubKey below hKey, creating it and every missing key on the way. lpClass is stored
 * with a key it creates. *lpdwDisposition, when given, says REG_CREATED_NEW_KEY or
 * REG_OPENED_EXISTING_KEY. The rights samDesired asks for are granted to the new handle
 * whatever rights hKey was opened with (a handle opened with KEY_READ or KEY_NOTIFY may create
 * keys below it): the hive file decides, and on a read-only hive the call fails with
 * ERROR_ACCESS_DENIED when anything would be created or a write right is asked for.
 *
 * dwOptions REG_OPTION_VOLATILE makes the keys it creates volatile: they last until the machine
 * root's next boot, which is the next open of the hive after every process had closed it (a
 * process that ends closes it; the service manager, while it runs, keeps the machine up). Every
 * key below a volatile key must be volatile too: creating a non-volatile key below one fails
 * with ERROR_CHILD_MUST_BE_VOLATILE (1021) and creates nothing. Opening an existing key never
 * changes its volatility.
 *
 * Errors as RegOpenKeyExA, and ERROR_CHILD_MUST_BE_VOLATILE. *phkResult is NULL after any
 * failure, and *lpdwDisposition then untouched.
 */
WINADVAPI LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                      DWORD dwOptions, REGSAM samDesired,
                                      LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                      LPDWORD lpdwDisposition);

/*
 * Reads a value (lpValueName NULL or "" is the key's default value); needs KEY_QUERY_VALUE.
 * lpType, lpData and lpcbData are each optional, except that lpData needs lpcbData
 * (ERROR_INVALID_PARAMETER).
 * On success *lpcbData holds the number of bytes stored and *lpType the type. Data come back
 * exactly as stored (a REG_SZ stored without a terminator stays without, and *lpcbData does not
 * count one); a REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ is followed in lpData by one zero byte
 * when the buffer has room for it, so that a string stored without its terminator reads back
 * terminated. When lpData is too small: ERROR_MORE_DATA, *lpType set, *lpcbData holds the size
 * needed and the buffer's contents are undefined. With lpData NULL: ERROR_SUCCESS and the size
 * needed. ERROR_FILE_NOT_FOUND when there is no such value, with *lpcbData set to 0.
 */
WINADVAPI LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                       LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

/*
 * Stores exactly cbData bytes of lpData under lpValueName with dwType (no terminator is added or
 * checked). Needs KEY_SET_VALUE. A value keeps its place in the enumeration order when replaced.
 * ERROR_INVALID_PARAMETER for lpData NULL with cbData non-zero, or data over 1 MiB.
 */
WINADVAPI LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                     const BYTE* lpData, DWORD cbData);

/* Needs KEY_SET_VALUE. ERROR_FILE_NOT_FOUND when there is no such value. */
WINADVAPI LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

/*
 * Deletes the subkey lpSubKey of hKey with its values; lpSubKey NULL or "" deletes the key hKey
 * itself. The handle hKey needs no right of its own for this. A key that still has subkeys is
 * not deleted (ERROR_ACCESS_DENIED, as on Windows NT), nor is a predefined key
 * (ERROR_ACCESS_DENIED); ERROR_FILE_NOT_FOUND when there is no such key; ERROR_ACCESS_DENIED on
 * a read-only hive; path errors as RegOpenKeyExA. Handles still open on the deleted key, hKey
 * among them, then fail with ERROR_KEY_DELETED.
 */
WINADVAPI LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

/*
 * Lists values in creation order; needs KEY_QUERY_VALUE. lpValueName and lpcchValueName are
 * required (ERROR_INVALID_PARAMETER); lpData needs lpcbData. *lpcchValueName is the name
 * buffer's size in characters including the terminator and receives the name's length without
 * it. Type and data as RegQueryValueExA (a string followed by a zero byte when there is room).
 * ERROR_MORE_DATA when the name does not fit: nothing is copied, *lpcchValueName is untouched,
 * and *lpType and *lpcbData (the data's size) are still set, so that the caller can size both
 * buffers. ERROR_MORE_DATA when only the data do not fit: the name is copied as on success and
 * *lpcbData holds the size needed. ERROR_NO_MORE_ITEMS past the last value.
 */
WINADVAPI LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                    LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                    LPBYTE lpData, LPDWORD lpcbData);

/*
 * Lists subkeys in case-insensitive name order; needs KEY_ENUMERATE_SUB_KEYS. Sizes as
 * RegEnumValueA; lpClass and lpftLastWriteTime are optional. ERROR_NO_MORE_ITEMS past the last.
 */
WINADVAPI LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                    LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                    PFILETIME lpftLastWriteTime);

/*
 * The key's class, the counts and maximum lengths of its subkeys and values, and its last write
 * time; needs KEY_QUERY_VALUE. Every out-parameter is optional, except that lpClass needs
 * lpcchClass (ERROR_INVALID_PARAMETER). Security descriptor length is reported as 0.
 * The class: *lpcchClass is the buffer's size in characters including the terminator, and
 * receives the class's length without it. A size of 0 only asks for the length (ERROR_SUCCESS,
 * nothing copied). A buffer too short gets as much of the class as fits, terminated (a buffer of
 * one character an empty string), and the call returns ERROR_MORE_DATA with every other
 * out-parameter set as on success.
 */
WINADVAPI LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass,
                                       LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                       LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                       LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                       LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                       PFILETIME lpftLastWriteTime);

/*
 * Waits for a change of hKey (and with bWatchSubtree of every key below it) that matches
 * dwNotifyFilter: REG_NOTIFY_CHANGE_NAME for subkeys created or deleted, REG_NOTIFY_CHANGE_LAST_SET
 * for values set, changed or deleted. Deleting the watched key itself wakes the watch whatever
 * the filter (the next call on the handle then fails with ERROR_KEY_DELETED). Needs KEY_NOTIFY.
 * Changes made by any process of the root count, this one included. ERROR_INVALID_PARAMETER for
 * a filter of 0 or with other bits.
 * The first call on a handle arms a watch that stays armed until the handle is closed: a change
 * made while the caller was not waiting is reported by the next call at once.
 * Synchronous (fAsynchronous FALSE): returns ERROR_SUCCESS when a change happened.
 * Asynchronous: resets hEvent, then returns at once; hEvent is signalled when a change happens
 * (ERROR_INVALID_PARAMETER without an event). A change made by this process signals it before
 * the call that made the change returns; one made by another process as soon as the
 * notification reaches this one (bench/README.md gives the latency). Closing the handle ends the
 * watch; a synchronous waiter on it then returns ERROR_SUCCESS and the event of an asynchronous
 * watch is signalled (as the platform's are on close), so a caller must not take a wake-up to
 * mean that the key is still open.
 */
WINADVAPI LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                                              HANDLE hEvent, BOOL fAsynchronous);

/* Every call is already durable once it returned; this checks the handle and returns. */
WINADVAPI LONG WINAPI RegFlushKey(HKEY hKey);

/* Closes a handle. Predefined keys may be "closed" and stay usable. */
WINADVAPI LONG WINAPI RegCloseKey(HKEY hKey);

PW_END_DECLS

#endif /* PAIRWAY_WINREG_H */
