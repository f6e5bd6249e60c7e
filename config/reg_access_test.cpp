#define AGGCFG_TEST_FIXTURE
#include "reg_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "pairway/machine_root.h"
#include "test_hive.h"

namespace aggcfg_test {
namespace {

const char kKey[] = "SOFTWARE\\Test";

class RegAccessTest : public ConfigTest {
 protected:
  HKEY Open() {
    MakeKey(kKey);
    HKEY key = nullptr;
    EXPECT_EQ(OpenRegKey(kKey, &key), 1);
    return key;
  }

  // The system's text for `code`, as ShowLastError shows it.
  static std::string SystemText(DWORD code) {
    LPSTR text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                   nullptr);
    std::string result = text != nullptr ? text : "";
    if (text != nullptr) LocalFree(text);
    return result;
  }

  void ExpectErrorBox(size_t index, DWORD code) {
    auto boxes = sink_.boxes();
    ASSERT_GT(boxes.size(), index);
    EXPECT_EQ(boxes[index].caption, "Pairway Port Aggregation");
    EXPECT_EQ(boxes[index].text, SystemText(code));
    EXPECT_EQ(boxes[index].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  }
};

TEST_F(RegAccessTest, MissingKeyOpensToNoHandleWithoutAMessage) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(OpenRegKey("SOFTWARE\\Nowhere", &key), 0);
  EXPECT_EQ(key, nullptr);
  EXPECT_TRUE(sink_.boxes().empty());
}

TEST_F(RegAccessTest, TextIsTakenUpToItsFirstZeroWhateverTheType) {
  SetBytes(kKey, "a", REG_BINARY, std::string("ab\0cd", 5));
  SetBytes(kKey, "unterminated", REG_SZ, "short");
  HKEY key = Open();
  std::string text;
  EXPECT_EQ(ReadRegText(key, "a", &text), 1);
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(ReadRegText(key, "unterminated", &text), 1);
  EXPECT_EQ(text, "short");
  CloseRegKey(key);
}

TEST_F(RegAccessTest, TextsOfSixtyFourCharactersOrMoreCountAsMissing) {
  SetText(kKey, "t63", std::string(63, 'x'));
  SetText(kKey, "t64", std::string(64, 'x'));
  SetBytes(kKey, "raw64", REG_SZ, std::string(64, 'y'));  // fills the buffer, no terminator
  HKEY key = Open();
  std::string text = "kept";
  EXPECT_EQ(ReadRegText(key, "t64", &text), 0);
  EXPECT_EQ(ReadRegText(key, "raw64", &text), 0);
  EXPECT_EQ(ReadRegText(key, "missing", &text), 0);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(ReadRegText(key, "t63", &text), 1);
  EXPECT_EQ(text, std::string(63, 'x'));
  CloseRegKey(key);
}

TEST_F(RegAccessTest, NumberIsTheFirstFourBytesOfWhateverIsStored) {
  SetBytes(kKey, "text", REG_SZ, std::string("1234\0", 5));
  SetBytes(kKey, "short", REG_BINARY, std::string("\x05\x01", 2));
  SetBytes(kKey, "long", REG_BINARY, std::string(65, '\x01'));
  SetDword(kKey, "dword", 0x01020304);
  HKEY key = Open();
  DWORD number = 0;
  EXPECT_EQ(ReadRegNumber(key, "text", &number), 1);
  EXPECT_EQ(number, 0x34333231u);
  EXPECT_EQ(ReadRegNumber(key, "short", &number), 1);
  EXPECT_EQ(number, 0x0105u);
  EXPECT_EQ(ReadRegNumber(key, "dword", &number), 1);
  EXPECT_EQ(number, 0x01020304u);
  number = 9;
  EXPECT_EQ(ReadRegNumber(key, "long", &number), 0);
  EXPECT_EQ(number, 9u);
  CloseRegKey(key);
}

TEST_F(RegAccessTest, WritesStoreFourBytesAndTextsWithTheirTerminator) {
  HKEY key = Open();
  EXPECT_EQ(WriteRegNumber(key, "n", REG_DWORD, 300), 1);
  EXPECT_EQ(WriteRegText(key, "t", REG_SZ, "Group1"), 1);
  EXPECT_EQ(WriteRegText(key, "empty", REG_SZ, ""), 1);
  EXPECT_EQ(DeleteRegValue(key, "gone"), 0);
  CloseRegKey(key);
  auto n = Read(kKey, "n");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(n->bytes, std::string("\x2c\x01\0\0", 4));
  EXPECT_EQ(Read(kKey, "t")->bytes, std::string("Group1\0", 7));
  EXPECT_EQ(Read(kKey, "empty")->bytes, std::string("\0", 1));
  EXPECT_TRUE(sink_.boxes().empty());
}

// A write the registry refuses is shown with the refusal's own text, not with whatever error an
// earlier call left in the thread, and the caller goes on.
TEST_F(RegAccessTest, RefusedWriteShowsTheSystemTextOfItsError) {
  MakeKey(kKey);
  HKEY read_only = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &read_only), ERROR_SUCCESS);
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WriteRegNumber(read_only, "n", REG_DWORD, 1), 0);
  EXPECT_EQ(WriteRegText(read_only, "t", REG_SZ, "x"), 0);
  RegCloseKey(read_only);
  ASSERT_EQ(sink_.boxes().size(), 2u);
  ExpectErrorBox(0, ERROR_ACCESS_DENIED);
  ExpectErrorBox(1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Has(kKey, "n"));
}

TEST_F(RegAccessTest, FailedCloseShowsTheSystemText) {
  HKEY key = Open();
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(CloseRegKey(key), 0);
  ExpectErrorBox(0, ERROR_INVALID_HANDLE);
}

TEST_F(RegAccessTest, WriteToAHiveMadeReadOnlyShowsAccessDenied) {
  HKEY key = Open();
  std::filesystem::path hive = pairway::HivePath(root_.path());
  ASSERT_EQ(chmod(hive.c_str(), 0444), 0);
  EXPECT_EQ(WriteRegNumber(key, "n", REG_DWORD, 1), 0);
  chmod(hive.c_str(), 0644);
  CloseRegKey(key);
  ExpectErrorBox(0, ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace aggcfg_test
