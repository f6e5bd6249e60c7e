#include "probes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "agent_test_util.h"

namespace {

using mifsnmp_test::AgentMachine;
using mifsnmp_test::WriteDword;
using mifsnmp_test::WriteText;
using mifsnmp_test::WriteValue;

std::string CardKey(int card) { return NETWORK_CARDS_KEY_SLASH + std::to_string(card); }

void AddCardEntry(int card, const std::string& product, const std::string& service) {
  WriteText(CardKey(card), VAL_PRODUCT_NAME, product);
  WriteText(CardKey(card), VAL_SERVICE_NAME, service);
}

std::vector<std::string> ServiceNames(DWORD buffer_size = 1024) {
  std::vector<char> buffer(buffer_size, 0);
  DWORD used = list_port_services(buffer.data(), buffer_size);
  std::vector<std::string> names;
  for (DWORD at = 0; at < used && buffer[at] != '\0'; at += std::strlen(&buffer[at]) + 1)
    names.push_back(&buffer[at]);
  EXPECT_EQ(buffer[buffer_size - 1], '\0');
  return names;
}

void MakeFile(const std::filesystem::path& path, size_t size) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path) << std::string(size, 'x');
}

DWORD DriverSize(int position = 0) {
  char work[256] = {};
  return read_driver_size(work, sizeof work, position);
}

std::string DriverName(int position = 0) {
  char name[256] = {};
  read_driver_name(name, sizeof name, position);
  return name;
}

TEST(ListPortServices, TakesTheDriversCardsInOrderAndStopsAtAnUnreadableProduct) {
  AgentMachine machine;
  AddCardEntry(1, "TREVAN", "TREVAN1");
  AddCardEntry(2, "OTHER", "OTHER2");
  AddCardEntry(3, "TREVAN", "TREVAN3");
  AddCardEntry(4, "trevan", "TREVAN4");  // another letter case is another product
  EXPECT_EQ(ServiceNames(), (std::vector<std::string>{"TREVAN1", "TREVAN3"}));

  AddCardEntry(6, "TREVAN", "TREVAN6");
  WriteText(CardKey(5), VAL_PRODUCT_NAME, std::string(19, 'P'));  // 20 bytes: unreadable
  EXPECT_EQ(ServiceNames(), (std::vector<std::string>{"TREVAN1", "TREVAN3"}));
  WriteText(CardKey(5), VAL_PRODUCT_NAME, std::string(18, 'P'));
  EXPECT_EQ(ServiceNames(), (std::vector<std::string>{"TREVAN1", "TREVAN3", "TREVAN6"}));
}

TEST(ListPortServices, NamesStayInsideTheBufferAndEmptyOnesHideNothing) {
  AgentMachine machine;
  AddCardEntry(1, "TREVAN", "");
  AddCardEntry(2, "TREVAN", "TREVAN2");
  // A name stored without its terminator, longer than the room left.
  WriteText(CardKey(3), VAL_PRODUCT_NAME, "TREVAN");
  WriteValue(CardKey(3), VAL_SERVICE_NAME, REG_SZ, "TREVAN33333333", 14);
  EXPECT_EQ(ServiceNames(), (std::vector<std::string>{"TREVAN2", "TREVAN33333333"}));
  EXPECT_EQ(ServiceNames(16), (std::vector<std::string>{"TREVAN2"}));
}

TEST(ReadVersionText, MajorDotMinorOrEmpty) {
  AgentMachine machine;
  char text[VERSION_TEXT_SIZE];
  read_version_text(text);
  EXPECT_STREQ(text, "");
  WriteDword(TREVAN_SOFTWARE_KEY, VAL_MAJOR_VERSION, 5);
  read_version_text(text);
  EXPECT_STREQ(text, "");
  WriteDword(TREVAN_SOFTWARE_KEY, VAL_MINOR_VERSION, 0);
  read_version_text(text);
  EXPECT_STREQ(text, "5.0");
  WriteDword(TREVAN_SOFTWARE_KEY, VAL_MAJOR_VERSION, 0xFFFFFFFF);
  read_version_text(text);
  EXPECT_STREQ(text, "-1.0");
}

