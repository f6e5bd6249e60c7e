// The parts every registry call shares; see reg_call.h.
#include "reg_call.h"

#include <cstring>

namespace pairway::registry {

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

std::string ParentPath(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

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
  int64_t seq = sqlite3_last_insert_rowid(hive.db());
  // Pruning on every append would rewrite the log's oldest page in every write as well.
  if (seq % kChangeLogPruneEvery == 0) {
    Statement prune(hive.db(), "DELETE FROM changes WHERE seq <= ?1 - ?2");
    prune.Bind(1, seq).Bind(2, kChangeLogKeep);
    rc = prune.Step();
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  }
  hive.pending_changes().push_back({path, kind, seq});
  return ERROR_SUCCESS;
}

DWORD TouchKey(Hive& hive, int64_t id) {
  Statement touch(hive.db(), "UPDATE keys SET written = ?1 WHERE id = ?2");
  touch.Bind(1, FileTimeNow()).Bind(2, id);
  int rc = touch.Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  return sqlite3_changes(hive.db()) == 0 ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

Call::Call(HKEY key, REGSAM rights, Work work) {
  const bool write = work == Work::kWrite || work == Work::kWriteCheckedByCaller;
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
  if (work == Work::kOneStatement) return;  // autocommit: the statement is the transaction
  txn_.emplace(hive(), write);
  status_ = txn_->status();
  if (status_ != ERROR_SUCCESS || work == Work::kWriteCheckedByCaller) return;
  Statement exists(hive().db(), "SELECT 1 FROM keys WHERE id = ?1");
  exists.Bind(1, handle_->key_id);
  int rc = exists.Step();
  if (rc == SQLITE_DONE)
    status_ = ERROR_KEY_DELETED;
  else if (rc != SQLITE_ROW)
    status_ = ErrorFromSqlite(rc);
}

DWORD CopyName(const std::string& name, LPSTR buffer, LPDWORD size) {
  if (buffer == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() >= *size) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

DWORD CopyData(const std::vector<BYTE>& data, DWORD type, LPDWORD type_out, LPBYTE buffer,
               LPDWORD size) {
  if (type_out != nullptr) *type_out = type;
  if (size == nullptr) return buffer == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  DWORD capacity = *size;
  *size = static_cast<DWORD>(data.size());
  if (buffer == nullptr) return ERROR_SUCCESS;
  if (data.size() > capacity) return ERROR_MORE_DATA;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  // A string read into a buffer with room to spare ends there, whether or not it was stored
  // with its terminator; the size stays the stored one.
  bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (text && data.size() < capacity) buffer[data.size()] = 0;
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

}  // namespace pairway::registry
