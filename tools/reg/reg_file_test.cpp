// The REGEDIT4 reader and writer on their own: what a file says, what is refused, and which line
// is blamed.
#include "reg_file.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

using pairway::reg::ExportedValue;
using pairway::reg::FormatKeySection;
using pairway::reg::ParseRegFile;
using pairway::reg::RegOperation;

namespace {

const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane";

std::string File(const std::string& body) {
  return std::string("REGEDIT4\n\n[") + kKey + "]\n" + body;
}

// The line a malformed file is refused at, or 0 when it parses.
int RefusedAt(const std::string& text) {
  std::vector<RegOperation> operations;
  int line = 0;
  std::string error;
  return ParseRegFile(text, &operations, &line, &error) ? 0 : line;
}

TEST(RegFile, NumbersMustBePlainHexadecimal) {
  // strtoul-style leniency would store 0xFFFFFFFF for "-1" or skip the blank: refused instead.
  EXPECT_EQ(RefusedAt(File("\"A\"=dword:-1\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=dword: 1\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=dword:0x1\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=dword:123456789\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=hex:01,-1\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=hex:01,100\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=hex:01,\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=hex(-2):01\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=hex(2:01\n")), 4);
  EXPECT_EQ(RefusedAt(File("\"A\"=dword:DeadBeef\n\"B\"=hex(7):41, 00 ,00\n")), 0);
}

TEST(RegFile, ErrorsNameTheLineWhereTheBadEntryStarts) {
  EXPECT_EQ(RefusedAt("REGEDIT5\n"), 1);
  EXPECT_EQ(RefusedAt("\n\nREGEDIT4\n\"A\"=dword:1\n"), 4);  // a value before any key
  EXPECT_EQ(RefusedAt(File("\"A\"=\"open\n")), 4);
  EXPECT_EQ(RefusedAt(File("A=dword:1\n")), 4);
  EXPECT_EQ(RefusedAt(File("\n[HKEY_LOCAL_MACHINE\\X\n")), 5);
  EXPECT_EQ(RefusedAt(File("[]\n")), 4);
  // A continued hex value is blamed on its first line.
  EXPECT_EQ(RefusedAt(File("\"A\"=hex:01,02,\\\n  03,zz\n")), 4);
}

TEST(RegFile, ReadsEveryFormAndDeletion) {
  std::vector<RegOperation> ops;
  int line = 0;
  std::string error;
  ASSERT_TRUE(ParseRegFile("REGEDIT4\r\n\r\n; a comment\r\n[-HKEY_LOCAL_MACHINE\\Old]\r\n[" +
                               std::string(kKey) +
                               "]\r\n@=\"d\\\\e\\\"f\"\r\n\"Gone\"=-\r\n"
                               "\"Bin\"=hex:01,\\\r\n  02\r\n",
                           &ops, &line, &error))
      << line << ": " << error;
  ASSERT_EQ(ops.size(), 5u);
  EXPECT_EQ(ops[0].kind, RegOperation::kDeleteKey);
  EXPECT_EQ(ops[0].key, "HKEY_LOCAL_MACHINE\\Old");
  EXPECT_EQ(ops[1].kind, RegOperation::kCreateKey);
  EXPECT_EQ(ops[2].name, "");
  EXPECT_EQ(ops[2].type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::string(ops[2].data.begin(), ops[2].data.end()), std::string("d\\e\"f") + '\0');
  EXPECT_EQ(ops[3].kind, RegOperation::kDeleteValue);
  EXPECT_EQ(ops[4].data, (std::vector<BYTE>{1, 2}));
}

TEST(RegFile, WhatIsWrittenReadsBackByteForByte) {
  std::vector<ExportedValue> values = {
      {"", REG_SZ, {'a', 0}},
      {"NoTerminator", REG_SZ, {'a', 'b'}},
      {"Control", REG_SZ, {'a', '\n', 0}},
      {"Short", REG_DWORD, {1, 2, 3}},
      {"Number", REG_DWORD, {4, 0, 0, 0}},
      {"Odd \"name\" \\", REG_MULTI_SZ, {'x', 0, 'y', 0, 0}},
      {"Empty", REG_BINARY, {}},
      {"Long", REG_BINARY, std::vector<BYTE>(200, 0xab)},
      {"Custom", 0x1234, {9}},
  };
  std::string text = std::string("REGEDIT4\n\n") + FormatKeySection(kKey, values);
  std::vector<RegOperation> ops;
  int line = 0;
  std::string error;
  ASSERT_TRUE(ParseRegFile(text, &ops, &line, &error)) << line << ": " << error << "\n" << text;
  ASSERT_EQ(ops.size(), values.size() + 1);
  for (size_t i = 0; i < values.size(); ++i) {
    const RegOperation& op = ops[i + 1];
    EXPECT_EQ(op.name, values[i].name);
    EXPECT_EQ(op.type, values[i].type) << values[i].name;
    EXPECT_EQ(op.data, values[i].data) << values[i].name;
  }
}

}  // namespace
