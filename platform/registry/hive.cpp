// The hive file: opening, creating, the schema and SQLite's error codes. See hive.h.
#include "hive.h"

#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <system_error>

#include "checkpoints.h"
#include "notify.h"
#include "pairway/machine_root.h"
#include "volatile_keys.h"

namespace pairway::registry {
namespace {

constexpr int kBusyTimeoutMs = 30000;

const char kSchema[] =
    "CREATE TABLE meta(name TEXT PRIMARY KEY, value);"
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, path TEXT NOT NULL UNIQUE, class TEXT NOT NULL DEFAULT '',"
    " written INTEGER NOT NULL);"
    "CREATE INDEX keys_by_parent ON keys(parent, path);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,"
    " name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
    " UNIQUE(key, fold));"
    "CREATE TABLE changes(seq INTEGER PRIMARY KEY AUTOINCREMENT, path TEXT NOT NULL,"
    " kind INTEGER NOT NULL);"
    "CREATE TABLE volatile(id INTEGER PRIMARY KEY);"
    "INSERT INTO meta VALUES('format', 1);";

DWORD Exec(sqlite3* db, const char* sql) {
  return ErrorFromSqlite(sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

DWORD Configure(sqlite3* db) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 0);
  return Exec(db, "PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF;");
}

// Builds a complete hive in a private file and links it into place; losing the race to another
// process that did the same is fine, its hive is used.
DWORD CreateHiveFile(const std::filesystem::path& file) {
  std::filesystem::path temp = file;
  temp += ".new-" + std::to_string(getpid());
  unlink(temp.c_str());
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  DWORD error = ErrorFromSqlite(rc);
  if (error == ERROR_SUCCESS) error = Exec(db, "PRAGMA journal_mode=WAL;");
  if (error == ERROR_SUCCESS) {
    std::string sql = std::string("BEGIN;") + kSchema;
    int64_t now = FileTimeNow();
    sql += "INSERT INTO keys(id,parent,name,path,written) VALUES(1,0,'HKEY_LOCAL_MACHINE','1'," +
           std::to_string(now) + ");";
    sql += "INSERT INTO keys(id,parent,name,path,written) VALUES(2,0,'HKEY_CURRENT_USER','2'," +
           std::to_string(now) + ");COMMIT;";
    error = Exec(db, sql.c_str());
  }
  // Closing the last connection checkpoints the WAL into the file and removes it.
  sqlite3_close(db);
  if (error == ERROR_SUCCESS && link(temp.c_str(), file.c_str()) != 0 && errno != EEXIST) {
    error = ERROR_REGISTRY_IO_FAILED;
  }
  unlink(temp.c_str());
  std::filesystem::path side = temp;
  unlink((side.string() + "-wal").c_str());
  unlink((side.string() + "-shm").c_str());
  return error;
}

// An existing file must be a complete, undamaged hive.
DWORD CheckHive(sqlite3* db) {
  Statement check(db, "PRAGMA quick_check");
  if (check.prepare_rc() != SQLITE_OK) return ErrorFromSqlite(check.prepare_rc());
  int rc = check.Step();
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  if (check.Text(0) != "ok") return ERROR_REGISTRY_CORRUPT;
  Statement format(db, "SELECT value FROM meta WHERE name='format'");
  if (format.prepare_rc() != SQLITE_OK) {
    return format.prepare_rc() == SQLITE_ERROR ? ERROR_BADDB : ErrorFromSqlite(format.prepare_rc());
  }
  rc = format.Step();
  if (rc == SQLITE_DONE) return ERROR_BADDB;
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  return format.Int(0) == 1 ? ERROR_SUCCESS : ERROR_BADDB;
}

}  // namespace

DWORD ErrorFromSqlite(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOTADB:
      return ERROR_BADDB;
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    default:  // SQLITE_IOERR, SQLITE_FULL, SQLITE_CANTOPEN, SQLITE_ERROR, ...
      return ERROR_REGISTRY_IO_FAILED;
  }
}

