#include <windows.h>

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Strings, NullArgumentsAreTolerated) {
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrcmpA(nullptr, "a"), -1);
  EXPECT_EQ(lstrcmpiA("a", nullptr), 1);
  EXPECT_EQ(lstrcpyA(nullptr, "a"), nullptr);
}

TEST(Strings, CopyNTerminatesWithinTheLimit) {
  char out[8] = "xxxxxxx";
  lstrcpynA(out, "TREVAN12", 5);
  EXPECT_STREQ(out, "TREV");
  lstrcpynA(out, "ab", 8);
  EXPECT_STREQ(out, "ab");
  EXPECT_STREQ(lstrcatA(out, "cd"), "abcd");
  EXPECT_EQ(lstrcmpiA("TREVAN", "trevan"), 0);
  EXPECT_LT(lstrcmpA("TREVAN", "trevan"), 0);
}

std::string Format(const char* format, ...) {
  char out[1100];
  std::fill(out, out + sizeof out, 'z');
  va_list args;
  va_start(args, format);
  int n = wvsprintfA(out, format, args);
  va_end(args);
  EXPECT_EQ(out[n], '\0');
  return std::string(out, n);
}

TEST(Wsprintf, ThePlatformsConversions) {
  EXPECT_EQ(Format("%s:%d:%u:%lx:%X", "card", -5, 7u, 255u, 0xABu), "card:-5:7:ff:AB");
  EXPECT_EQ(Format("[%5s][%-5s][%05d][%.2s][%c]", "ab", "ab", -42, "abcdef", 'q'),
            "[   ab][ab   ][-0042][ab][q]");
  EXPECT_EQ(Format("%#x %.3d %% %q %ld", 26u, 7, -1), "0x1a 007 % %q -1");
  EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "(null)");
}

TEST(Wsprintf, OutputStopsAt1024Bytes) {
  std::string big(2000, 'a');
  EXPECT_EQ(Format("%s", big.c_str()).size(), 1023u);
  EXPECT_EQ(Format("%2000d", 1).size(), 1023u);
  EXPECT_EQ(Format("%99999999999999999999d", 1).size(), 1023u);  // no overflow on the way
  EXPECT_EQ(Format("%.99999999999999999999d|", 5).size(), 1023u);
  char out[1100];
  EXPECT_EQ(wsprintfA(out, "%s%s", big.c_str(), "tail"), 1023);
}

}  // namespace
