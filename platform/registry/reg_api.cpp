// The key calls of winreg.h on the hive of hive.h: opening, creating, deleting and listing keys,
// their information, their change watches and their handles. The value calls are in
// reg_values.cpp; what both share is in reg_call.h.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "hive.h"
#include "key_handles.h"
#include "notify.h"
#include "reg_call.h"
#include "volatile_keys.h"

using namespace pairway::registry;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;  // hKey is a copy: a caller may pass the address of its own key
  std::vector<std::string> names;
  DWORD error = SplitPath(lpSubKey, &names);
  if (error != ERROR_SUCCESS) return error;
  REGSAM rights = NormalizeAccess(samDesired);
  Call call(hKey, 0, Work::kOneStatement);
  if (call.status() != ERROR_SUCCESS) return call.status();
  if (AsksToWrite(rights) && call.hive().ReadOnly()) return ERROR_ACCESS_DENIED;
  std::string path = call.handle().path;
  for (const std::string& name : names) path = ChildPath(path, name);
  // One statement: whether the handle's key is still there, and the id of the key asked for.
  Statement find(
      call.hive().db(),
      "SELECT (SELECT 1 FROM keys WHERE id = ?1), (SELECT id FROM keys WHERE path = ?2)");
  find.Bind(1, call.handle().key_id).Bind(2, path);
  int rc = find.Step();
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  if (find.Null(0)) return ERROR_KEY_DELETED;
  if (find.Null(1)) return ERROR_FILE_NOT_FOUND;
  return OpenResult(call, find.Int(1), path, rights, phkResult);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::vector<std::string> names;
  DWORD error = SplitPath(lpSubKey, &names);
  if (error != ERROR_SUCCESS) return error;
  REGSAM rights = NormalizeAccess(samDesired);
  bool read_only;
  {
    Session session;
    if (session.status() != ERROR_SUCCESS) return session.status();
    read_only = session.hive().ReadOnly();
  }
  if (read_only) {
    // A read-only hive still lets an existing key be opened for reading.
    if (AsksToWrite(rights)) return ERROR_ACCESS_DENIED;
    LONG opened = RegOpenKeyExA(hKey, lpSubKey, 0, samDesired, phkResult);
    if (opened == ERROR_SUCCESS && lpdwDisposition != nullptr) {
      *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    }
    return opened == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : opened;
  }
  // The rights asked for are checked against the hive (above), not against the parent's
  // handle: a handle opened to watch or read a key may still create and open keys below it.
  Call call(hKey, 0, Work::kWrite);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Hive& hive = call.hive();
  const bool make_volatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
  int64_t id = call.handle().key_id;
  std::string path = call.handle().path;
  bool created = false;
  for (const std::string& name : names) {
    std::string child = ChildPath(path, name);
    int64_t child_id = FindKey(hive, child, &error);
    if (error != ERROR_SUCCESS) return error;
    if (child_id == 0) {
      // Only the first key made can have a volatile parent; the others' parent is the one
      // made just before.
      if (!make_volatile && !created) {
        bool parent_volatile = false;
        error = IsVolatileKey(hive, id, &parent_volatile);
        if (error != ERROR_SUCCESS) return error;
        if (parent_volatile) return ERROR_CHILD_MUST_BE_VOLATILE;
      }
      Statement insert(
          hive.db(), "INSERT INTO keys(parent, name, path, class, written) VALUES(?1,?2,?3,?4,?5)");
      insert.Bind(1, id).Bind(2, name).Bind(3, child);
      insert.Bind(4, lpClass != nullptr ? std::string_view(lpClass) : std::string_view());
      insert.Bind(5, FileTimeNow());
      int rc = insert.Step();
      if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
      child_id = sqlite3_last_insert_rowid(hive.db());
      if (make_volatile) error = MarkVolatileKey(hive, child_id);
      if (error == ERROR_SUCCESS) error = LogChange(hive, path, REG_NOTIFY_CHANGE_NAME);
      if (error == ERROR_SUCCESS) error = TouchKey(hive, id);
      if (error != ERROR_SUCCESS) return error;
      created = true;
    }
    id = child_id;
    path = child;
  }
  error = call.Commit();
  if (error != ERROR_SUCCESS) return error;
  if (lpdwDisposition != nullptr) {
    *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  }
  return OpenResult(call, id, path, rights, phkResult);
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  std::vector<std::string> names;
  DWORD error = SplitPath(lpSubKey, &names);
  if (error != ERROR_SUCCESS) return error;
  Call call(hKey, 0, Work::kWrite);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Hive& hive = call.hive();
  std::string path = call.handle().path;
  int64_t id = call.handle().key_id;
  if (names.empty()) {
    if (call.handle().predefined) return ERROR_ACCESS_DENIED;  // the roots always stay
  } else {
    for (const std::string& name : names) path = ChildPath(path, name);
    id = FindKey(hive, path, &error);
    if (error != ERROR_SUCCESS) return error;
    if (id == 0) return ERROR_FILE_NOT_FOUND;
  }
  Statement children(hive.db(), "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  children.Bind(1, id);
  int rc = children.Step();
  if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;  // the platform keeps keys with subkeys
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  Statement values(hive.db(), "DELETE FROM vals WHERE key = ?1");
  values.Bind(1, id);
  if ((rc = values.Step()) != SQLITE_DONE) return ErrorFromSqlite(rc);
  Statement key(hive.db(), "DELETE FROM keys WHERE id = ?1");
  key.Bind(1, id);
  if ((rc = key.Step()) != SQLITE_DONE) return ErrorFromSqlite(rc);
  error = ForgetVolatileKey(hive, id);
  if (error == ERROR_SUCCESS) error = LogChange(hive, ParentPath(path), REG_NOTIFY_CHANGE_NAME);
  if (error == ERROR_SUCCESS) error = LogChange(hive, path, REG_NOTIFY_CHANGE_NAME | kKeyDeleted);
  return error == ERROR_SUCCESS ? call.Commit() : error;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  Call call(hKey, KEY_ENUMERATE_SUB_KEYS, Work::kRead);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Statement key(call.hive().db(),
                "SELECT name, class, written FROM keys WHERE parent = ?1 ORDER BY path"
                " LIMIT 1 OFFSET ?2");
  key.Bind(1, call.handle().key_id).Bind(2, static_cast<int64_t>(dwIndex));
  int rc = key.Step();
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  DWORD error = CopyName(key.Text(0), lpName, lpcchName);
  if (error != ERROR_SUCCESS) return error;
  if (lpClass != nullptr) {
    error = CopyName(key.Text(1), lpClass, lpcchClass);
    if (error != ERROR_SUCCESS) return error;
  }
  FileTimeOut(key.Int(2), lpftLastWriteTime);
  return ERROR_SUCCESS;
}

