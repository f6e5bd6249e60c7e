// nic_state_changes.h: the change counters of a root's emulated NIC ports, in memory that every
// process of the root maps, so that a process may keep a port's parsed state and know at the
// cost of three memory loads whether it is still the state on disk.
//
// LAYOUT of <root>/run/nic-state.changes (8192 bytes, all zero when made; never shrunk):
//
//   word 0      writing    nonzero while a writer is between its first and last step
//   word 1      epoch      raised when a writer finds `writing` left set by one that died
//   word 2      ports      raised whenever a state file is made or removed (the set of ports)
//   word 3..    generation of the ports whose service name hashes to the word (FNV-1a of the
//               upper-case name); ports that share a word only cost each other extra reads
//
// RULES
//
//   1. Writers hold the exclusive lock of <root>/nic/.lock for the whole write, so there is at
//      most one writer per root. It stores `writing`, raises `epoch` if `writing` was already
//      set (its predecessor died inside a write), replaces or removes the state file, raises the
//      port's generation (and `ports` when the file was made or removed), then clears `writing`.
//   2. A reader takes a Stamp (writing, epoch, the generation) before it reads the file, and
//      keeps the Stamp with what it read. What it kept is current while Current() says so: no
//      write under way, the same epoch and the same generation.
//   3. A writer killed after its replace and before its raise leaves `writing` set: no kept
//      state counts as current until the next writer raises the epoch, so no reader answers
//      from a state older than the file. A writer killed before its replace changed nothing.
//   4. Where the file cannot be mapped (no run folder can be made), readers keep nothing and
//      read every state afresh; writers go on without counters, since no reader can hold one.
//
// All loads and stores are sequentially consistent atomics on the shared words. Thread-safe.
#ifndef PAIRWAY_DEVICES_NIC_STATE_CHANGES_H
#define PAIRWAY_DEVICES_NIC_STATE_CHANGES_H

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace pairway {

// What a reader saw before it read a file. A stamp with `valid` false is never current.
struct NicStamp {
  bool valid = false;
  uint64_t epoch = 0;
  uint64_t generation = 0;
};

class NicStateChanges {
 public:
  // Maps the counters of `root`, making the run folder and the file when missing. Null when
  // they cannot be mapped (rule 4); *unwritable is then true when the file exists but this
  // process may not write it (a writer must not go on without its counters).
  static std::unique_ptr<NicStateChanges> Open(const std::filesystem::path& root, bool* unwritable);
  ~NicStateChanges();
  NicStateChanges(const NicStateChanges&) = delete;
  NicStateChanges& operator=(const NicStateChanges&) = delete;

  bool writable() const { return writable_; }

  // Rule 2. `service` is upper case; an empty one stamps the set of ports.
  NicStamp Stamp(std::string_view service) const;
  bool Current(const NicStamp& kept, std::string_view service) const;

  // Rule 1, for a writer that holds the folder's lock and a writable mapping.
  void BeginWrite();
  void EndWrite(std::string_view service, bool ports_changed);

 private:
  NicStateChanges(uint64_t* words, bool writable) : words_(words), writable_(writable) {}
  std::atomic_ref<uint64_t> Word(size_t index) const {
    return std::atomic_ref<uint64_t>(words_[index]);
  }
  static size_t GenerationIndex(std::string_view service);

  uint64_t* words_;  // the shared mapping, kWords long
  bool writable_;
};

}  // namespace pairway

#endif  // PAIRWAY_DEVICES_NIC_STATE_CHANGES_H