TEST(ReadDriverSize, SystemRootImagePathsAreSizedInTheWindowsDirectory) {
  AgentMachine machine;
  MakeFile(machine.root().path() / "drive_c/WINNT/System32/drivers/x.sys", 1234);
  EXPECT_EQ(DriverSize(), 0u);  // no ImagePath
  WriteText(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, "\\SystemRoot\\System32\\drivers\\x.sys",
            REG_EXPAND_SZ);
  EXPECT_EQ(DriverSize(), 1234u);
  WriteText(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, "\\SystemRoot\\System32\\drivers\\x.sys", REG_SZ);
  EXPECT_EQ(DriverSize(), 0u);
  // Paths the loader reads relative to the Windows directory, or as they stand.
  WriteText(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, "System32\\drivers\\x.sys", REG_EXPAND_SZ);
  EXPECT_EQ(DriverSize(), 1234u);
  WriteText(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, "\\??\\C:\\WINNT\\System32\\drivers\\x.sys",
            REG_EXPAND_SZ);
  EXPECT_EQ(DriverSize(), 1234u);
  for (const char* missing : {"\\SystemRoot", "\\SystemRoot\\System32\\drivers\\y.sys", "", "\\"}) {
    WriteText(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, missing, REG_EXPAND_SZ);
    EXPECT_EQ(DriverSize(), 0u) << missing;
  }
  // A value that fills the whole buffer without a terminator is read no further than the buffer.
  WriteValue(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, REG_EXPAND_SZ, std::string(255, 'a').data(), 255);
  EXPECT_EQ(DriverSize(), 0u);
}

TEST(ReadDriverName, TheDriversDisplayNameForEveryPort) {
  AgentMachine machine;
  EXPECT_EQ(DriverName(), "");
  WriteText(DRIVER_SERVICE_KEY, VAL_DISPLAY_NAME, "Corvane TREVAN");
  EXPECT_EQ(DriverName(0), "Corvane TREVAN");
  EXPECT_EQ(DriverName(5), "Corvane TREVAN");
  WriteValue(DRIVER_SERVICE_KEY, VAL_DISPLAY_NAME, REG_SZ, std::string(256, 'n').data(), 256);
  EXPECT_EQ(DriverName(), "");  // too long for the buffer
}

TEST(Windows95Probes, ClassKeysOfThePortPositionAndALongWindowsDirectory) {
  AgentMachine machine;
  machine.MakeWindows95();
  machine.AddPortState("TREVAN1", 1);
  machine.Load();  // the platform flag says Windows 95 from here on
  const std::string second = WIN95_NET_CLASS_KEY "\\0001";
  WriteText(WIN95_NET_CLASS_KEY "\\0000", VAL_DRIVER_DESC, "first");
  WriteText(second, VAL_DRIVER_DESC, "Corvane TREVAN Port 2");
  EXPECT_EQ(DriverName(1), "Corvane TREVAN Port 2");
  EXPECT_EQ(DriverName(2), "");

  WriteText(WIN95_CURRENT_VERSION_KEY, VAL_SYSTEM_ROOT, "C:\\WINDOWS");
  WriteText(second, VAL_DEVICE_VXDS, "trevan.vxd");
  MakeFile(machine.root().path() / "drive_c/WINDOWS/SYSTEM/trevan.vxd", 777);
  EXPECT_EQ(DriverSize(1), 777u);
  EXPECT_EQ(DriverSize(0), 0u);  // no DeviceVxDs

  char version[VERSION_TEXT_SIZE];
  read_version_text(version);
  EXPECT_STREQ(version, "2.3");

  // A Windows directory as long as the buffer leaves room for the folder behind it.
  WriteText(WIN95_CURRENT_VERSION_KEY, VAL_SYSTEM_ROOT, "C:\\" + std::string(250, 'w'));
  EXPECT_EQ(DriverSize(1), 0u);
}

}  // namespace
