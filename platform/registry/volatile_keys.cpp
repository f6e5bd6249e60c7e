// Volatile keys and the hive's boot; see volatile_keys.h.
#include "volatile_keys.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pairway::registry {
namespace {

constexpr char kUsersFile[] = "registry.open";

// A table that does not exist (a hive made before it, opened read-only so far) holds no keys.
bool MissingTable(const Statement& statement) { return statement.prepare_rc() == SQLITE_ERROR; }

}  // namespace

std::unique_ptr<HiveUsers> HiveUsers::Join(const std::filesystem::path& hive_file, bool* first) {
  *first = false;
  const std::filesystem::path file = hive_file.parent_path() / kUsersFile;
  int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    *first = true;
  } else if (flock(fd, LOCK_SH) != 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<HiveUsers>(new HiveUsers(fd));
}

HiveUsers::~HiveUsers() { close(fd_); }  // closing drops the lock

void HiveUsers::Share() { flock(fd_, LOCK_SH); }

DWORD EnsureVolatileTable(Hive& hive) {
  if (hive.ReadOnly()) return ERROR_SUCCESS;
  return ErrorFromSqlite(sqlite3_exec(hive.db(),
                                      "CREATE TABLE IF NOT EXISTS volatile(id INTEGER PRIMARY KEY)",
                                      nullptr, nullptr, nullptr));
}

DWORD DropVolatileKeys(Hive& hive) {
  if (hive.ReadOnly()) return ERROR_SUCCESS;  // nothing could have made a volatile key
  DWORD error = EnsureVolatileTable(hive);
  if (error != ERROR_SUCCESS) return error;
  sqlite3* db = hive.db();
  int rc = sqlite3_exec(db,
                        "BEGIN IMMEDIATE;"
                        "DELETE FROM vals WHERE key IN (SELECT id FROM volatile);"
                        "DELETE FROM keys WHERE id IN (SELECT id FROM volatile);"
                        "DELETE FROM volatile;"
                        "COMMIT;",
                        nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return ErrorFromSqlite(rc);
}

DWORD IsVolatileKey(Hive& hive, int64_t id, bool* is_volatile) {
  *is_volatile = false;
  Statement find(hive.db(), "SELECT 1 FROM volatile WHERE id = ?1");
  if (MissingTable(find)) return ERROR_SUCCESS;
  find.Bind(1, id);
  int rc = find.Step();
  *is_volatile = rc == SQLITE_ROW;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(rc);
}

DWORD MarkVolatileKey(Hive& hive, int64_t id) {
  DWORD error = EnsureVolatileTable(hive);
  if (error != ERROR_SUCCESS) return error;
  Statement mark(hive.db(), "INSERT INTO volatile(id) VALUES(?1)");
  mark.Bind(1, id);
  return ErrorFromSqlite(mark.Step());
}

DWORD ForgetVolatileKey(Hive& hive, int64_t id) {
  Statement forget(hive.db(), "DELETE FROM volatile WHERE id = ?1");
  if (MissingTable(forget)) return ERROR_SUCCESS;
  forget.Bind(1, id);
  return ErrorFromSqlite(forget.Step());
}

}  // namespace pairway::registry
