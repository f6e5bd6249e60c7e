// hive.h: the registry hive of a machine root, kept in one SQLite database.
//
// LAYOUT
//
//   meta(name TEXT PRIMARY KEY, value)
//       "format" = 1. A file without this row is not a hive.
//   keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name TEXT, path TEXT UNIQUE,
//        class TEXT, written INTEGER)
//       One row per key. `path` is the key's full path folded to upper case (ASCII), its root's id
//       first: "1\SYSTEM\CURRENTCONTROLSET". It never changes, so a lookup of any path is one
//       indexed read. `name` keeps the case the key was created with. `written` is the last write
//       time in 100 ns units since 1601 (the platform's FILETIME). AUTOINCREMENT keeps a deleted
//       key's id from being given to a new key, so an open handle of a deleted key can never
//       reach another key. The roots are rows 1 (HKEY_LOCAL_MACHINE) and 2 (HKEY_CURRENT_USER)
//       with parent 0.
//   vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER, name TEXT, fold TEXT, type INTEGER,
//        data BLOB, UNIQUE(key, fold))
//       One row per value. Replacing a value updates its row, so it keeps its id and with it its
//       place in the enumeration order (creation order).
//   changes(seq INTEGER PRIMARY KEY AUTOINCREMENT, path TEXT, kind INTEGER)
//       The change log that notification reads: every write appends the folded path of the key
//       whose values changed (kind REG_NOTIFY_CHANGE_LAST_SET) or whose subkeys were created or
//       deleted (kind REG_NOTIFY_CHANGE_NAME). A deleted key also logs its own path with
//       REG_NOTIFY_CHANGE_NAME | kKeyDeleted, which wakes every watch on that key whatever its
//       filter: a watch on a key that is gone could otherwise never fire. Every
//       kChangeLogPruneEvery-th append prunes the rows older than kChangeLogKeep entries.
//   volatile(id INTEGER PRIMARY KEY)
//       The keys made with REG_OPTION_VOLATILE, removed when the hive boots (volatile_keys.h).
//
// RULES
//
//   1. Every registry call is one SQLite transaction: writes take BEGIN IMMEDIATE, reads BEGIN
//      DEFERRED. The change-log row is written in the same transaction as the change, so a
//      change is logged exactly when it happened.
//   2. The database runs in WAL mode with synchronous=NORMAL: a transaction that committed
//      survives the death of its process (the WAL is in the page cache); power loss is out of
//      scope, as it is for the platform's lazily flushed hives. Checkpoints are made by a thread
//      of the process, not in the writers' commits (checkpoints.h).
//   3. A new hive is built in a temporary file and linked into place whole, so no process ever
//      sees a hive file without its schema. An existing file that is not a hive is reported
//      (ERROR_BADDB, ERROR_REGISTRY_CORRUPT) and never rebuilt: nothing empties a hive.
//
// FILE ACCESS
//
//   Every open of a hive file goes through SQLite's default VFS as it is at that moment. That is
//   the seam for fault tests: a test registers a wrapping VFS as the default before a fresh root's
//   hive is opened and fails chosen writes (hive_test.cpp).
//
// A crash at any step leaves either the whole transaction or none of it; SQLite rolls back the
// unfinished one when the next process opens the file.
#ifndef PAIRWAY_REGISTRY_HIVE_H
#define PAIRWAY_REGISTRY_HIVE_H

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace pairway::registry {

constexpr int64_t kLocalMachineId = 1;
constexpr int64_t kCurrentUserId = 2;
constexpr int64_t kChangeLogKeep = 4096;
constexpr int64_t kChangeLogPruneEvery = 64;
// The change-log kind bit of a key's own deletion (beside the REG_NOTIFY_CHANGE_* bits).
constexpr DWORD kKeyDeleted = 0x100;

// Turns an SQLite result code into the platform's error code. The only place that does.
DWORD ErrorFromSqlite(int rc);

// A prepared statement, taken from the connection's cache (or finalized when done, where the
// cached one is in use). `sql` must be a string literal: its address names it in the cache.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  int prepare_rc() const { return prepare_rc_; }
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindBlob(int index, const void* data, size_t size);
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  int64_t Int(int column) const;
  bool Null(int column) const;
  std::string Text(int column) const;
  std::vector<BYTE> Blob(int column) const;

 private:
  sqlite3* db_;
  const char* sql_;
  sqlite3_stmt* stmt_ = nullptr;
  bool cached_ = false;
  int prepare_rc_;
};

