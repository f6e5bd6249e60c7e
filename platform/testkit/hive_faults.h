// hive_faults.h: a hive that stops taking writes, for the tests of how callers report them.
//
// A full or failing disk refuses a registry write while reads go on working; the caller gets
// ERROR_REGISTRY_IO_FAILED and nothing changed. These helpers make the hive of this process do
// that at a chosen point: RefuseHiveWritesAfter(n) lets n more registry writes through (calls that
// change the hive: each is one transaction) and refuses every later one, until AcceptHiveWrites.
//
// How: the hive reaches its files through SQLite's default VFS as it is when the hive is opened.
// InstallHiveFaults puts a wrapper in front of it that counts the WAL frames ending a transaction
// and fails the WAL writes of any transaction past the allowance. It must run before the test's
// machine root opens its hive (before the TempRoot's first registry call); once installed it stays,
// passing everything through while disarmed.
//
// For the test's own process only; one test at a time.
#ifndef PAIRWAY_TESTKIT_HIVE_FAULTS_H
#define PAIRWAY_TESTKIT_HIVE_FAULTS_H

namespace pairway::testing {

// Installs the wrapper once per process; later calls do nothing. False when SQLite has no default
// VFS to wrap.
bool InstallHiveFaults();

// From now on the hive takes `writes` more registry writes and refuses the rest.
void RefuseHiveWritesAfter(int writes);

// The hive takes every write again.
void AcceptHiveWrites();

// Lower down: every write and sync of the hive's files, as SQLite is about to make it.
struct HiveFileOperation {
  bool wal;   // on the write-ahead log (else the database file itself)
  bool sync;  // a sync (data, amount and offset unused) rather than a write
  const void* data;
  int amount;
  long long offset;
};
// `filter` sees each operation first and returns 0 to let it through or an SQLite error code
// (SQLITE_IOERR_WRITE, ...) to fail it; null lets everything through. RefuseHiveWritesAfter sets
// a filter of its own. Requires InstallHiveFaults.
void SetHiveFileFilter(int (*filter)(const HiveFileOperation& operation));

// Refuses writes after `writes` more for the life of the object.
class RefusingHive {
 public:
  explicit RefusingHive(int writes) { RefuseHiveWritesAfter(writes); }
  ~RefusingHive() { AcceptHiveWrites(); }
  RefusingHive(const RefusingHive&) = delete;
  RefusingHive& operator=(const RefusingHive&) = delete;
};

}  // namespace pairway::testing

#endif  // PAIRWAY_TESTKIT_HIVE_FAULTS_H
