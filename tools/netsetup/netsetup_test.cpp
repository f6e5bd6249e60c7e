// pairway-netsetup, run as a program on a fresh root: usage and exit codes, init, and the card
// verbs with the exact bytes they leave in the hive.
#include <ntddndis.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <atomic>
#include <iterator>
#include <string>
#include <thread>

#include "pairway/registry_batch.h"
#include "registry_layout.h"
#include "temp_root.h"
#include "test_netns.h"

namespace {

using pairway::testing::BuildDir;
using pairway::testing::RunCommand;
using pairway::testing::TempRoot;
namespace fs = std::filesystem;

class NetsetupTest : public ::testing::Test {
 protected:
  // Runs the tool with the test's root; returns its exit status.
  int Run(const std::string& arguments, std::string* out = nullptr) {
    std::string command = (BuildDir() / "bin" / "pairway-netsetup").string() + " --root '" +
                          root_.path().string() + "' " + arguments + " 2>/dev/null";
    return RunCommand(command, out);
  }
  std::string Get(const std::string& path, const char* name, DWORD* type = nullptr) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return "<no key>";
    }
    char data[512];
    DWORD size = sizeof data;
    DWORD stored = 0;
    LONG status =
        RegQueryValueExA(key, name, nullptr, &stored, reinterpret_cast<LPBYTE>(data), &size);
    RegCloseKey(key);
    if (type != nullptr) *type = stored;
    return status == ERROR_SUCCESS ? std::string(data, size) : "<missing>";
  }
  bool Exists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  static std::string Sz(const std::string& text) { return text + '\0'; }
  static std::string Dword(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), 4);
  }
  TempRoot root_;
};

TEST_F(NetsetupTest, HelpAndUsageErrors) {
  std::string out;
  EXPECT_EQ(Run("--help", &out), 0);
  for (const char* verb : {"init", "add-card", "remove-card", "set-ip", "nic"}) {
    EXPECT_NE(out.find(verb), std::string::npos) << verb;
    std::string verb_help;
    EXPECT_EQ(Run(std::string(verb) + " --help", &verb_help), 0);
    EXPECT_NE(verb_help.find(std::string("Usage: pairway-netsetup [--root DIR] ") + verb),
              std::string::npos);
  }
  EXPECT_EQ(Run(""), 1);
  EXPECT_EQ(Run("frobnicate"), 1);
  EXPECT_EQ(Run("init --bogus"), 1);
  EXPECT_EQ(RunCommand("env -u PAIRWAY_ROOT " + (BuildDir() / "bin" / "pairway-netsetup").string() +
                       " add-card 2>/dev/null"),
            2);  // no machine root
}

TEST_F(NetsetupTest, InitPreparesHiveAndSystemDirectory) {
  fs::path root = root_.path() / "new" / "root";  // created by init
  std::string out;
  ASSERT_EQ(RunCommand((BuildDir() / "bin" / "pairway-netsetup").string() + " --root " +
                           root.string() + " init --snmp",
                       &out),
            0);
  setenv("PAIRWAY_ROOT", root.c_str(), 1);
  EXPECT_TRUE(Exists(NETWORK_CARDS_KEY));
  EXPECT_TRUE(Exists(SNMP_EXTENSION_AGENTS_KEY));
  for (const char* list : {VAL_ROUTE, VAL_BIND, VAL_EXPORT}) {
    DWORD type = 0;
    EXPECT_EQ(Get(DRIVER_LINKAGE_KEY, list, &type), std::string(1, '\0')) << list;
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  }
  DWORD type = 0;
  EXPECT_EQ(Get(DRIVER_SERVICE_KEY, VAL_IMAGE_PATH, &type),
            Sz("\\SystemRoot\\System32\\drivers\\trevan.sys"));
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(Get(TREVAN_SOFTWARE_KEY, VAL_REF_COUNT), Dword(0));
  fs::path system = root / "drive_c" / "WINNT" / "System32";
  EXPECT_TRUE(fs::is_regular_file(system / "drivers" / "trevan.sys"));
  // Each installed file of the build is linked under its NT name; the others are left out.
  const std::pair<const char*, const char*> installed[] = {{"portwarden.exe", "bin/portwarden"},
                                                           {"ctrsetup.dll", "lib/ctrsetup.so"},
                                                           {"aggcfg.dll", "lib/aggcfg.so"},
                                                           {"lodctr.exe", "bin/pairway-lodctr"}};
  for (const auto& [nt_name, build_file] : installed) {
    if (fs::exists(BuildDir() / build_file)) {
      ASSERT_TRUE(fs::is_symlink(system / nt_name)) << nt_name;
      EXPECT_EQ(fs::read_symlink(system / nt_name), BuildDir() / build_file);
      EXPECT_NE(out.find(std::string(nt_name) + " -> "), std::string::npos);
    } else {
      EXPECT_FALSE(fs::exists(system / nt_name)) << nt_name;
    }
  }
}

