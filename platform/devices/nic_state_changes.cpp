// The shared change counters of the emulated ports; the protocol is in nic_state_changes.h.
#include "devices/nic_state_changes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "pairway/machine_root.h"

namespace pairway {
namespace {

constexpr size_t kWords = 1024;
constexpr size_t kBytes = kWords * sizeof(uint64_t);
constexpr size_t kWriting = 0;
constexpr size_t kEpoch = 1;
constexpr size_t kPorts = 2;
constexpr size_t kFirstGeneration = 3;

constexpr char kFileName[] = "nic-state.changes";

}  // namespace

std::unique_ptr<NicStateChanges> NicStateChanges::Open(const std::filesystem::path& root,
                                                       bool* unwritable) {
  *unwritable = false;
  const std::filesystem::path run = RunDir(root);
  // The run folder is made inside an existing root only: a reader never makes a root.
  if (mkdir(run.c_str(), 0755) != 0 && errno != EEXIST) return nullptr;
  const std::filesystem::path file = run / kFileName;
  bool writable = true;
  int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    writable = false;
    fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    *unwritable = fd >= 0;
  }
  if (fd < 0) return nullptr;
  struct stat info {};
  // Two processes making the file at once both grow it to the same size; growing never
  // touches counters already written, and nothing ever shrinks it.
  if (fstat(fd, &info) != 0 ||
      (static_cast<size_t>(info.st_size) < kBytes && (!writable || ftruncate(fd, kBytes) != 0))) {
    close(fd);
    *unwritable = true;
    return nullptr;
  }
  void* words =
      mmap(nullptr, kBytes, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  close(fd);  // the mapping keeps the file
  if (words == MAP_FAILED) return nullptr;
  return std::unique_ptr<NicStateChanges>(
      new NicStateChanges(static_cast<uint64_t*>(words), writable));
}

NicStateChanges::~NicStateChanges() { munmap(words_, kBytes); }

size_t NicStateChanges::GenerationIndex(std::string_view service) {
  if (service.empty()) return kPorts;
  uint32_t hash = 2166136261u;
  for (char c : service) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return kFirstGeneration + hash % (kWords - kFirstGeneration);
}

NicStamp NicStateChanges::Stamp(std::string_view service) const {
  NicStamp stamp;
  stamp.valid = Word(kWriting).load() == 0;
  stamp.epoch = Word(kEpoch).load();
  stamp.generation = Word(GenerationIndex(service)).load();
  return stamp;
}

bool NicStateChanges::Current(const NicStamp& kept, std::string_view service) const {
  if (!kept.valid) return false;
  const NicStamp now = Stamp(service);
  return now.valid && now.epoch == kept.epoch && now.generation == kept.generation;
}

void NicStateChanges::BeginWrite() {
  if (Word(kWriting).exchange(1) != 0) Word(kEpoch).fetch_add(1);  // rule 3
}

void NicStateChanges::EndWrite(std::string_view service, bool ports_changed) {
  Word(GenerationIndex(service)).fetch_add(1);
  if (ports_changed) Word(kPorts).fetch_add(1);
  Word(kWriting).store(0);
}

}  // namespace pairway
