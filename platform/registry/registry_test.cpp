// The registry calls' semantics on a fresh hive per test.
#include <windows.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registry_test_util.h"
#include "temp_root.h"

using namespace pairway::registry::testing;
using pairway::testing::TempRoot;

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, size);
  }
  return names;
}

std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, size);
  }
  return names;
}

TEST_F(RegistryTest, CreateMakesTheWholePathAndReportsDisposition) {
  HKEY key;
  DWORD disposition = 0;
  char cls[] = "GenericClass";
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\A\\B\\C", 0, cls, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "system\\a\\b\\c\\", 0, nullptr, 0, KEY_READ,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  char class_out[64];
  DWORD class_size = sizeof class_out;
  ASSERT_EQ(RegQueryInfoKeyA(key, class_out, &class_size, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(class_out, "GenericClass");
  RegCloseKey(key);

  HKEY parent;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\A", 0, KEY_READ, &parent), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(parent), std::vector<std::string>{"B"});  // the case it was created with
  RegCloseKey(parent);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Missing", 0, KEY_READ, &parent),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SYSTEM", 0, KEY_READ, &parent),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\\\A", 0, KEY_READ, &parent),
            ERROR_BAD_PATHNAME);
}

TEST_F(RegistryTest, QueryReportsSizesAndKeepsBytesExactly) {
  HKEY key = CreateKey("SOFTWARE\\Test");
  ASSERT_NE(key, nullptr);
  // A text stored without its terminator comes back without it.
  const char text[] = "TREVAN";
  ASSERT_EQ(RegSetValueExA(key, "Title", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 6),
            ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "TITLE", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6u);
  char small[4];
  size = sizeof small;
  EXPECT_EQ(
      RegQueryValueExA(key, "Title", nullptr, nullptr, reinterpret_cast<LPBYTE>(small), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(Read(key, "title"), "TREVAN");

  // Zero bytes, and a multi-string with its two terminators, are kept as given.
  ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "Empty"), "");
  const char multi[] = "a\0bc\0";
  ASSERT_EQ(RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), 6),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "Multi"), std::string("a\0bc\0", 6));
  EXPECT_EQ(Read(key, "Nothing"), "<error 2>");
  EXPECT_EQ(RegDeleteValueA(key, "Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "multi"), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "Multi"), "<error 2>");
  RegCloseKey(key);
}

TEST_F(RegistryTest, SubkeysListInNameOrderAndValuesInCreationOrder) {
  HKEY key = CreateKey("SOFTWARE\\Order");
  ASSERT_NE(key, nullptr);
  for (const char* name : {"beta", "Alpha", "10", "2", "GAMMA"}) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
  }
  EXPECT_EQ(SubkeyNames(key), (std::vector<std::string>{"10", "2", "Alpha", "beta", "GAMMA"}));

  ASSERT_EQ(SetNumber(key, "zeta", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetNumber(key, "Alpha", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetNumber(key, "mid", 3), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "ZETA", "replaced"), ERROR_SUCCESS);  // keeps its place and name
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
  EXPECT_EQ(Read(key, "zeta"), std::string("replaced\0", 9));

  char name[3];
  DWORD name_size = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  name_size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 9, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  DWORD subkeys = 0, values = 0, max_value = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                             nullptr, &max_value, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 5u);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(max_value, 9u);

  // Lengths count bytes, also for names with bytes above 0x7F (5 bytes, 3 UTF-8 characters):
  // a caller sizes its buffer by them.
  const char* high = "\xc3\xa9t\xc3\xa9";
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExA(key, high, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);
  ASSERT_EQ(SetNumber(key, high, 4), ERROR_SUCCESS);
  DWORD max_subkey = 0, max_name = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &max_subkey, nullptr, nullptr,
                             &max_name, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(max_subkey, 5u);
  EXPECT_EQ(max_name, 5u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, HandleRightsAreEnforced) {
  HKEY setup = CreateKey("SOFTWARE\\Rights");
  ASSERT_EQ(SetNumber(setup, "n", 7), ERROR_SUCCESS);
  RegCloseKey(setup);

  HKEY reader;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Rights", 0, KEY_QUERY_VALUE, &reader),
            ERROR_SUCCESS);
  EXPECT_EQ(SetNumber(reader, "n", 8), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "n"), ERROR_ACCESS_DENIED);
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(reader, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
  HKEY child;  // creating below needs no right of the parent's handle
  EXPECT_EQ(RegCreateKeyExA(reader, "Child", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);
  EXPECT_EQ(RegNotifyChangeKeyValue(reader, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE),
            ERROR_ACCESS_DENIED);
  RegCloseKey(reader);

  HKEY writer;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Rights", 0, KEY_SET_VALUE, &writer),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(writer, "n"), "<error 5>");
  EXPECT_EQ(SetNumber(writer, "n", 8), ERROR_SUCCESS);
  RegCloseKey(writer);
}

TEST_F(RegistryTest, KeysWithSubkeysStayAndDeletedKeysFailTheirHandles) {
  HKEY parent = CreateKey("SOFTWARE\\Parent");
  HKEY child = CreateKey("SOFTWARE\\Parent\\Child");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Parent"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(SetNumber(child, "v", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SetNumber(child, "v", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(Read(child, "v"), "<error 1018>");

  // Recreating the key does not revive the old handle.
  HKEY again = CreateKey("SOFTWARE\\Parent\\Child");
  EXPECT_EQ(Read(again, "v"), "<error 2>");
  EXPECT_EQ(SetNumber(child, "v", 3), ERROR_KEY_DELETED);
  RegCloseKey(again);
  RegCloseKey(child);
  EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetNumber(child, "v", 3), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetNumber(reinterpret_cast<HKEY>(0x1234), "v", 3), ERROR_INVALID_HANDLE);
  RegCloseKey(parent);
}