TEST_F(NetsetupTest, InitTwiceKeepsInstalledCards) {
  ASSERT_EQ(Run("init"), 0);
  ASSERT_EQ(Run("add-card"), 0);
  ASSERT_EQ(Run("init"), 0);
  EXPECT_EQ(Get(DRIVER_LINKAGE_KEY, VAL_ROUTE), Sz("\"TREVAN1\"") + '\0');
  EXPECT_EQ(Get(TREVAN_SOFTWARE_KEY, VAL_REF_COUNT), Dword(1));
  EXPECT_FALSE(Exists(SNMP_EXTENSION_AGENTS_KEY));
}

TEST_F(NetsetupTest, AddCardInstallsAPortAsTheSetupDoes) {
  ASSERT_EQ(Run("init"), 0);
  std::string out;
  ASSERT_EQ(Run("add-card", &out), 0);
  EXPECT_EQ(out, "1\n");
  out.clear();
  ASSERT_EQ(Run("add-card --slot 4 --bus 2 --title 'Second port'", &out), 0);
  EXPECT_EQ(out, "2\n");

  std::string card = NETWORK_CARDS_KEY_SLASH "2";
  EXPECT_EQ(Get(card, VAL_PRODUCT_NAME), Sz("TREVAN"));
  EXPECT_EQ(Get(card, VAL_SERVICE_NAME), Sz("TREVAN2"));
  EXPECT_EQ(Get(card, VAL_MANUFACTURER), Sz("Corvane"));
  EXPECT_EQ(Get(card, VAL_TITLE), Sz("Second port"));
  EXPECT_EQ(Get(card + "\\NetRules", VAL_BINDFORM), Sz("\"TREVAN2\" yes yes container"));
  EXPECT_EQ(Get(card + "\\NetRules", VAL_TYPE), Sz("TREVAN TREVANAdapter"));
  std::string params = SERVICES_KEY_SLASH "TREVAN2\\Parameters";
  EXPECT_EQ(Get(params, VAL_SLOT_NUMBER), Dword(4));
  EXPECT_EQ(Get(params, VAL_BUS_NUMBER), Dword(2));
  EXPECT_EQ(Get(DRIVER_LINKAGE_KEY, VAL_ROUTE), std::string("\"TREVAN1\"\0\"TREVAN2\"\0\0", 21));
  EXPECT_EQ(Get(DRIVER_LINKAGE_KEY, VAL_BIND),
            std::string("\\Device\\TREVAN1\0\\Device\\TREVAN2\0\0", 33));
  EXPECT_EQ(Get(DRIVER_LINKAGE_KEY, VAL_EXPORT), Get(DRIVER_LINKAGE_KEY, VAL_BIND));
  EXPECT_EQ(Get(TREVAN_SOFTWARE_KEY, VAL_REF_COUNT), Dword(2));
}

TEST_F(NetsetupTest, AddCardRefusesBadInput) {
  EXPECT_EQ(Run("add-card"), 4);  // no driver installed yet
  ASSERT_EQ(Run("init"), 0);
  EXPECT_EQ(Run("add-card --slot x"), 1);
  EXPECT_EQ(Run("add-card --slot 256"), 1);
  EXPECT_EQ(Run("add-card --title"), 1);
  EXPECT_EQ(Run("add-card --interface no-such-if0"), 4);
  EXPECT_FALSE(Exists(NETWORK_CARDS_KEY_SLASH "1"));
}