class HiveUsers;
class Checkpointer;

// One row the transaction under way appended to the change log.
struct LoggedChange {
  std::string path;
  DWORD kind;
  int64_t seq;
};

// One open hive file. Not thread-safe: the session serialises its callers.
class Hive {
 public:
  // Opens the hive of `root`, creating it when the root has none. ERROR_SUCCESS or the error.
  static DWORD Open(const std::filesystem::path& root, std::unique_ptr<Hive>* hive);
  ~Hive();

  sqlite3* db() const { return db_; }
  const std::filesystem::path& file() const { return file_; }
  // Where a commit announces its changes to other processes (notify.h); -1 when it cannot.
  int notify_fd() const { return notify_fd_; }
  // A hive file without write permission bits is read-only for everyone, root included.
  bool ReadOnly() const;

  DWORD Begin(bool write);
  // Makes the transaction durable, then hands the changes it logged to the notification
  // (notify.h): this process's watches first, then the other processes'.
  DWORD Commit();
  void Rollback();

  // The change-log rows of the transaction under way, in the order they were appended.
  std::vector<LoggedChange>& pending_changes() { return pending_; }

 private:
  Hive(sqlite3* db, std::filesystem::path file);
  std::unique_ptr<HiveUsers> users_;  // held for as long as the connection is open
  std::unique_ptr<Checkpointer> checkpoints_;
  sqlite3* db_;
  std::filesystem::path file_;
  std::vector<LoggedChange> pending_;
  int notify_fd_ = -1;
  mutable int attrib_fd_;       // inotify watch of the file's attributes; -1 without one
  mutable int read_only_ = -1;  // ReadOnly()'s last answer, -1 before the first
};

// A transaction that rolls back unless committed. Inside a batch (see registry_batch.h) on the
// calling thread it does nothing: the batch's own transaction holds every call.
class Transaction {
 public:
  Transaction(Hive& hive, bool write);
  ~Transaction() {
    if (rc_ == ERROR_SUCCESS && !done_ && !nested_) hive_.Rollback();
  }
  DWORD status() const { return rc_; }
  bool nested() const { return nested_; }
  DWORD Commit() {
    done_ = true;
    return nested_ ? ERROR_SUCCESS : hive_.Commit();
  }

 private:
  Hive& hive_;
  bool nested_;
  DWORD rc_;
  bool done_ = false;
};

// The hive of the current root ($PAIRWAY_ROOT), opened on first use and reopened when the
// variable names another root. Holding a Session locks the process's connection, except on a
// thread inside a batch, which holds the lock already and reuses the batch's hive.
class Session {
 public:
  Session();
  // ERROR_SUCCESS when a hive is open; otherwise the reason, and hive() must not be used.
  DWORD status() const { return status_; }
  Hive& hive() { return *current_; }
  // Changes each time another hive is opened; key handles remember theirs.
  uint64_t generation() const { return generation_; }

 private:
  std::unique_lock<std::mutex> lock_;
  DWORD status_;
  Hive* current_ = nullptr;
  uint64_t generation_ = 0;
};

// Marks the calling thread as inside a batch on `hive` (null ends it).
void SetThreadBatch(Hive* hive, uint64_t generation);

// Folds a name to the form keys and values are matched by (ASCII upper case).
std::string Fold(std::string_view name);

// Current time as a FILETIME count.
int64_t FileTimeNow();

}  // namespace pairway::registry

#endif  // PAIRWAY_REGISTRY_HIVE_H