TEST_F(RegistryTest, LimitsOnNamesAndSizes) {
  HKEY key = CreateKey("SOFTWARE\\Limits");
  std::string long_key(256, 'k');
  HKEY ignored;
  EXPECT_EQ(RegCreateKeyExA(key, long_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &ignored,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  std::string key_255(255, 'k');
  EXPECT_EQ(RegCreateKeyExA(key, key_255.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &ignored,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(ignored);
  std::string long_name(16384, 'v');
  EXPECT_EQ(SetNumber(key, long_name.c_str(), 1), ERROR_INVALID_PARAMETER);
  std::vector<BYTE> big(1024 * 1024 + 1);
  EXPECT_EQ(RegSetValueExA(key, "big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "null", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AHiveWithoutWriteBitsIsReadOnlyForEveryone) {
  HKEY key = CreateKey("SOFTWARE\\ReadOnly");
  ASSERT_EQ(SetNumber(key, "n", 1), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string hive = (root_.path() / "registry.db").string();
  ASSERT_EQ(chmod(hive.c_str(), 0444), 0);

  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ReadOnly", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_READ, nullptr,
                            &key, nullptr),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ReadOnly", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "n"), std::string("\1\0\0\0", 4));
  RegCloseKey(key);
  HKEY local_machine = HKEY_LOCAL_MACHINE;
  EXPECT_EQ(SetNumber(local_machine, "n", 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ReadOnly"), ERROR_ACCESS_DENIED);

  ASSERT_EQ(chmod(hive.c_str(), 0644), 0);
  EXPECT_EQ(SetNumber(local_machine, "n", 2), ERROR_SUCCESS);
}

// A file that is not a hive is reported and left exactly as it was.
void ExpectRefused(const std::filesystem::path& file, const std::string& contents, LONG expected) {
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << contents;
  }
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), expected);
  EXPECT_EQ(SetNumber(HKEY_LOCAL_MACHINE, "n", 1), expected);
  EXPECT_EQ(std::filesystem::file_size(file), contents.size());
}

TEST_F(RegistryTest, BrokenHiveFilesAreReportedNeverRebuilt) {
  std::filesystem::path file = root_.path() / "registry.db";
  ExpectRefused(file, "", ERROR_BADDB);
  ExpectRefused(file, std::string(8192, 'x'), ERROR_BADDB);
}

TEST(RegistryRootTest, TruncatedHiveIsReportedAndKeptAsItIs) {
  TempRoot root;
  HKEY key = CreateKey("SOFTWARE\\Big");
  std::string text(3000, 'z');
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(SetText(key, ("v" + std::to_string(i)).c_str(), text), ERROR_SUCCESS);
  }
  RegCloseKey(key);
  // Another root closes this hive's connection, which folds the WAL into the file.
  {
    TempRoot other;
    ASSERT_EQ(SetNumber(HKEY_LOCAL_MACHINE, "n", 1), ERROR_SUCCESS);
  }
  std::filesystem::path file = root.path() / "registry.db";
  auto half = std::filesystem::file_size(file) / 2;
  std::filesystem::resize_file(file, half);
  std::filesystem::remove(root.path() / "registry.db-wal");
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Big", 0, KEY_READ, &key) == ERROR_SUCCESS,
            false);
  EXPECT_EQ(std::filesystem::file_size(file), half);
}

TEST(RegistryRootTest, NoRootMeansNoRegistry) {
  TempRoot root;
  unsetenv("PAIRWAY_ROOT");
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
            ERROR_REGISTRY_IO_FAILED);
  setenv("PAIRWAY_ROOT", (root.path() / "missing").c_str(), 1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
            ERROR_REGISTRY_IO_FAILED);
}

}  // namespace
