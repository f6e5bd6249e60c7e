// SNMP extension agent registration: numbering, idempotence, exact matching and the traces.
#include "SNMP/extagent.h"

#include <gtest/gtest.h>

#include <string>

#include "monitor_test_util.h"
#include "temp_root.h"

namespace {

using namespace monitor_test;
using pairway::testing::TempRoot;

const char kFailoverKey[] = "SOFTWARE\\Corvane\\FailoverMib\\CurrentVersion";
const char kDmiKey[] = "SOFTWARE\\Corvane\\DmiMib\\CurrentVersion";

class ExtAgentTest : public ::testing::Test {
 protected:
  void InstallSnmp() { RegCloseKey(CreateKey(SNMP_EXTENSION_AGENTS_KEY)); }
  std::string Agent(const char* number) { return GetBytes(SNMP_EXTENSION_AGENTS_KEY, number); }
  static std::string Sz(const std::string& text) {
    return std::string(text.c_str(), text.size() + 1);
  }
  TempRoot root_;
};

TEST_F(ExtAgentTest, WithoutSnmpNothingIsWritten) {
  TraceCapture trace;
  EXPECT_EQ(install_SNMP_agents(), 1);
  EXPECT_FALSE(KeyExists("SOFTWARE\\Corvane"));
  EXPECT_EQ(trace.text(),
            "install_SNMP_agents()\n"
            "InstallExtensionAgent: MibName is FailoverMib\n"
            "InstallExtensionAgent: ExtensionAgent registry string is " +
                std::string(kFailoverKey) +
                "\n"
                "RegOpenKey could not open "
                "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents\n"
                "SNMP is not installed\n"
                "InstallExtensionAgent: MibName is DmiMib\n"
                "InstallExtensionAgent: ExtensionAgent registry string is " +
                kDmiKey +
                "\n"
                "RegOpenKey could not open "
                "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ExtensionAgents\n"
                "SNMP is not installed\n");
}

TEST_F(ExtAgentTest, FirstPassListsBothAgentsAndCreatesTheirKeys) {
  InstallSnmp();
  RegCloseKey(CreateKey("SOFTWARE"));
  TraceCapture trace;
  install_SNMP_agents();
  EXPECT_EQ(Agent("1"), Sz(kFailoverKey));
  EXPECT_EQ(Agent("2"), Sz(kDmiKey));
  DWORD type = 0;
  EXPECT_EQ(GetBytes(kFailoverKey, VAL_PATHNAME, &type),
            Sz("%SystemRoot%\\System32\\standbyag.dll"));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(GetBytes(kDmiKey, VAL_PATHNAME), Sz("%SystemRoot%\\System32\\mifsnmp.dll"));
  // The vendor key of the first agent: every level new but SOFTWARE.
  EXPECT_NE(
      trace.text().find("RegOpenKey SOFTWARE REG_OPENED_EXISTING_KEY\n"
                        "RegOpenKey Corvane REG_CREATED_NEW_KEY\n"
                        "RegOpenKey FailoverMib REG_CREATED_NEW_KEY\n"
                        "RegOpenKey CurrentVersion REG_CREATED_NEW_KEY\n"
                        "AddValueToRegistry: %SystemRoot%\\System32\\standbyag.dll was added\n"
                        "RegCloseKey 4, OK\n"
                        "RegCloseKey 3, OK\n"
                        "RegCloseKey 2, OK\n"
                        "RegCloseKey 1, OK\n"),
      std::string::npos)
      << trace.text();
  EXPECT_NE(trace.text().find("RegOpenKey Corvane REG_OPENED_EXISTING_KEY\n"
                              "RegOpenKey DmiMib REG_CREATED_NEW_KEY\n"),
            std::string::npos);
}

TEST_F(ExtAgentTest, NewAgentsFillTheLowestFreeNumbers) {
  SetSz(SNMP_EXTENSION_AGENTS_KEY, "1", "SOFTWARE\\Other\\CurrentVersion");
  SetSz(SNMP_EXTENSION_AGENTS_KEY, "3", "SOFTWARE\\Third\\CurrentVersion");
  TraceCapture trace;
  install_SNMP_agents();
  EXPECT_EQ(Agent("2"), Sz(kFailoverKey));
  EXPECT_EQ(Agent("4"), Sz(kDmiKey));
  EXPECT_NE(
      trace.text().find("AddExtensionAgent: Key = 1, Value = SOFTWARE\\Other\\CurrentVersion\n"
                        "AddExtensionAgent: buffersize 30\n"
                        "AddExtensionAgent: RegType 1\n"
                        "AddExtensionAgent: key 2 was added to the registry with value " +
                        std::string(kFailoverKey) + "\nRegCloseKey Ok\n"),
      std::string::npos)
      << trace.text();
}

TEST_F(ExtAgentTest, ListedAgentIsNotAddedAgainButItsPathIsRewritten) {
  SetSz(SNMP_EXTENSION_AGENTS_KEY, "5", kFailoverKey);
  SetSz(kFailoverKey, VAL_PATHNAME, "old");
  TraceCapture trace;
  InstallExtensionAgent("FailoverMib", "%SystemRoot%\\System32\\standbyag.dll");
  EXPECT_EQ(Agent("1"), "<missing>");
  EXPECT_EQ(GetBytes(kFailoverKey, VAL_PATHNAME), Sz("%SystemRoot%\\System32\\standbyag.dll"));
  EXPECT_NE(trace.text().find("ExtensionAgentExists: RegEnumValue index = 0\n"
                              "ExtensionAgentExists: key = 5\n"
                              "ExtensionAgentExists: value = " +
                              std::string(kFailoverKey) +
                              "\n"
                              "ExtensionAgentExists: " +
                              kFailoverKey + " was found in the registry\nRegCloseKey Ok\n"),
            std::string::npos)
      << trace.text();
}

TEST_F(ExtAgentTest, OtherLetterCaseCountsAsNotListed) {
  SetSz(SNMP_EXTENSION_AGENTS_KEY, "1", "SOFTWARE\\CORVANE\\FailoverMib\\CurrentVersion");
  EXPECT_EQ(ExtensionAgentExists(kFailoverKey), 0);
  InstallExtensionAgent("FailoverMib", "x");
  EXPECT_EQ(Agent("2"), Sz(kFailoverKey));
}

TEST_F(ExtAgentTest, OverlongEntryDoesNotHideALaterMatch) {
  SetSz(SNMP_EXTENSION_AGENTS_KEY, "1", std::string(150, 'L'));
  SetSz(SNMP_EXTENSION_AGENTS_KEY, std::string(120, '9').c_str(), "short");
  SetSz(SNMP_EXTENSION_AGENTS_KEY, "2", kDmiKey);
  EXPECT_EQ(ExtensionAgentExists(kDmiKey), 1);
  install_SNMP_agents();
  EXPECT_EQ(Agent("3"), Sz(kFailoverKey));  // "1" is taken although too long to read
  EXPECT_EQ(Agent("4"), "<missing>");       // DmiMib was not listed twice
}

TEST_F(ExtAgentTest, SecondPassAddsNothing) {
  InstallSnmp();
  install_SNMP_agents();
  install_SNMP_agents();
  EXPECT_EQ(Agent("3"), "<missing>");
}

TEST_F(ExtAgentTest, AddValueToRegistryWalksAnyPath) {
  REGISTRY_ACCESS path[3] = {{HKEY_LOCAL_MACHINE, "SOFTWARE"}, {0, "Deep"}, {0, nullptr}};
  const BYTE data[4] = {1, 2, 3, 4};
  EXPECT_EQ(AddValueToRegistry(path, data, 4, REG_BINARY, "Blob"), 1);
  EXPECT_EQ(GetBytes("SOFTWARE\\Deep", "Blob"), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(AddExtensionAgent("x"), 0);  // no ExtensionAgents key
}

}  // namespace
