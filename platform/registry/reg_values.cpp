// The value calls of winreg.h: reading, storing, deleting and listing a key's values.
#include <windows.h>

#include <string>
#include <string_view>

#include "hive.h"
#include "reg_call.h"

using namespace pairway::registry;

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, Work::kOneStatement);
  if (call.status() != ERROR_SUCCESS) return call.status();
  // One statement: no row when the handle's key is gone, a row without data when the value is.
  Statement query(call.hive().db(),
                  "SELECT v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id AND"
                  " v.fold = ?2 WHERE k.id = ?1");
  query.Bind(1, call.handle().key_id).Bind(2, Fold(lpValueName != nullptr ? lpValueName : ""));
  int rc = query.Step();
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  if (query.Null(0)) {
    if (lpcbData != nullptr) *lpcbData = 0;  // no value, no bytes
    return ERROR_FILE_NOT_FOUND;
  }
  return CopyData(query.Blob(1), static_cast<DWORD>(query.Int(0)), lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if (cbData > kMaxValueSize) return ERROR_INVALID_PARAMETER;
  std::string_view name = lpValueName != nullptr ? lpValueName : "";
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_SET_VALUE, Work::kWriteCheckedByCaller);
  if (call.status() != ERROR_SUCCESS) return call.status();
  DWORD error = TouchKey(call.hive(), call.handle().key_id);  // ERROR_KEY_DELETED when gone
  if (error != ERROR_SUCCESS) return error;
  Statement upsert(call.hive().db(),
                   "INSERT INTO vals(key, name, fold, type, data) VALUES(?1,?2,?3,?4,?5)"
                   " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type,"
                   " data = excluded.data");
  upsert.Bind(1, call.handle().key_id).Bind(2, name).Bind(3, Fold(name));
  upsert.Bind(4, static_cast<int64_t>(dwType)).BindBlob(5, lpData, cbData);
  int rc = upsert.Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  error = LogChange(call.hive(), call.handle().path, REG_NOTIFY_CHANGE_LAST_SET);
  return error == ERROR_SUCCESS ? call.Commit() : error;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  Call call(hKey, KEY_SET_VALUE, Work::kWriteCheckedByCaller);
  if (call.status() != ERROR_SUCCESS) return call.status();
  DWORD error = TouchKey(call.hive(), call.handle().key_id);  // ERROR_KEY_DELETED when gone
  if (error != ERROR_SUCCESS) return error;
  Statement erase(call.hive().db(), "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
  erase.Bind(1, call.handle().key_id).Bind(2, Fold(lpValueName != nullptr ? lpValueName : ""));
  int rc = erase.Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  if (sqlite3_changes(call.hive().db()) == 0) return ERROR_FILE_NOT_FOUND;
  error = LogChange(call.hive(), call.handle().path, REG_NOTIFY_CHANGE_LAST_SET);
  return error == ERROR_SUCCESS ? call.Commit() : error;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  Call call(hKey, KEY_QUERY_VALUE, Work::kRead);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Statement value(call.hive().db(),
                  "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
  value.Bind(1, call.handle().key_id).Bind(2, static_cast<int64_t>(dwIndex));
  int rc = value.Step();
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  DWORD error = CopyName(value.Text(0), lpValueName, lpcchValueName);
  if (error == ERROR_MORE_DATA) {
    // The caller still learns what it needs to size its buffers: the type and the data's size.
    if (lpType != nullptr) *lpType = static_cast<DWORD>(value.Int(1));
    if (lpcbData != nullptr) *lpcbData = static_cast<DWORD>(value.Blob(2).size());
    return error;
  }
  if (error != ERROR_SUCCESS) return error;
  return CopyData(value.Blob(2), static_cast<DWORD>(value.Int(1)), lpType, lpData, lpcbData);
}
