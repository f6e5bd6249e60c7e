// The shared registry helpers on a fresh hive.
#include "registry_access.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "pairway/machine_root.h"
#include "temp_root.h"

namespace {

const char kCards[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\";

class RegistryAccessTest : public ::testing::Test {
 protected:
  pairway::testing::TempRoot root_;
  RegistryAccess registry_;

  bool SetText(const char* path, const char* name, const char* text) {
    return registry_.set_value(path, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(strlen(text) + 1), REG_SZ, name);
  }
  std::string GetText(const char* path, const char* name) {
    char buffer[64] = "";
    DWORD size = sizeof buffer, type = 0;
    if (!registry_.get_value(path, reinterpret_cast<LPBYTE>(buffer), &size, &type, name)) {
      return "<missing>";
    }
    return buffer;
  }
};

TEST_F(RegistryAccessTest, SetValueCreatesMissingKeysAndKeepsOtherValues) {
  const char* path = "SYSTEM\\CurrentControlSet\\Services\\TREVAN\\Performance";
  ASSERT_TRUE(SetText(path, "Library", "standbyag.dll"));
  ASSERT_TRUE(SetText(path, "Open", "OpenPerformanceData"));
  EXPECT_EQ(GetText(path, "Library"), "standbyag.dll");
  EXPECT_EQ(GetText(path, "Open"), "OpenPerformanceData");
  HKEY key;
  ASSERT_TRUE(registry_.open_key(path, KEY_QUERY_VALUE, &key));
  char key_class[32];
  DWORD class_size = sizeof key_class;
  RegQueryInfoKeyA(key, key_class, &class_size, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                   NULL);
  EXPECT_STREQ(key_class, "GenericClass");
  EXPECT_TRUE(registry_.close_key(key));
}

TEST_F(RegistryAccessTest, SetValueReportsAValueThatCouldNotBeStored) {
  // The key can be made, but the value is over the registry's size limit.
  std::string huge(2 * 1024 * 1024, 'x');
  EXPECT_FALSE(registry_.set_value("SOFTWARE\\Corvane", reinterpret_cast<const BYTE*>(huge.data()),
                                   static_cast<DWORD>(huge.size()), REG_BINARY, "Huge"));
  HKEY key;
  ASSERT_TRUE(registry_.open_key("SOFTWARE\\Corvane", KEY_QUERY_VALUE, &key));
  EXPECT_TRUE(registry_.close_key(key));
  EXPECT_EQ(GetText("SOFTWARE\\Corvane", "Huge"), "<missing>");
}

TEST_F(RegistryAccessTest, GetValueFailsOnSmallBuffersAndMissingValues) {
  ASSERT_TRUE(SetText("SOFTWARE\\Corvane", "Pathname", "C:\\WINNT\\System32\\mifsnmp.dll"));
  BYTE small[4];
  DWORD size = sizeof small, type;
  EXPECT_FALSE(registry_.get_value("SOFTWARE\\Corvane", small, &size, &type, "Pathname"));
  EXPECT_EQ(GetText("SOFTWARE\\Corvane", "Missing"), "<missing>");
  EXPECT_EQ(GetText("SOFTWARE\\Nowhere", "Pathname"), "<missing>");
}

TEST_F(RegistryAccessTest, SubkeyValuesAreFoundByPosition) {
  ASSERT_TRUE(SetText("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1",
                      "ProductName", "TREVAN"));
  ASSERT_TRUE(SetText("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\2",
                      "ProductName", "OTHER"));
  char buffer[20];
  DWORD size = sizeof buffer, type = 0;
  ASSERT_TRUE(registry_.get_subkey_value(kCards, reinterpret_cast<LPBYTE>(buffer), &size, &type,
                                         "ProductName", 0));
  EXPECT_STREQ(buffer, "TREVAN");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  size = sizeof buffer;
  EXPECT_FALSE(registry_.get_subkey_value(kCards, reinterpret_cast<LPBYTE>(buffer), &size, &type,
                                          "ProductName", 2));
  // A parent path that leaves no room for a name in the 200-byte path fails cleanly.
  std::string deep = "SOFTWARE\\" + std::string(195, 'x') + "\\";
  ASSERT_TRUE(SetText((deep + "a").c_str(), "v", "1"));
  size = sizeof buffer;
  EXPECT_FALSE(registry_.get_subkey_value(deep.c_str(), reinterpret_cast<LPBYTE>(buffer), &size,
                                          &type, "v", 0));
}

TEST_F(RegistryAccessTest, RemovingMissingThingsFailsAndKeysWithSubkeysStay) {
  EXPECT_FALSE(registry_.remove_key("SYSTEM\\CurrentControlSet\\Services\\TREVAN", "Performance"));
  EXPECT_FALSE(registry_.remove_value("SOFTWARE\\Corvane", "Nothing"));
  ASSERT_TRUE(SetText("SOFTWARE\\Corvane\\A\\B", "v", "1"));
  EXPECT_FALSE(registry_.remove_key("SOFTWARE\\Corvane", "A"));
  EXPECT_TRUE(registry_.remove_key("SOFTWARE\\Corvane\\A", "B"));
  EXPECT_TRUE(registry_.remove_key("SOFTWARE\\Corvane", "A"));
}

TEST_F(RegistryAccessTest, TraceAppendsToTheDriveRootFileAndCutsLongTexts) {
  registry_.trace("lost: %s\n", "no drive C: yet");  // nothing to append to: nothing happens
  std::filesystem::create_directories(pairway::DriveDir(root_.path(), 'c'));
  registry_.trace("port %d: %s\n", 3, "up");
  std::string long_text(500, 'x');
  registry_.trace("%s", long_text.c_str());
  std::filesystem::path file;
  ASSERT_EQ(pairway::MapNtPath("c:\\testdll.txt", &file), static_cast<DWORD>(ERROR_SUCCESS));
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "port 3: up\n" + std::string(199, 'x'));
}

}  // namespace
