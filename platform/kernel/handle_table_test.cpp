#include "pairway/kernel_object.h"

#include <windows.h>

#include <set>

#include <gtest/gtest.h>

namespace {

class Plain : public pairway::KernelObject {};

class Tracked : public pairway::KernelObject {
 public:
  explicit Tracked(bool* destroyed) : destroyed_(destroyed) {}
  ~Tracked() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST(HandleTable, ValuesAreSmallMultiplesOfFourAndNotReusedAtOnce) {
  std::set<uintptr_t> seen;
  for (int i = 0; i < 100; ++i) {
    HANDLE h = pairway::InsertHandle(std::make_shared<Plain>());
    auto value = reinterpret_cast<uintptr_t>(h);
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(value % 4, 0u);
    EXPECT_LT(value, 0x80000000u);
    EXPECT_TRUE(seen.insert(value).second) << "handle value reused: " << value;
    ASSERT_TRUE(CloseHandle(h));
  }
}

TEST(HandleTable, LookupChecksTheKindOfObject) {
  HANDLE h = pairway::InsertHandle(std::make_shared<Plain>());
  EXPECT_NE(pairway::LookupHandle<Plain>(h), nullptr);
  EXPECT_EQ(pairway::LookupHandle<pairway::Signal>(h), nullptr);
  EXPECT_FALSE(SetEvent(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(h);
  EXPECT_EQ(pairway::LookupHandle<Plain>(h), nullptr);
}

TEST(HandleTable, CloseFailsForHandlesNotOpen) {
  HANDLE h = pairway::InsertHandle(std::make_shared<Plain>());
  EXPECT_TRUE(CloseHandle(h));
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST(HandleTable, ObjectOutlivesItsHandleWhileReferenced) {
  bool destroyed = false;
  auto object = std::make_shared<Tracked>(&destroyed);
  HANDLE h = pairway::InsertHandle(object);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(destroyed);
  object.reset();
  EXPECT_TRUE(destroyed);
}

TEST(HandleTable, WaitingOnAnObjectThatCannotBeWaitedOnFails) {
  HANDLE h = pairway::InsertHandle(std::make_shared<Plain>());
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(h);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
}

TEST(HandleTable, NullObjectIsRefused) { EXPECT_EQ(pairway::InsertHandle(nullptr), nullptr); }

}  // namespace
