// reg_call.h: what every registry call of winreg.h shares: the call's session, transaction and
// key handle, key paths, the change log and the copying of results into callers' buffers.
//
// A call takes the process's session (one connection, serialised), resolves its key handle
// inside one transaction, does its work and commits; the commit hands the changes it logged to
// the notification (notify.h).
#ifndef PAIRWAY_REGISTRY_REG_CALL_H
#define PAIRWAY_REGISTRY_REG_CALL_H

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive.h"
#include "key_handles.h"

namespace pairway::registry {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxValueSize = 1024 * 1024;

// Splits a relative key path into its names. A trailing '\' is allowed (callers append one to
// parents they combine with names); a leading one or an empty name inside is not
// (ERROR_BAD_PATHNAME); a name over 255 characters is ERROR_INVALID_PARAMETER.
DWORD SplitPath(LPCSTR sub_key, std::vector<std::string>* names);

std::string ChildPath(const std::string& parent, std::string_view name);
// The folded path of the key's parent ("" for a root key).
std::string ParentPath(const std::string& path);

// The id of the key at a folded path; 0 when there is none, or on a database error in *error.
int64_t FindKey(Hive& hive, const std::string& path, DWORD* error);

// Appends one row to the change log (hive.h) and hands it to the hive's pending changes.
DWORD LogChange(Hive& hive, const std::string& path, DWORD kind);

// Stamps the key's last write time; ERROR_KEY_DELETED when there is no such key.
DWORD TouchKey(Hive& hive, int64_t id);

// What a call does in its transaction, and who checks that the handle's key still exists.
enum class Work {
  kRead,   // a read transaction; the key is checked
  kWrite,  // a write transaction; the key is checked
  // A write transaction; the caller's first statement finds out whether the key is still there
  // (ERROR_KEY_DELETED when it is not).
  kWriteCheckedByCaller,
  // No transaction of its own: the call is one statement, which SQLite runs as a transaction
  // (or inside a batch's), and which tells a deleted key apart itself.
  kOneStatement,
};

// One registry call: the session, its transaction and the resolved handle.
class Call {
 public:
  // Resolves `key` needing `rights` (0 for none).
  Call(HKEY key, REGSAM rights, Work work);

  DWORD status() const { return status_; }
  Hive& hive() { return session_.hive(); }
  Session& session() { return session_; }
  KeyHandle& handle() { return *handle_; }
  const std::shared_ptr<KeyHandle>& shared_handle() const { return handle_; }

  // Makes the call's work durable; a write's changes then reach the waiters (notify.h).
  DWORD Commit() { return txn_ ? txn_->Commit() : ERROR_SUCCESS; }

 private:
  Session session_;
  std::shared_ptr<KeyHandle> handle_;
  std::optional<Transaction> txn_;
  DWORD status_;
};

// Copies a name into a caller's buffer: *size counts characters with the terminator on the way
// in and without it on the way out. ERROR_MORE_DATA, nothing copied, when it does not fit.
DWORD CopyName(const std::string& name, LPSTR buffer, LPDWORD size);

// Hands stored data to RegQueryValueExA/RegEnumValueA's out-parameters (see winreg.h): type,
// size, and the bytes when they fit, a string type followed by a zero byte when there is room.
DWORD CopyData(const std::vector<BYTE>& data, DWORD type, LPDWORD type_out, LPBYTE buffer,
               LPDWORD size);

void FileTimeOut(int64_t written, PFILETIME out);

// Rights that only a writable hive can grant.
bool AsksToWrite(REGSAM rights);

// Makes the handle a caller gets for key `id` at `path`.
LONG OpenResult(Call& call, int64_t id, const std::string& path, REGSAM rights, PHKEY result);

}  // namespace pairway::registry

#endif  // PAIRWAY_REGISTRY_REG_CALL_H
