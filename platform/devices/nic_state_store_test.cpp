// The emulated ports' state shared between processes: what one process kept never outlives a
// write by another, a killed writer leaves no reader behind, and a set is seen whole or not.
#include <ntddndis.h>
#include <windows.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "pairway/nic_state.h"
#include "temp_root.h"

namespace {

namespace fs = std::filesystem;
using pairway::NicState;
using pairway::testing::TempRoot;

uint64_t Counter(const fs::path& root, const char* service, DWORD oid) {
  NicState state;
  if (pairway::ReadNicState(root, service, &state) != ERROR_SUCCESS) return UINT64_MAX;
  return pairway::NicCounter(state, oid);
}

DWORD SetCounters(const fs::path& root, const char* service, uint64_t value) {
  return pairway::UpdateNicState(root, service, [value](NicState* state) -> DWORD {
    state->counters[OID_GEN_XMIT_OK] = value;
    state->counters[OID_GEN_RCV_OK] = value;
    return ERROR_SUCCESS;
  });
}

// Runs `body` in a child process and returns its exit status.
template <typename Body>
int InChild(Body body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(NicStateSharing, AWriteInAnotherProcessShowsInTheNextRead) {
  TempRoot root;
  ASSERT_EQ(SetCounters(root.path(), "TREVAN1", 1), 0u);
  ASSERT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 1u);  // now kept here
  ASSERT_EQ(pairway::ListNicPorts(root.path()), std::vector<std::string>{"TREVAN1"});

  ASSERT_EQ(InChild([&] { return SetCounters(root.path(), "TREVAN1", 2) == 0 ? 0 : 1; }), 0);
  EXPECT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 2u);

  // A port made or removed elsewhere changes the list this process kept.
  ASSERT_EQ(InChild([&] { return SetCounters(root.path(), "TREVAN2", 5) == 0 ? 0 : 1; }), 0);
  EXPECT_EQ(pairway::ListNicPorts(root.path()), (std::vector<std::string>{"TREVAN1", "TREVAN2"}));
  ASSERT_EQ(InChild([&] { return pairway::RemoveNicState(root.path(), "TREVAN1") == 0 ? 0 : 1; }),
            0);
  EXPECT_EQ(pairway::ListNicPorts(root.path()), std::vector<std::string>{"TREVAN2"});
  EXPECT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), UINT64_MAX);
}

TEST(NicStateSharing, AWriterKilledBeforeItRaisedTheCounterLeavesNoStaleReader) {
  TempRoot root;
  ASSERT_EQ(SetCounters(root.path(), "TREVAN1", 1), 0u);
  ASSERT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 1u);
  // What a writer killed between replacing the file and raising its counter leaves: the
  // shared "writing" word set, and the new file in place.
  NicState state = pairway::DefaultNicState(1);
  state.counters[OID_GEN_XMIT_OK] = 7;
  const fs::path file = root.path() / "nic" / "TREVAN1.state";
  std::ofstream(file.string() + ".new") << pairway::ShowNicState(state);
  const int changes = open((root.path() / "run" / "nic-state.changes").c_str(), O_WRONLY);
  ASSERT_GE(changes, 0);
  const uint64_t writing = 1;
  ASSERT_EQ(pwrite(changes, &writing, sizeof writing, 0), 8);
  close(changes);
  fs::rename(file.string() + ".new", file);

  EXPECT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 7u);
  // The next writer clears what the dead one left, and what is kept is current again.
  ASSERT_EQ(SetCounters(root.path(), "TREVAN1", 8), 0u);
  EXPECT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 8u);
  EXPECT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 8u);
}

TEST(NicStateSharing, AReaderInAnotherProcessSeesEverySetWholeOrNotAtAll) {
  TempRoot root;
  constexpr uint64_t kSets = 300;
  ASSERT_EQ(SetCounters(root.path(), "TREVAN3", 0), 0u);
  // The reader, a process of its own, reads until it has seen the last set; it exits 1 on a
  // set seen in part or a state older than one it saw before.
  const pid_t reader = fork();
  if (reader == 0) {
    uint64_t last = 0;
    for (long i = 0; i < 100000000 && last < kSets; ++i) {
      NicState seen;
      if (pairway::ReadNicState(root.path(), "TREVAN3", &seen) != ERROR_SUCCESS) _exit(2);
      const uint64_t sent = pairway::NicCounter(seen, OID_GEN_XMIT_OK);
      if (sent != pairway::NicCounter(seen, OID_GEN_RCV_OK) || sent < last) _exit(1);
      last = sent;
    }
    _exit(last == kSets ? 0 : 3);
  }
  for (uint64_t i = 1; i <= kSets; ++i) ASSERT_EQ(SetCounters(root.path(), "TREVAN3", i), 0u);
  int status = 0;
  waitpid(reader, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(NicStateSharing, ADamagedFileIsReportedAndKeptEvenWhereItsPortWasKept) {
  TempRoot root;
  ASSERT_EQ(SetCounters(root.path(), "TREVAN1", 4), 0u);
  ASSERT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 4u);
  const fs::path file = root.path() / "nic" / "TREVAN1.state";
  std::ofstream(file, std::ios::app) << "garbage\n";
  EXPECT_EQ(SetCounters(root.path(), "TREVAN1", 5), static_cast<DWORD>(ERROR_INVALID_DATA));
  std::ifstream kept(file);
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(kept), {}).find("garbage"),
            std::string::npos);
}

TEST(NicStateSharing, KeptStatesStillCountTheirTraffic) {
  TempRoot root;
  ASSERT_EQ(pairway::UpdateNicState(root.path(), "TREVAN1",
                                    [](NicState* state) -> DWORD {
                                      std::string error;
                                      return pairway::SetNicField(state, "traffic=on", &error);
                                    }),
            0u);
  const uint64_t first = Counter(root.path(), "TREVAN1", OID_GEN_RCV_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GT(Counter(root.path(), "TREVAN1", OID_GEN_RCV_OK), first);
}

TEST(NicStateSharing, WithoutARunFolderEveryReadGoesToTheFile) {
  TempRoot root;
  std::ofstream(root.path() / "run") << "not a folder";
  ASSERT_EQ(SetCounters(root.path(), "TREVAN1", 1), 0u);
  ASSERT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 1u);
  ASSERT_EQ(InChild([&] { return SetCounters(root.path(), "TREVAN1", 2) == 0 ? 0 : 1; }), 0);
  EXPECT_EQ(Counter(root.path(), "TREVAN1", OID_GEN_XMIT_OK), 2u);
}

}  // namespace