TEST_F(NetsetupTest, AddCardFromALinuxInterfaceRecordsIt) {
  ASSERT_EQ(Run("init"), 0);
  ASSERT_EQ(Run("add-card --interface lo"), 0);  // no PCI address: the defaults stay
  EXPECT_EQ(Get(SERVICES_KEY_SLASH "TREVAN1\\Parameters", "HostInterface"), Sz("lo"));
  EXPECT_EQ(Get(SERVICES_KEY_SLASH "TREVAN1\\Parameters", VAL_SLOT_NUMBER), Dword(1));
}

TEST_F(NetsetupTest, RemoveCardUndoesAddCardAndFreesItsNumber) {
  ASSERT_EQ(Run("init"), 0);
  for (int i = 0; i < 3; i++) ASSERT_EQ(Run("add-card"), 0);
  ASSERT_EQ(Run("set-ip 2 10.0.0.2"), 0);
  ASSERT_EQ(Run("remove-card 2"), 0);
  EXPECT_FALSE(Exists(NETWORK_CARDS_KEY_SLASH "2"));
  EXPECT_FALSE(Exists(SERVICES_KEY_SLASH "TREVAN2"));
  EXPECT_EQ(Get(DRIVER_LINKAGE_KEY, VAL_ROUTE), std::string("\"TREVAN1\"\0\"TREVAN3\"\0\0", 21));
  EXPECT_EQ(Get(TREVAN_SOFTWARE_KEY, VAL_REF_COUNT), Dword(2));
  std::string out;
  ASSERT_EQ(Run("add-card", &out), 0);
  EXPECT_EQ(out, "2\n");
  EXPECT_EQ(Run("remove-card 9"), 4);
  EXPECT_EQ(Run("remove-card x"), 1);
  EXPECT_EQ(Run("remove-card"), 1);
}

