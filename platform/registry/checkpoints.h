// checkpoints.h: copying a hive's WAL back into its file (a checkpoint), off the writers' path.
//
// SQLite's default is to checkpoint inside the commit that takes the WAL past 1,000 pages: that
// writer's call then pays the copy and two fdatasync, milliseconds on a busy disk, and so does
// every waiter it was to wake. Instead the hive's connection has automatic checkpoints off and
// each commit tells the Checkpointer how many frames the WAL holds (SQLite's WAL hook: a number
// it has at hand, no system call). Past kBackgroundFrames a thread of the process runs a passive
// checkpoint on a connection of its own, which neither waits for nor holds up readers and
// writers. Should the WAL reach kWriterFrames all the same (the thread cannot keep up), the
// writer checkpoints in its commit, as SQLite would have.
//
// Durability does not depend on it: a committed transaction is in the WAL, which the next open
// reads back after any crash, checkpointed or not; a checkpoint cut short by a crash is done
// again from the WAL.
#ifndef PAIRWAY_REGISTRY_CHECKPOINTS_H
#define PAIRWAY_REGISTRY_CHECKPOINTS_H

#include <sqlite3.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace pairway::registry {

constexpr int kBackgroundFrames = 1000;
constexpr int kWriterFrames = 4000;

class Checkpointer {
 public:
  // Takes over the checkpoints of `db`, the connection of the hive `file`.
  Checkpointer(sqlite3* db, std::filesystem::path file);
  // Stops the thread and closes its connection; before `db` is closed.
  ~Checkpointer();
  Checkpointer(const Checkpointer&) = delete;
  Checkpointer& operator=(const Checkpointer&) = delete;

 private:
  static int OnCommit(void* self, sqlite3* db, const char* schema, int frames);
  void Request();
  void Run();

  const std::filesystem::path file_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;  // guarded by mutex_
  bool stop_ = false;       // guarded by mutex_
  std::thread thread_;      // started by the first request
};

}  // namespace pairway::registry

#endif  // PAIRWAY_REGISTRY_CHECKPOINTS_H
