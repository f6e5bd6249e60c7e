// pairway-reg as people and scripts use it: query output, import, export and their errors.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "temp_root.h"

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;

namespace {

std::string Reg(const std::string& args, int* status = nullptr) {
  std::string out;
  int rc = RunCommand((BuildDir() / "bin" / "pairway-reg").string() + " " + args + " 2>&1", &out);
  if (status != nullptr) *status = rc;
  return out;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

void SetRaw(const char* key_path, const char* name, DWORD type, const std::string& bytes) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::string GetRaw(const char* key_path, const char* name, DWORD* type) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "?";
  char buffer[8192];
  DWORD size = sizeof buffer;
  LONG error = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<LPBYTE>(buffer), &size);
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? std::string(buffer, size) : "?";
}

TEST(RegTool, ExportThenImportReproducesEveryValueExactly) {
  TempRoot source;
  const char* key = "SOFTWARE\\Corvane\\Odd \"Name\"\\Sub";
  SetRaw(key, "Title", REG_SZ, std::string("no terminator"));
  SetRaw(key, "Text", REG_SZ, std::string("C:\\WINNT \"quoted\"\0", 19));
  SetRaw(key, "", REG_SZ, std::string("default\0", 8));
  SetRaw(key, "Route", REG_MULTI_SZ, std::string("\"TREVAN1\"\0\"TREVAN2\"\0\0", 22));
  SetRaw(key, "One", REG_MULTI_SZ, std::string("10.0.0.1\0", 9));
  SetRaw(key, "Count", REG_DWORD, std::string("\x04\0\0\0", 4));
  SetRaw(key, "Short", REG_DWORD, std::string("\x01\x02", 2));
  SetRaw(key, "Empty", REG_BINARY, std::string());
  SetRaw(key, "Path", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
  SetRaw(key, "Long", REG_BINARY, std::string(300, '\x7f'));
  SetRaw("SOFTWARE\\Corvane\\EmptyKey", nullptr, REG_NONE, std::string());

  std::filesystem::path first = source.path() / "first.reg";
  int status = 0;
  Reg("export 'HKLM\\SOFTWARE\\Corvane' " + first.string() + " /y", &status);
  ASSERT_EQ(status, 0);

  TempRoot target;
  std::string out = Reg("import " + first.string(), &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out, "The operation completed successfully.\n");
  std::filesystem::path second = target.path() / "second.reg";
  Reg("export 'HKLM\\SOFTWARE\\Corvane' " + second.string() + " /y", &status);
  EXPECT_EQ(ReadFile(first), ReadFile(second));

  DWORD type = 0;
  EXPECT_EQ(GetRaw(key, "Title", &type), "no terminator");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(GetRaw(key, "Text", &type), std::string("C:\\WINNT \"quoted\"\0", 19));
  EXPECT_EQ(GetRaw(key, "Route", &type), std::string("\"TREVAN1\"\0\"TREVAN2\"\0\0", 22));
  EXPECT_EQ(GetRaw(key, "Short", &type), std::string("\x01\x02", 2));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(GetRaw(key, "Long", &type), std::string(300, '\x7f'));
  EXPECT_EQ(GetRaw(key, "", &type), std::string("default\0", 8));
}

TEST(RegTool, AMalformedFileNamesItsLineAndImportsNothing) {
  TempRoot root;
  std::filesystem::path file = root.path() / "bad.reg";
  WriteFile(file,
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n\"A\"=dword:00000001\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\n\"B\"=dword:xyz\n");
  int status = 0;
  std::string out = Reg("import " + file.string(), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("line 7"), std::string::npos) << out;
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Good", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);

  // A file that parses but cannot be written whole (a value under a root it may not write)
  // leaves nothing behind either.
  WriteFile(file,
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Good]\n\"A\"=dword:00000001\n\n"
            "[HKEY_USERS\\Other]\n\"B\"=dword:00000002\n");
  Reg("import " + file.string(), &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Good", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);

  WriteFile(file, "not a registry file\n");
  out = Reg("import " + file.string(), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("line 1"), std::string::npos) << out;
}

TEST(RegTool, ImportDeletesKeysAndValuesMarkedWithAMinus) {
  TempRoot root;
  SetRaw("SOFTWARE\\Old\\Deep", "x", REG_DWORD, std::string(4, '\0'));
  SetRaw("SOFTWARE\\Keep", "gone", REG_DWORD, std::string(4, '\0'));
  SetRaw("SOFTWARE\\Keep", "stays", REG_DWORD, std::string(4, '\0'));
  std::filesystem::path file = root.path() / "del.reg";
  WriteFile(file,
            "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n\"gone\"=-\n");
  int status = 0;
  Reg("import " + file.string(), &status);
  EXPECT_EQ(status, 0);
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  DWORD type;
  EXPECT_EQ(GetRaw("SOFTWARE\\Keep", "gone", &type), "?");
  EXPECT_NE(GetRaw("SOFTWARE\\Keep", "stays", &type), "?");
}

TEST(RegTool, QueryPrintsAsThePlatformToolDoes) {
  TempRoot root;
  int status = 0;
  Reg("add 'HKLM\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion' /v RefCount /t REG_DWORD /d 4 /f",
      &status);
  ASSERT_EQ(status, 0);
  Reg("add 'HKLM\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion' /v Route /t REG_MULTI_SZ /d 'a\\0b' "
      "/f");
  Reg("add 'HKLM\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion\\Sub' /f");
  EXPECT_EQ(Reg("query 'HKLM\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion'"),
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion\n"
            "    RefCount    REG_DWORD    0x4\n"
            "    Route    REG_MULTI_SZ    a\\0b\n"
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion\\Sub\n\n");
  EXPECT_EQ(Reg("query 'HKLM\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion' /v refcount"),
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\TREVAN\\CurrentVersion\n"
            "    RefCount    REG_DWORD    0x4\n\n");
  EXPECT_EQ(Reg("query 'HKLM\\SOFTWARE\\Nothing'", &status),
            "ERROR: The system was unable to find the specified registry key or value.\n");
  EXPECT_EQ(status, 1);
  Reg("query 'HKXX\\SOFTWARE'", &status);
  EXPECT_EQ(status, 2);
  Reg("delete 'HKLM\\SOFTWARE\\Corvane' /f", &status);
  EXPECT_EQ(status, 0);
  Reg("query 'HKLM\\SOFTWARE\\Corvane'", &status);
  EXPECT_EQ(status, 1);
}

}  // namespace
