#include <windows.h>

#include <fstream>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "temp_root.h"

namespace {

std::string SystemText(DWORD code, DWORD extra_flags = 0) {
  LPSTR text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | extra_flags,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (n == 0) return "<none>";
  std::string result(text, n);
  EXPECT_EQ(LocalFree(text), nullptr);
  return result;
}

std::string FromString(const char* format, DWORD flags, ...) {
  va_list args;
  va_start(args, flags);
  char out[256];
  DWORD n =
      FormatMessageA(FORMAT_MESSAGE_FROM_STRING | flags, format, 0, 0, out, sizeof out, &args);
  va_end(args);
  return n == 0 ? "<failed>" : std::string(out, n);
}

TEST(FormatMessage, SystemTextsReadAsThePlatformsWithAllocatedBuffers) {
  EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED), "Access is denied.\r\n");
  EXPECT_EQ(SystemText(ERROR_SERVICE_DOES_NOT_EXIST),
            "The specified service does not exist as an installed service.\r\n");
  EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, FORMAT_MESSAGE_MAX_WIDTH_MASK), "Access is denied. ");
}

// Every code the layer's headers declare must have a text, including codes and headers added
// later.
TEST(FormatMessage, EveryDeclaredErrorCodeHasAText) {
  std::regex define(R"(#define\s+((ERROR|RPC_S|WAIT)_\w+)\s+(\d+)L)");
  int checked = 0;
  for (const auto& header :
       std::filesystem::directory_iterator(pairway::testing::SourceDir() / "platform/include")) {
    if (header.path().extension() != ".h") continue;
    std::ifstream in(header.path());
    std::string line;
    while (std::getline(in, line)) {
      std::smatch m;
      if (!std::regex_search(line, m, define) || m[1] == "WAIT_OBJECT_0") continue;
      std::string text = SystemText(static_cast<DWORD>(std::stoul(m[3])));
      EXPECT_NE(text, "<none>") << m[1];
      EXPECT_TRUE(text.size() > 2 && text.substr(text.size() - 2) == "\r\n") << m[1];
      ++checked;
    }
  }
  EXPECT_GT(checked, 90);
}

TEST(FormatMessage, UnknownCodesAndShortBuffersFail) {
  char out[8];
  EXPECT_EQ(
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x7777, 0, out, sizeof out, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, out,
                           sizeof out, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(FormatMessage, InsertsAndEscapesOfMessageStrings) {
  EXPECT_EQ(FromString("%1 has %2!lu! ports%n", 0, "TREVAN1", 4u), "TREVAN1 has 4 ports\r\n");
  EXPECT_EQ(FromString("%2-%1", 0, "a", "b"), "b-a");
  EXPECT_EQ(FromString("0x%1!08X!%0 ignored", 0, 0xBEEFu), "0x0000BEEF");
  EXPECT_EQ(FromString("100%% %1", FORMAT_MESSAGE_IGNORE_INSERTS), "100% %1");
  DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>("x"), 7};
  char out[64];
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1=%2!d!",
                           0, 0, out, sizeof out, reinterpret_cast<va_list*>(array)),
            0u);
  EXPECT_STREQ(out, "x=7");
}

TEST(FormatMessage, LongAndEmptyInsertsAreKeptWhole) {
  std::string path = "C:\\" + std::string(2000, 'p') + ".dbg";
  DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>(path.c_str())};
  LPSTR text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      "cannot open %1.", 0, 0, reinterpret_cast<LPSTR>(&text), 0,
      reinterpret_cast<va_list*>(array));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, n), "cannot open " + path + ".");
  LocalFree(text);
  EXPECT_EQ(FromString("[%1!.0s!]", 0, "hidden"), "[]");
}

TEST(FormatMessage, InsertsWithoutArgumentsStayAsWritten) {
  EXPECT_EQ(SystemText(ERROR_BAD_EXE_FORMAT), "%1 is not a valid Win32 application.\r\n");
  char out[64];
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_BAD_EXE_FORMAT, 0, out,
                           sizeof out, nullptr),
            0u);
  EXPECT_STREQ(out, "%1 is not a valid Win32 application.\r\n");
}

TEST(FormatMessage, WidthReflowsTheText) {
  EXPECT_EQ(FromString("aaa bbb ccc", 5), "aaa\r\nbbb\r\nccc");
}

}  // namespace