namespace {

// RegQueryInfoKeyA's class: as much of it as fits, always terminated; the length needed (without
// the terminator) in *size. ERROR_MORE_DATA when it was cut; a size of 0 only asks the length.
DWORD CopyClass(const std::string& text, LPSTR buffer, LPDWORD size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  const DWORD capacity = *size;
  *size = static_cast<DWORD>(text.size());
  if (capacity == 0) return ERROR_SUCCESS;
  const size_t copied = std::min<size_t>(text.size(), capacity - 1);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return copied < text.size() ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

}  // namespace

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  if (lpClass != nullptr && lpcchClass == nullptr) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, Work::kRead);
  if (call.status() != ERROR_SUCCESS) return call.status();
  sqlite3* db = call.hive().db();
  Statement self(db, "SELECT class, written FROM keys WHERE id = ?1");
  self.Bind(1, call.handle().key_id);
  if (self.Step() != SQLITE_ROW) return ERROR_KEY_DELETED;
  // Lengths in bytes (the single-byte characters of the A calls): SQLite's length() of a text
  // counts UTF-8 characters, which undercounts names with bytes above 0x7F.
  Statement subkeys(db,
                    "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0),"
                    " coalesce(max(length(CAST(class AS BLOB))),0) FROM keys WHERE parent = ?1");
  subkeys.Bind(1, call.handle().key_id);
  Statement values(db,
                   "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0),"
                   " coalesce(max(length(data)),0) FROM vals WHERE key = ?1");
  values.Bind(1, call.handle().key_id);
  if (subkeys.Step() != SQLITE_ROW || values.Step() != SQLITE_ROW) {
    return ERROR_REGISTRY_IO_FAILED;
  }
  DWORD result = ERROR_SUCCESS;
  if (lpClass != nullptr) {
    result = CopyClass(self.Text(0), lpClass, lpcchClass);
  } else if (lpcchClass != nullptr) {
    *lpcchClass = static_cast<DWORD>(self.Text(0).size());
  }
  auto out = [](LPDWORD target, int64_t value) {
    if (target != nullptr) *target = static_cast<DWORD>(value);
  };
  out(lpcSubKeys, subkeys.Int(0));
  out(lpcbMaxSubKeyLen, subkeys.Int(1));
  out(lpcbMaxClassLen, subkeys.Int(2));
  out(lpcValues, values.Int(0));
  out(lpcbMaxValueNameLen, values.Int(1));
  out(lpcbMaxValueLen, values.Int(2));
  out(lpcbSecurityDescriptor, 0);
  FileTimeOut(self.Int(1), lpftLastWriteTime);
  return result;
}

LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                                    HANDLE hEvent, BOOL fAsynchronous) {
  if ((dwNotifyFilter & ~static_cast<DWORD>(REG_LEGAL_CHANGE_FILTER)) != 0 || dwNotifyFilter == 0) {
    return ERROR_INVALID_PARAMETER;
  }
  if (fAsynchronous && hEvent == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<KeyHandle> handle;
  {
    Call call(hKey, KEY_NOTIFY, Work::kRead);
    if (call.status() != ERROR_SUCCESS) return call.status();
    handle = call.shared_handle();
  }
  if (fAsynchronous) return WatchForChange(handle, bWatchSubtree != FALSE, dwNotifyFilter, hEvent);
  return WaitForChange(handle, bWatchSubtree != FALSE, dwNotifyFilter);
}

LONG WINAPI RegFlushKey(HKEY hKey) {
  Call call(hKey, 0, Work::kRead);
  return call.status();
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  return EraseKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
