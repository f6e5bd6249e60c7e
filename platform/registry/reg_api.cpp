// The registry calls of winreg.h on the hive of hive.h.
//
// Each call takes the process's session (one connection, serialised), resolves its key handle
// inside one transaction, does its work and commits. Writes then announce themselves to the
// waiters of other processes (notify.h).
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "hive.h"
#include "key_handles.h"
#include "notify.h"

namespace pairway::registry {
namespace {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxValueSize = 1024 * 1024;

// Splits a relative key path into its names. A trailing '\' is allowed (callers append one to
// parents they combine with names); a leading one or an empty name inside is not.
DWORD SplitPath(LPCSTR sub_key, std::vector<std::string>* names) {
  names->clear();
  if (sub_key == nullptr) return ERROR_SUCCESS;
  std::string_view path(sub_key);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return ERROR_SUCCESS;
  if (path.front() == '\\') return ERROR_BAD_PATHNAME;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    std::string_view name =
        path.substr(start, end == std::string_view::npos ? path.npos : end - start);
    if (name.empty()) return ERROR_BAD_PATHNAME;
    if (name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    names->emplace_back(name);
    if (end == std::string_view::npos) return ERROR_SUCCESS;
    start = end + 1;
  }
}

std::string ChildPath(const std::string& parent, std::string_view name) {
  return parent + "\\" + Fold(name);
}

// The id of the key at a folded path; 0 when there is none, -1 on a database error in *error.
int64_t FindKey(Hive& hive, const std::string& path, DWORD* error) {
  Statement find(hive.db(), "SELECT id FROM keys WHERE path = ?1");
  find.Bind(1, path);
  int rc = find.Step();
  if (rc == SQLITE_ROW) return find.Int(0);
  if (rc != SQLITE_DONE) *error = ErrorFromSqlite(rc);
  return 0;
}

DWORD LogChange(Hive& hive, const std::string& path, DWORD kind) {
  Statement log(hive.db(), "INSERT INTO changes(path, kind) VALUES(?1, ?2)");
  log.Bind(1, path).Bind(2, static_cast<int64_t>(kind));
  int rc = log.Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  Statement prune(hive.db(), "DELETE FROM changes WHERE seq <= last_insert_rowid() - ?1");
  prune.Bind(1, kChangeLogKeep);
  return ErrorFromSqlite(prune.Step());
}

DWORD TouchKey(Hive& hive, int64_t id) {
  Statement touch(hive.db(), "UPDATE keys SET written = ?1 WHERE id = ?2");
  touch.Bind(1, FileTimeNow()).Bind(2, id);
  return ErrorFromSqlite(touch.Step());
}

// One registry call: the session, its transaction and the resolved handle.
class Call {
 public:
  // Resolves `key` needing `rights` (0 for none) in a read or write transaction.
  Call(HKEY key, REGSAM rights, bool write) {
    status_ = session_.status();
    if (status_ != ERROR_SUCCESS) return;
    handle_ = LookupKeyHandle(key);
    if (!handle_ || (!handle_->predefined && handle_->generation != session_.generation())) {
      status_ = ERROR_INVALID_HANDLE;
      return;
    }
    if ((handle_->access & rights) != rights) {
      status_ = ERROR_ACCESS_DENIED;
      return;
    }
    if (write && hive().ReadOnly()) {
      status_ = ERROR_ACCESS_DENIED;
      return;
    }
    txn_.emplace(hive(), write);
    status_ = txn_->status();
    if (status_ != ERROR_SUCCESS) return;
    Statement exists(hive().db(), "SELECT 1 FROM keys WHERE id = ?1");
    exists.Bind(1, handle_->key_id);
    int rc = exists.Step();
    if (rc == SQLITE_DONE)
      status_ = ERROR_KEY_DELETED;
    else if (rc != SQLITE_ROW)
      status_ = ErrorFromSqlite(rc);
  }

  DWORD status() const { return status_; }
  Hive& hive() { return session_.hive(); }
  Session& session() { return session_; }
  KeyHandle& handle() { return *handle_; }

  DWORD Commit() { return txn_->Commit(); }
  // Commits a write and tells the waiters.
  DWORD CommitWrite() {
    DWORD error = txn_->Commit();
    // A batch announces its changes once, when it commits.
    if (error == ERROR_SUCCESS && !txn_->nested()) AnnounceChange(hive().file());
    return error;
  }

