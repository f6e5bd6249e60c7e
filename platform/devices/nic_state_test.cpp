#include "pairway/nic_state.h"

#include <ntddndis.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "temp_root.h"

namespace {

using pairway::NicState;
using pairway::testing::TempRoot;

TEST(NicState, FieldsSurviveTheStateFile) {
  TempRoot root;
  NicState state = pairway::DefaultNicState(3);
  std::string error;
  for (const char* assignment :
       {"OID_GEN_DIRECTED_BYTES_XMIT=4294967295", "permanent-address=00A0C9123456",
        "multicast=01005E000001,01005E000002", "multicast-max=4", "driver-version=0x0401",
        "link=down", "adapter-info=2,Quad Port,1,2,3,4,5", "silent=1", "vendor-id=023C7B"}) {
    ASSERT_EQ(pairway::SetNicField(&state, assignment, &error), 0u) << assignment << error;
  }
  ASSERT_EQ(pairway::WriteNicState(root.path(), "TREVAN3", state), 0u);
  NicState read;
  ASSERT_EQ(pairway::ReadNicState(root.path(), "trevan3", &read), 0u);
  EXPECT_EQ(pairway::ShowNicState(read), pairway::ShowNicState(state));
  EXPECT_NE(pairway::ShowNicState(read).find("adapter-info=2,Quad Port,1,2,3,4,5\n"),
            std::string::npos);
  EXPECT_EQ(pairway::NicCounter(read, OID_GEN_DIRECTED_BYTES_XMIT), 4294967295u);
}

TEST(NicState, BadAssignmentsAreRefusedAndChangeNothing) {
  NicState state = pairway::DefaultNicState(1);
  const std::string before = pairway::ShowNicState(state);
  std::string error;
  for (const char* assignment :
       {"OID_GEN_XMIT_OK=-1", "OID_GEN_XMIT_OK=18446744073709551616", "permanent-address=00A0C9",
        "multicast=01005E00000", "link=sideways", "adapter-info=1", "driver-version=0x10000",
        "no-such-field=1", "OID_GEN_XMIT_OK", "traffic-since=5",
        "adapter-info=1,a text of sixty characters is one more than the record holds....."}) {
    EXPECT_EQ(pairway::SetNicField(&state, assignment, &error),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER))
        << assignment;
    EXPECT_FALSE(error.empty());
  }
  // The message tells a misspelt field from a bad value.
  pairway::SetNicField(&state, "multicast-maxx=3", &error);
  EXPECT_EQ(error, "unknown field 'multicast-maxx'");
  pairway::SetNicField(&state, "multicast-max=x", &error);
  EXPECT_EQ(error, "bad value for multicast-max: 'x'");
  EXPECT_EQ(pairway::ShowNicState(state), before);
  EXPECT_EQ(pairway::SetNicField(&state, "multicast=", &error), 0u);  // empty: no addresses
  EXPECT_TRUE(state.multicast.empty());
}

TEST(NicState, BrokenOrMissingFilesAndBadNamesAreReported) {
  TempRoot root;
  NicState state;
  EXPECT_EQ(pairway::ReadNicState(root.path(), "TREVAN1", &state),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(pairway::WriteNicState(root.path(), "../x", state),
            static_cast<DWORD>(ERROR_INVALID_NAME));
  std::filesystem::create_directories(root.path() / "nic");
  std::ofstream(root.path() / "nic" / "TREVAN1.state") << "link=up\ngarbage\n";
  EXPECT_EQ(pairway::ReadNicState(root.path(), "TREVAN1", &state),
            static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST(NicState, PortsAreListedByInstanceNumber) {
  TempRoot root;
  for (const char* service : {"TREVAN10", "TREVAN2", "TREVAN1"})
    ASSERT_EQ(pairway::WriteNicState(root.path(), service, pairway::DefaultNicState(1)), 0u);
  EXPECT_EQ(pairway::ListNicPorts(root.path()),
            (std::vector<std::string>{"TREVAN1", "TREVAN2", "TREVAN10"}));
}

TEST(NicState, TrafficCountsUpWhileOnAndStopsWhenOff) {
  NicState state = pairway::DefaultNicState(1);
  std::string error;
  ASSERT_EQ(pairway::SetNicField(&state, "OID_GEN_XMIT_OK=10", &error), 0u);
  ASSERT_EQ(pairway::SetNicField(&state, "traffic=on", &error), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const uint64_t counted = pairway::NicCounter(state, OID_GEN_XMIT_OK);
  EXPECT_GT(counted, 10u);
  EXPECT_EQ(pairway::NicCounter(state, OID_GEN_XMIT_ERROR), 0u);  // errors stay put
  ASSERT_EQ(pairway::SetNicField(&state, "traffic=off", &error), 0u);
  const uint64_t stopped = pairway::NicCounter(state, OID_GEN_XMIT_OK);
  EXPECT_GE(stopped, counted);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(pairway::NicCounter(state, OID_GEN_XMIT_OK), stopped);
}

TEST(NicState, UpdatesAtOnceAllLandAndAFailedOneChangesNothing) {
  TempRoot root;
  const DWORD counters[] = {OID_GEN_XMIT_OK, OID_GEN_RCV_OK, OID_GEN_XMIT_ERROR, OID_GEN_RCV_ERROR};
  std::vector<std::thread> writers;
  for (DWORD oid : counters) {
    writers.emplace_back([&root, oid] {
      for (int i = 1; i <= 25; ++i) {
        ASSERT_EQ(pairway::UpdateNicState(root.path(), "TREVAN4",
                                          [&](NicState* state) -> DWORD {
                                            state->counters[oid] += 1;
                                            return ERROR_SUCCESS;
                                          }),
                  0u);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  NicState state;
  ASSERT_EQ(pairway::ReadNicState(root.path(), "TREVAN4", &state), 0u);
  for (DWORD oid : counters) EXPECT_EQ(pairway::NicCounter(state, oid), 25u) << oid;
  // The port started as a new card brings it: its instance in the address.
  EXPECT_EQ(state.permanent_address[5], 4);

  EXPECT_EQ(pairway::UpdateNicState(root.path(), "TREVAN4",
                                    [](NicState* changing) -> DWORD {
                                      changing->counters[OID_GEN_XMIT_OK] = 0;
                                      return ERROR_INVALID_PARAMETER;
                                    }),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_EQ(pairway::ReadNicState(root.path(), "TREVAN4", &state), 0u);
  EXPECT_EQ(pairway::NicCounter(state, OID_GEN_XMIT_OK), 25u);
}

}  // namespace
