#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(Memory, ZeroInitBlocksAreZeroAndReportTheirSize) {
  auto* block = static_cast<unsigned char*>(GlobalAlloc(GPTR, 64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0) << i;
  EXPECT_EQ(GlobalSize(block), 64u);
  EXPECT_EQ(GlobalLock(block), block);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(Memory, EmptyBlocksAreUnique) {
  HGLOBAL a = GlobalAlloc(GMEM_FIXED, 0);
  HGLOBAL b = LocalAlloc(LMEM_FIXED, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(GlobalSize(a), 0u);
  EXPECT_EQ(LocalFree(a), nullptr);  // the two allocators share their blocks
  EXPECT_EQ(GlobalFree(b), nullptr);
}

TEST(Memory, FreeingTwiceOrAForeignPointerFailsSafely) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 8);
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(GlobalFree(block), block);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  int local = 0;
  EXPECT_EQ(LocalFree(&local), &local);
  EXPECT_EQ(GlobalSize(&local), 0u);
  EXPECT_EQ(GlobalLock(&local), nullptr);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

}  // namespace