 private:
  Session session_;
  std::shared_ptr<KeyHandle> handle_;
  std::optional<Transaction> txn_;
  DWORD status_;
};

// Copies a name into a caller's buffer: *size counts characters with the terminator on the way
// in and without it on the way out.
DWORD CopyName(const std::string& name, LPSTR buffer, LPDWORD size) {
  if (buffer == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() >= *size) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Hands stored data to RegQueryValueExA/RegEnumValueA's out-parameters.
DWORD CopyData(const std::vector<BYTE>& data, DWORD type, LPDWORD type_out, LPBYTE buffer,
               LPDWORD size) {
  if (type_out != nullptr) *type_out = type;
  if (size == nullptr) return buffer == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  DWORD capacity = *size;
  *size = static_cast<DWORD>(data.size());
  if (buffer == nullptr) return ERROR_SUCCESS;
  if (data.size() > capacity) return ERROR_MORE_DATA;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return ERROR_SUCCESS;
}

void FileTimeOut(int64_t written, PFILETIME out) {
  if (out == nullptr) return;
  out->dwLowDateTime = static_cast<DWORD>(written & 0xffffffff);
  out->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(written) >> 32);
}

bool AsksToWrite(REGSAM rights) {
  return (rights & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                    WRITE_OWNER)) != 0;
}

LONG OpenResult(Call& call, int64_t id, const std::string& path, REGSAM rights, PHKEY result) {
  HKEY key = InsertKeyHandle(
      std::make_shared<KeyHandle>(id, path, rights, call.session().generation(), false));
  if (key == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  *result = key;
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace pairway::registry

using namespace pairway::registry;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> names;
  DWORD error = SplitPath(lpSubKey, &names);
  if (error != ERROR_SUCCESS) return error;
  REGSAM rights = NormalizeAccess(samDesired);
  Call call(hKey, 0, false);
  if (call.status() != ERROR_SUCCESS) return call.status();
  if (AsksToWrite(rights) && call.hive().ReadOnly()) return ERROR_ACCESS_DENIED;
  std::string path = call.handle().path;
  for (const std::string& name : names) path = ChildPath(path, name);
  int64_t id = names.empty() ? call.handle().key_id : FindKey(call.hive(), path, &error);
  if (error != ERROR_SUCCESS) return error;
  if (id == 0) return ERROR_FILE_NOT_FOUND;
  return OpenResult(call, id, path, rights, phkResult);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
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
  Call call(hKey, 0, true);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Hive& hive = call.hive();
  int64_t id = call.handle().key_id;
  std::string path = call.handle().path;
  bool created = false;
  for (const std::string& name : names) {
    std::string child = ChildPath(path, name);
    int64_t child_id = FindKey(hive, child, &error);
    if (error != ERROR_SUCCESS) return error;
    if (child_id == 0) {
      if ((call.handle().access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
      Statement insert(
          hive.db(), "INSERT INTO keys(parent, name, path, class, written) VALUES(?1,?2,?3,?4,?5)");
      insert.Bind(1, id).Bind(2, name).Bind(3, child);
      insert.Bind(4, lpClass != nullptr ? std::string_view(lpClass) : std::string_view());
      insert.Bind(5, FileTimeNow());
      int rc = insert.Step();
      if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
      child_id = sqlite3_last_insert_rowid(hive.db());
      error = LogChange(hive, path, REG_NOTIFY_CHANGE_NAME);
      if (error == ERROR_SUCCESS) error = TouchKey(hive, id);
      if (error != ERROR_SUCCESS) return error;
      created = true;
    }
    id = child_id;
    path = child;
  }
  error = created ? call.CommitWrite() : call.Commit();
  if (error != ERROR_SUCCESS) return error;
  if (lpdwDisposition != nullptr) {
    *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  }
  return OpenResult(call, id, path, rights, phkResult);
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, false);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Statement query(call.hive().db(), "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
  query.Bind(1, call.handle().key_id).Bind(2, Fold(lpValueName != nullptr ? lpValueName : ""));
  int rc = query.Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  return CopyData(query.Blob(1), static_cast<DWORD>(query.Int(0)), lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if (cbData > kMaxValueSize) return ERROR_INVALID_PARAMETER;
  std::string_view name = lpValueName != nullptr ? lpValueName : "";
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_SET_VALUE, true);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Statement upsert(call.hive().db(),
                   "INSERT INTO vals(key, name, fold, type, data) VALUES(?1,?2,?3,?4,?5)"
                   " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type,"
                   " data = excluded.data");
  upsert.Bind(1, call.handle().key_id).Bind(2, name).Bind(3, Fold(name));
  upsert.Bind(4, static_cast<int64_t>(dwType)).BindBlob(5, lpData, cbData);
  int rc = upsert.Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  DWORD error = LogChange(call.hive(), call.handle().path, REG_NOTIFY_CHANGE_LAST_SET);
  if (error == ERROR_SUCCESS) error = TouchKey(call.hive(), call.handle().key_id);
  return error == ERROR_SUCCESS ? call.CommitWrite() : error;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  Call call(hKey, KEY_SET_VALUE, true);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Statement erase(call.hive().db(), "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
  erase.Bind(1, call.handle().key_id).Bind(2, Fold(lpValueName != nullptr ? lpValueName : ""));
  int rc = erase.Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  if (sqlite3_changes(call.hive().db()) == 0) return ERROR_FILE_NOT_FOUND;
  DWORD error = LogChange(call.hive(), call.handle().path, REG_NOTIFY_CHANGE_LAST_SET);
  if (error == ERROR_SUCCESS) error = TouchKey(call.hive(), call.handle().key_id);
  return error == ERROR_SUCCESS ? call.CommitWrite() : error;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  std::vector<std::string> names;
  DWORD error = SplitPath(lpSubKey, &names);
  if (error != ERROR_SUCCESS) return error;
  if (names.empty()) return ERROR_INVALID_PARAMETER;
  Call call(hKey, 0, true);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Hive& hive = call.hive();
  std::string path = call.handle().path;
  std::string parent_path;
  for (const std::string& name : names) {
    parent_path = path;
    path = ChildPath(path, name);
  }
  int64_t id = FindKey(hive, path, &error);
  if (error != ERROR_SUCCESS) return error;
  if (id == 0) return ERROR_FILE_NOT_FOUND;
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
  error = LogChange(hive, parent_path, REG_NOTIFY_CHANGE_NAME);
  if (error == ERROR_SUCCESS) error = LogChange(hive, path, REG_NOTIFY_CHANGE_NAME | kKeyDeleted);
  return error == ERROR_SUCCESS ? call.CommitWrite() : error;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, false);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Statement value(call.hive().db(),
                  "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
  value.Bind(1, call.handle().key_id).Bind(2, static_cast<int64_t>(dwIndex));
  int rc = value.Step();
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  DWORD error = CopyName(value.Text(0), lpValueName, lpcchValueName);
  if (error != ERROR_SUCCESS) return error;
  return CopyData(value.Blob(2), static_cast<DWORD>(value.Int(1)), lpType, lpData, lpcbData);
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  Call call(hKey, KEY_ENUMERATE_SUB_KEYS, false);
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

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  Call call(hKey, KEY_QUERY_VALUE, false);
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
  if (lpClass != nullptr) {
    DWORD error = CopyName(self.Text(0), lpClass, lpcchClass);
    if (error != ERROR_SUCCESS) return error;
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
  return ERROR_SUCCESS;
}

LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                                    HANDLE hEvent, BOOL fAsynchronous) {
  if ((dwNotifyFilter & ~static_cast<DWORD>(REG_LEGAL_CHANGE_FILTER)) != 0 || dwNotifyFilter == 0) {
    return ERROR_INVALID_PARAMETER;
  }
  if (fAsynchronous && hEvent == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<KeyHandle> handle;
  {
    Call call(hKey, KEY_NOTIFY, false);
    if (call.status() != ERROR_SUCCESS) return call.status();
    handle = LookupKeyHandle(hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
  }
  if (fAsynchronous) return WatchForChange(handle, bWatchSubtree != FALSE, dwNotifyFilter, hEvent);
  return WaitForChange(handle, bWatchSubtree != FALSE, dwNotifyFilter);
}

LONG WINAPI RegFlushKey(HKEY hKey) {
  Call call(hKey, 0, false);
  return call.status();
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  return EraseKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
