// Checkpoints in a thread of their own; see checkpoints.h.
#include "checkpoints.h"

namespace pairway::registry {

Checkpointer::Checkpointer(sqlite3* db, std::filesystem::path file) : file_(std::move(file)) {
  sqlite3_wal_autocheckpoint(db, 0);
  sqlite3_wal_hook(db, &Checkpointer::OnCommit, this);
}

Checkpointer::~Checkpointer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

int Checkpointer::OnCommit(void* self, sqlite3* db, const char* schema, int frames) {
  if (frames >= kWriterFrames) {
    sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  } else if (frames >= kBackgroundFrames) {
    static_cast<Checkpointer*>(self)->Request();
  }
  return SQLITE_OK;  // the commit stands whatever the checkpoint did
}

void Checkpointer::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  wake_.notify_one();
}

void Checkpointer::Run() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    db = nullptr;  // the writers' own checkpoints at kWriterFrames remain
  } else {
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return requested_ || stop_; });
    if (stop_) break;
    requested_ = false;
    lock.unlock();
    if (db != nullptr) {
      sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    lock.lock();
  }
  lock.unlock();
  sqlite3_close(db);
}

}  // namespace pairway::registry