// The monitor, the configuration library and the SNMP agent read the card list while the setup
// installs and removes ports: a card they find must have its bind rules, its service, its
// linkage entries and its count, and a removed one must be gone with all of them.
TEST_F(NetsetupTest, ReadersMeetWholeCardsOnlyWhileCardsComeAndGo) {
  ASSERT_EQ(Run("init"), 0);
  constexpr int kCards = 4;
  constexpr int kRounds = 3;
  std::atomic<bool> writing{true};
  std::atomic<int> failures{0};
  std::thread writer([&] {
    for (int round = 0; round < kRounds; round++) {
      for (int card = 1; card <= kCards; card++) failures += Run("add-card") != 0;
      for (int card = 1; card <= kCards; card++)
        failures += Run("remove-card " + std::to_string(card)) != 0;
    }
    writing = false;
  });
  int looks = 0, seen = 0;
  std::string partial;
  while (writing) {
    {
      // A write transaction of its own gives the reader one committed state of the hive to look
      // at, whatever the writer commits meanwhile.
      pairway::RegistryBatch snapshot;
      if (snapshot.status() != ERROR_SUCCESS) partial += "no snapshot; ";
      const std::string route = Get(DRIVER_LINKAGE_KEY, VAL_ROUTE);
      const std::string count = Get(TREVAN_SOFTWARE_KEY, VAL_REF_COUNT);
      int cards = 0;
      for (int card = 1; card <= kCards; card++) {
        const std::string n = std::to_string(card);
        const std::string service = "TREVAN" + n;
        const bool listed = Exists(NETWORK_CARDS_KEY_SLASH + n);
        const bool whole = Get(NETWORK_CARDS_KEY_SLASH + n + "\\NetRules", "type") != "<missing>" &&
                           Exists(SERVICES_KEY_SLASH + service + "\\Parameters") &&
                           route.find("\"" + service + "\"") != std::string::npos;
        const bool gone = !Exists(SERVICES_KEY_SLASH + service) &&
                          route.find("\"" + service + "\"") == std::string::npos;
        if (listed ? !whole : !gone)
          partial += "card " + n + (listed ? " half made; " : " half gone; ");
        cards += listed;
      }
      if (count != Dword(static_cast<DWORD>(cards))) partial += "RefCount off; ";
      seen += cards;
    }
    looks++;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  writer.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(partial, "") << "in " << looks << " looks, " << seen << " cards seen";
}

TEST_F(NetsetupTest, SetIpWritesAndRemovesTheAddresses) {
  ASSERT_EQ(Run("init"), 0);
  ASSERT_EQ(Run("add-card"), 0);
  std::string tcpip = SERVICES_KEY_SLASH "TREVAN1\\Parameters\\Tcpip";
  ASSERT_EQ(Run("set-ip 1 192.168.1.10 192.168.1.11"), 0);
  DWORD type = 0;
  EXPECT_EQ(Get(tcpip, VAL_IP_ADDRESS, &type), std::string("192.168.1.10\0"
                                                           "192.168.1.11\0\0",
                                                           27));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  ASSERT_EQ(Run("set-ip 1"), 0);
  EXPECT_EQ(Get(tcpip, VAL_IP_ADDRESS), "<missing>");
  EXPECT_EQ(Run("set-ip 1"), 0);  // nothing to remove
  EXPECT_EQ(Run("set-ip 1 300.1.1.1"), 1);
  EXPECT_EQ(Run("set-ip 5 10.0.0.1"), 4);
}

TEST_F(NetsetupTest, SetIpMasksPairWithTheirAddressesAndNeverOutliveThem) {
  ASSERT_EQ(Run("init"), 0);
  ASSERT_EQ(Run("add-card"), 0);
  std::string tcpip = SERVICES_KEY_SLASH "TREVAN1\\Parameters\\Tcpip";
  // An address without a prefix beside one with it gets its class mask, so the lists pair.
  ASSERT_EQ(Run("set-ip 1 10.0.0.5/24 172.16.0.1 192.168.1.1/32 10.9.0.1/1"), 0);
  EXPECT_EQ(Get(tcpip, VAL_SUBNET_MASK), std::string("255.255.255.0\0"
                                                     "255.255.0.0\0"
                                                     "255.255.255.255\0"
                                                     "128.0.0.0\0\0",
                                                     53));
  EXPECT_EQ(Get(tcpip, VAL_IP_ADDRESS), std::string("10.0.0.5\0"
                                                    "172.16.0.1\0"
                                                    "192.168.1.1\0"
                                                    "10.9.0.1\0\0",
                                                    42));
  // New addresses without masks: the old masks would pair with the wrong addresses.
  ASSERT_EQ(Run("set-ip 1 10.0.0.7"), 0);
  EXPECT_EQ(Get(tcpip, VAL_SUBNET_MASK), "<missing>");
  ASSERT_EQ(Run("set-ip 1 10.0.0.7/8"), 0);
  ASSERT_EQ(Run("set-ip 1"), 0);
  EXPECT_EQ(Get(tcpip, VAL_SUBNET_MASK), "<missing>");
  EXPECT_EQ(Get(tcpip, VAL_IP_ADDRESS), "<missing>");
  // Bad prefixes change nothing.
  ASSERT_EQ(Run("set-ip 1 10.0.0.8/16"), 0);
  for (const char* bad : {"10.0.0.9/0", "10.0.0.9/33", "10.0.0.9/", "10.0.0.9/x", "/24"}) {
    EXPECT_EQ(Run(std::string("set-ip 1 10.0.0.1/8 ") + bad), 1) << bad;
  }
  EXPECT_EQ(Get(tcpip, VAL_SUBNET_MASK), std::string("255.255.0.0\0\0", 13));
}

// The reply of one NDIS query to the device of port `service`; -1 when it cannot be had.
long long QueryPort(const std::string& service, DWORD oid) {
  DefineDosDeviceA(DDD_RAW_TARGET_PATH, service.c_str(), ("\\Device\\" + service).c_str());
  HANDLE port = CreateFileA(("\\\\.\\" + service).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return -1;
  unsigned long long value = 0;
  DWORD returned = 0;
  BOOL ok =
      DeviceIoControl(port, IOCTL_NDIS_QUERY_GLOBAL_STATS, &oid, 4, &value, 8, &returned, nullptr);
  CloseHandle(port);
  return ok ? static_cast<long long>(value) : -1;
}

TEST_F(NetsetupTest, NicSetChangesWhatTheDriverAnswersAndShowPrintsIt) {
  ASSERT_EQ(Run("init"), 0);
  ASSERT_EQ(Run("add-card"), 0);
  ASSERT_EQ(Run("add-card"), 0);
  std::string out;
  ASSERT_EQ(Run("nic 2 show", &out), 0);
  EXPECT_NE(out.find("OID_GEN_XMIT_OK=0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("permanent-address=00A0C9120002\n"), std::string::npos) << out;
  EXPECT_NE(out.find("multicast=\n"), std::string::npos) << out;

  ASSERT_EQ(Run("nic 2 set OID_GEN_XMIT_OK=5 multicast=01005E000001,01005E000002 link=down "
                "adapter-info=none"),
            0);
  EXPECT_EQ(QueryPort("TREVAN2", OID_GEN_XMIT_OK), 5);
  EXPECT_EQ(QueryPort("TREVAN1", OID_GEN_XMIT_OK), 0);
  out.clear();
  ASSERT_EQ(Run("nic 2 show", &out), 0);
  for (const char* line : {"OID_GEN_XMIT_OK=5\n", "multicast=01005E000001,01005E000002\n",
                           "link=down\n", "adapter-info=none\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line;

  ASSERT_EQ(Run("remove-card 2"), 0);  // the port's device goes with its card
  EXPECT_EQ(QueryPort("TREVAN2", OID_GEN_XMIT_OK), -1);
}

TEST_F(NetsetupTest, NicRefusesBadInputAndChangesNothing) {
  ASSERT_EQ(Run("init"), 0);
  ASSERT_EQ(Run("add-card"), 0);
  std::string before;
  ASSERT_EQ(Run("nic 1 show", &before), 0);
  for (const char* bad :
       {"nic 1 set OID_GEN_RCV_OK=7 no-such-field=1", "nic 1 set OID_GEN_RCV_OK=7 link=sideways",
        "nic 1 set OID_GEN_RCV_OK=7 permanent-address=00A0", "nic 1 set",
        "nic 1 set OID_GEN_RCV_OK", "nic 9 show", "nic 0 show", "nic x show", "nic 1", "nic 1 frob",
        "nic 1 show extra"}) {
    EXPECT_EQ(Run(bad), 1) << bad;
  }
  std::string after;
  ASSERT_EQ(Run("nic 1 show", &after), 0);
  EXPECT_EQ(after, before);
  // A damaged state file is reported and kept as it is, not replaced by a default.
  std::ofstream(root_.path() / "nic" / "TREVAN1.state", std::ios::app) << "garbage\n";
  EXPECT_EQ(Run("nic 1 show"), 5);
  EXPECT_EQ(Run("nic 1 set OID_GEN_RCV_OK=7"), 5);
  std::ifstream kept(root_.path() / "nic" / "TREVAN1.state");
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(kept), {}).find("garbage"),
            std::string::npos);
}

TEST_F(NetsetupTest, NicOnALinuxPortShowsTheInterfaceAndRefusesSet) {
  ASSERT_EQ(Run("init"), 0);
  ASSERT_EQ(Run("add-card --interface lo"), 0);
  EXPECT_FALSE(fs::exists(root_.path() / "nic" / "TREVAN1.state"));
  std::string out;
  ASSERT_EQ(Run("nic 1 show", &out), 0);
  EXPECT_NE(out.find("interface=lo\n"), std::string::npos) << out;
  EXPECT_EQ(Run("nic 1 set OID_GEN_XMIT_OK=5"), 1);
}

TEST_F(NetsetupTest, NicShowsTheLiveFiguresOfAPortOnAVethInterface) {
  pairway::testing::TestNamespace netns;
  if (!netns.ok()) GTEST_SKIP() << "no network namespace can be made here: " << netns.error();
  ASSERT_EQ(netns.Exec("ip link add va type veth peer name vb"), 0);
  ASSERT_EQ(Run("init"), 0);
  const std::string tool = (BuildDir() / "bin" / "pairway-netsetup").string() + " --root '" +
                           root_.path().string() + "' ";
  EXPECT_EQ(RunCommand(tool + "add-card --interface va 2>/dev/null"), 4);  // not out here
  ASSERT_EQ(netns.Exec(tool + "add-card --interface va"), 0);
  std::string out;
  ASSERT_EQ(netns.Exec(tool + "nic 1 show", &out), 0);
  for (const char* line : {"interface=va\n", "driver=veth\n", "OID_GEN_XMIT_OK=", "link=down\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
  EXPECT_EQ(Run("nic 1 show"), 4);  // outside the namespace the interface is not there
}

}  // namespace