namespace {

// Prepared statements, kept per connection and SQL text (every caller passes a literal), so a
// registry call does not compile its SQL again each time. Used under the session's lock only.
struct CachedStatement {
  sqlite3_stmt* stmt;
  bool in_use;
};
using StatementCache = std::map<std::pair<sqlite3*, const char*>, CachedStatement>;

StatementCache& Cache() {
  static StatementCache* cache = new StatementCache;  // outlives every connection
  return *cache;
}

void FinalizeCached(sqlite3* db) {
  StatementCache& cache = Cache();
  for (auto it = cache.begin(); it != cache.end();) {
    if (it->first.first == db) {
      sqlite3_finalize(it->second.stmt);
      it = cache.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

Statement::Statement(sqlite3* db, const char* sql) : db_(db), sql_(sql) {
  auto found = Cache().find({db, sql});
  if (found != Cache().end() && !found->second.in_use) {
    found->second.in_use = true;
    stmt_ = found->second.stmt;
    cached_ = true;
    prepare_rc_ = SQLITE_OK;
    return;
  }
  prepare_rc_ = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (prepare_rc_ == SQLITE_OK && found == Cache().end()) {
    Cache()[{db, sql}] = {stmt_, true};
    cached_ = true;
  }
}

Statement::~Statement() {
  if (!cached_) {
    sqlite3_finalize(stmt_);
    return;
  }
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  Cache()[{db_, sql_}].in_use = false;
}

Statement& Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  // An empty view may have no data pointer, which SQLite would store as NULL: keep it a text.
  sqlite3_bind_text(stmt_, index, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t size) {
  // A zero-length blob must stay a blob (not NULL): pass a valid pointer.
  static const char kEmpty = 0;
  sqlite3_bind_blob(stmt_, index, size == 0 ? &kEmpty : data, static_cast<int>(size),
                    SQLITE_TRANSIENT);
  return *this;
}

int Statement::Step() { return stmt_ == nullptr ? prepare_rc_ : sqlite3_step(stmt_); }

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::Null(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  int size = sqlite3_column_bytes(stmt_, column);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), size);
}

std::vector<BYTE> Statement::Blob(int column) const {
  const BYTE* data = static_cast<const BYTE*>(sqlite3_column_blob(stmt_, column));
  int size = sqlite3_column_bytes(stmt_, column);
  return data == nullptr ? std::vector<BYTE>() : std::vector<BYTE>(data, data + size);
}

DWORD Hive::Open(const std::filesystem::path& root, std::unique_ptr<Hive>* hive) {
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) return ERROR_REGISTRY_IO_FAILED;
  std::filesystem::path file = HivePath(root);
  if (!std::filesystem::exists(file, ec)) {
    DWORD error = CreateHiveFile(file);
    if (error != ERROR_SUCCESS) return error;
  } else if (std::filesystem::file_size(file, ec) == 0) {
    return ERROR_BADDB;  // a file emptied by something else: report it, never rebuild it
  }
  // Joined before the file is opened: a process that boots the hive holds the others back
  // until the volatile keys of the previous boot are gone (volatile_keys.h).
  bool first = false;
  std::unique_ptr<HiveUsers> users = HiveUsers::Join(file, &first);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    return ErrorFromSqlite(rc);
  }
  std::unique_ptr<Hive> opened(new Hive(db, file));
  opened->users_ = std::move(users);
  DWORD error = Configure(db);
  if (error == ERROR_SUCCESS) error = CheckHive(db);
  if (error == ERROR_SUCCESS)
    error = first ? DropVolatileKeys(*opened) : EnsureVolatileTable(*opened);
  if (error != ERROR_SUCCESS) return error;
  if (first) opened->users_->Share();
  opened->notify_fd_ = OpenAnnouncements(file);
  opened->checkpoints_ = std::make_unique<Checkpointer>(db, file);
  *hive = std::move(opened);
  return ERROR_SUCCESS;
}

Hive::Hive(sqlite3* db, std::filesystem::path file)
    : db_(db), file_(std::move(file)), attrib_fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
  if (attrib_fd_ >= 0 &&
      inotify_add_watch(attrib_fd_, file_.c_str(), IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
    close(attrib_fd_);
    attrib_fd_ = -1;
  }
}

Hive::~Hive() {
  FinalizeCached(db_);
  checkpoints_.reset();  // its connection closes first: closing the last one checkpoints
  sqlite3_close(db_);
  if (notify_fd_ >= 0) close(notify_fd_);
  if (attrib_fd_ >= 0) close(attrib_fd_);
}

bool Hive::ReadOnly() const {
  // The answer holds until the file's attributes change (chmod, chown) or the file is replaced:
  // the watch then has an event to read. Without a watch every call asks the file system.
  alignas(inotify_event) char events[1024];
  ssize_t n = attrib_fd_ >= 0 ? read(attrib_fd_, events, sizeof events) : 0;
  if (n < 0 && read_only_ >= 0) return read_only_ != 0;
  for (char* p = events; p < events + std::max<ssize_t>(n, 0);) {
    auto* event = reinterpret_cast<inotify_event*>(p);
    if (event->mask & IN_IGNORED) {  // the watched file is gone: no more events will come
      close(attrib_fd_);
      attrib_fd_ = -1;
    }
    p += sizeof(inotify_event) + event->len;
  }
  struct stat st;
  bool read_only =
      stat(file_.c_str(), &st) == 0 &&
      ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(file_.c_str(), W_OK) != 0);
  read_only_ = read_only ? 1 : 0;
  return read_only;
}

namespace {

// BEGIN, COMMIT and ROLLBACK as prepared statements: sqlite3_exec would compile them again on
// every call, a sizeable part of a short read's cost.
int Run(sqlite3* db, const char* sql) {
  Statement statement(db, sql);
  return statement.Step();
}

}  // namespace

DWORD Hive::Begin(bool write) {
  pending_.clear();
  return ErrorFromSqlite(Run(db_, write ? "BEGIN IMMEDIATE" : "BEGIN"));
}

DWORD Hive::Commit() {
  DWORD error = ErrorFromSqlite(Run(db_, "COMMIT"));
  if (error != ERROR_SUCCESS) {
    Rollback();
    return error;
  }
  if (!pending_.empty()) PublishChanges(*this, pending_);
  pending_.clear();
  return ERROR_SUCCESS;
}

void Hive::Rollback() {
  pending_.clear();
  if (sqlite3_get_autocommit(db_) == 0) Run(db_, "ROLLBACK");
}

namespace {

struct SessionState {
  std::mutex mutex;
  std::string root;
  std::string variable;  // PAIRWAY_ROOT as it was when `root` was made from it
  std::unique_ptr<Hive> hive;
  uint64_t generation = 0;
};

SessionState& State() {
  static SessionState* state = new SessionState;  // never destroyed: used until process exit
  return *state;
}

}  // namespace

namespace {
thread_local Hive* batch_hive = nullptr;
thread_local uint64_t batch_generation = 0;
}  // namespace

void SetThreadBatch(Hive* hive, uint64_t generation) {
  batch_hive = hive;
  batch_generation = generation;
}

Transaction::Transaction(Hive& hive, bool write)
    : hive_(hive), nested_(batch_hive == &hive), rc_(nested_ ? ERROR_SUCCESS : hive.Begin(write)) {}

Session::Session() {
  if (batch_hive != nullptr) {
    status_ = ERROR_SUCCESS;
    current_ = batch_hive;
    generation_ = batch_generation;
    return;
  }
  lock_ = std::unique_lock<std::mutex>(State().mutex);
  SessionState& state = State();
  // An absolute PAIRWAY_ROOT that did not change names the same root: no need to build the path
  // again (a relative one depends on the working directory, which may have changed).
  const char* variable = getenv("PAIRWAY_ROOT");
  if (state.hive && variable != nullptr && variable[0] == '/' && state.variable == variable) {
    status_ = ERROR_SUCCESS;
    current_ = state.hive.get();
    generation_ = state.generation;
    return;
  }
  state.variable = variable != nullptr ? variable : "";
  std::optional<std::filesystem::path> root = MachineRoot();
  if (!root) {
    status_ = ERROR_REGISTRY_IO_FAILED;
    return;
  }
  if (!state.hive || state.root != root->string()) {
    state.hive.reset();
    state.root = root->string();
    ++state.generation;
    status_ = Hive::Open(*root, &state.hive);
    if (status_ != ERROR_SUCCESS) {
      state.hive.reset();
      state.root.clear();
      return;
    }
  }
  status_ = ERROR_SUCCESS;
  current_ = state.hive.get();
  generation_ = state.generation;
}

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

int64_t FileTimeNow() {
  // FILETIME counts 100 ns intervals since 1601-01-01; Unix time starts 11644473600 s later.
  auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  int64_t units = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
  return units + 116444736000000000LL;
}

}  // namespace pairway::registry
