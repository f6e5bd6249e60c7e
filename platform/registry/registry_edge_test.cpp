// The registry calls at their edges: empty names, buffers of every size, handles with few
// rights, events armed and signalled, and volatile keys across a boot of the hive.
#include <windows.h>

#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "pairway/registry_batch.h"
#include "registry_test_util.h"
#include "temp_root.h"

using namespace pairway::registry::testing;
using pairway::testing::BuildDir;
using pairway::testing::TempRoot;

namespace {

class RegistryEdgeTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

bool KeyExists(const char* path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// ---- Keys -------------------------------------------------------------------------------------

TEST_F(RegistryEdgeTest, DeletingWithoutASubkeyNameDeletesTheKeyOfTheHandle) {
  for (LPCSTR self : {"", static_cast<LPCSTR>(nullptr)}) {
    HKEY key = CreateKey("SOFTWARE\\Corvane\\Leaving");
    ASSERT_EQ(SetNumber(key, "Port", 3), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, self), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists("SOFTWARE\\Corvane\\Leaving"));
    EXPECT_EQ(Read(key, "Port"), "<error 1018>");
    EXPECT_EQ(RegDeleteKeyA(key, self), ERROR_KEY_DELETED);
    RegCloseKey(key);
  }
  // A key with subkeys stays, and so do the roots.
  HKEY parent = CreateKey("SOFTWARE\\Corvane");
  HKEY child = CreateKey("SOFTWARE\\Corvane\\Staying");
  EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(KeyExists("SOFTWARE\\Corvane\\Staying"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(KeyExists("SOFTWARE"));
  RegCloseKey(child);
  RegCloseKey(parent);
}

TEST_F(RegistryEdgeTest, FailedOpensAndCreatesHandBackNoKey) {
  HKEY stale = CreateKey("SOFTWARE\\Stale");
  const HKEY garbage = reinterpret_cast<HKEY>(0x5a5a5a5a);
  HKEY key = garbage;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  key = garbage;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Twice", 0, KEY_READ, &key),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(key, nullptr);
  key = garbage;
  EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x1234), "", 0, KEY_READ, &key),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(key, nullptr);
  key = garbage;
  const std::string too_long(256, 'n');
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, too_long.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(RegDeleteKeyA(stale, ""), ERROR_SUCCESS);
  key = garbage;
  EXPECT_EQ(RegCreateKeyExA(stale, "Below", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(key, nullptr);
  RegCloseKey(stale);

  // The result may be the variable that held the parent: the parent is read before it is
  // overwritten.
  HKEY walk = CreateKey("SOFTWARE");
  ASSERT_EQ(
      RegCreateKeyExA(walk, "Corvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &walk, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(walk, "", 0, KEY_ALL_ACCESS, &walk), ERROR_SUCCESS);
  ASSERT_EQ(SetNumber(walk, "Here", 1), ERROR_SUCCESS);
  HKEY check;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", 0, KEY_READ, &check),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(check, "Here"), std::string("\1\0\0\0", 4));
  RegCloseKey(check);
  RegCloseKey(walk);
}

TEST_F(RegistryEdgeTest, CreatingBelowAHandleWithFewRightsGrantsTheRightsAskedFor) {
  RegCloseKey(CreateKey("SOFTWARE\\Corvane"));
  for (REGSAM parent_rights : {static_cast<REGSAM>(KEY_NOTIFY), static_cast<REGSAM>(KEY_READ)}) {
    HKEY parent;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", 0, parent_rights, &parent),
              ERROR_SUCCESS);
    HKEY child = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(parent, "Ports", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition,
              static_cast<DWORD>(parent_rights == KEY_NOTIFY ? REG_CREATED_NEW_KEY
                                                             : REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(SetNumber(child, "Count", 2), ERROR_SUCCESS);  // the child has what it asked for
    EXPECT_EQ(SetNumber(parent, "Count", 2), ERROR_ACCESS_DENIED);  // the parent still has not
    RegCloseKey(child);
    RegCloseKey(parent);
  }
  // The hive file still decides whether anything can be made at all.
  HKEY reader;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", 0, KEY_READ, &reader),
            ERROR_SUCCESS);
  ASSERT_EQ(chmod((root_.path() / "registry.db").c_str(), 0444), 0);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(reader, "Other", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(child, nullptr);
  ASSERT_EQ(chmod((root_.path() / "registry.db").c_str(), 0644), 0);
  RegCloseKey(reader);
}

TEST_F(RegistryEdgeTest, ClassBuffersOfEverySize) {
  HKEY key;
  char class_name[] = "NetworkAdapter";  // 14 characters
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classy", 0, class_name, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(CreateKey("SOFTWARE\\Classy\\Sub"));
  char buffer[32];
  auto query = [&](DWORD size, DWORD* subkeys) {
    std::memset(buffer, 'x', sizeof buffer);
    DWORD length = size;
    LONG result = RegQueryInfoKeyA(key, buffer, &length, nullptr, subkeys, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(length, 14u) << "size " << size;
    return result;
  };
  DWORD subkeys = 0;
  EXPECT_EQ(query(0, &subkeys), ERROR_SUCCESS);
  EXPECT_EQ(buffer[0], 'x');  // a size of 0 only asks
  EXPECT_EQ(query(5, &subkeys), ERROR_MORE_DATA);
  EXPECT_STREQ(buffer, "Netw");
  EXPECT_EQ(subkeys, 1u);  // the rest is answered all the same
  EXPECT_EQ(query(1, nullptr), ERROR_MORE_DATA);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(query(14, nullptr), ERROR_MORE_DATA);
  EXPECT_STREQ(buffer, "NetworkAdapte");
  EXPECT_EQ(query(15, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "NetworkAdapter");
  RegCloseKey(key);
}

// ---- Values -----------------------------------------------------------------------------------

TEST_F(RegistryEdgeTest, QueryingAMissingValueReportsNoBytes) {
  HKEY key = CreateKey("SOFTWARE\\Values");
  DWORD size = 77;
  EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  BYTE data[8];
  size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  RegCloseKey(key);
}

// The first seven bytes of a buffer of `capacity` bytes (filled with 'x' first) after reading
// the value "Text" into it, by RegQueryValueExA or RegEnumValueA (value 0); the size in *size.
std::string ReadInto(HKEY key, DWORD capacity, bool by_listing, DWORD* size) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  *size = capacity;
  char name[8];
  DWORD name_size = sizeof name;
  LONG error = by_listing ? RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr,
                                          reinterpret_cast<LPBYTE>(buffer), size)
                          : RegQueryValueExA(key, "Text", nullptr, nullptr,
                                             reinterpret_cast<LPBYTE>(buffer), size);
  return error == ERROR_SUCCESS ? std::string(buffer, 7) : "<error " + std::to_string(error) + ">";
}

TEST_F(RegistryEdgeTest, StringsReadBackTerminatedWhereTheBufferHasRoom) {
  HKEY key = CreateKey("SOFTWARE\\Values");
  const char bare[] = "TREVAN";  // stored without its terminator
  for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY}) {
    ASSERT_EQ(RegSetValueExA(key, "Text", 0, type, reinterpret_cast<const BYTE*>(bare), 6),
              ERROR_SUCCESS);
    const std::string roomy = type == REG_BINARY ? "TREVANx" : std::string("TREVAN\0", 7);
    for (bool by_listing : {false, true}) {
      DWORD size = 0;
      EXPECT_EQ(ReadInto(key, 16, by_listing, &size), roomy) << type << by_listing;
      EXPECT_EQ(size, 6u) << type;  // the stored bytes, not the terminator
      // Exactly the stored size: nothing is written past it.
      EXPECT_EQ(ReadInto(key, 6, by_listing, &size), "TREVANx") << type << by_listing;
    }
  }
  RegCloseKey(key);
}

TEST_F(RegistryEdgeTest, ListingWithShortBuffersStillSizesBoth) {
  HKEY key = CreateKey("SOFTWARE\\Values");
  const char text[] = "ten bytes";
  ASSERT_EQ(RegSetValueExA(key, "LongerName", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 10),
            ERROR_SUCCESS);
  char name[4];
  DWORD name_size = sizeof name;
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type, nullptr, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(name_size, sizeof name);

  char long_name[16];
  BYTE data[4];
  name_size = sizeof long_name;
  size = sizeof data;
  type = 0;
  EXPECT_EQ(RegEnumValueA(key, 0, long_name, &name_size, nullptr, &type, data, &size),
            ERROR_MORE_DATA);
  EXPECT_STREQ(long_name, "LongerName");
  EXPECT_EQ(name_size, 10u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 10u);
  RegCloseKey(key);
}

// ---- Events -----------------------------------------------------------------------------------

TEST_F(RegistryEdgeTest, AnArmedEventStartsClearAndAWriteHereSetsItBeforeItReturns) {
  HKEY services = CreateKey("SYSTEM\\Services");
  HKEY port = CreateKey("SYSTEM\\Services\\TREVAN1");
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);  // manual reset, set
  ASSERT_EQ(RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  RegCloseKey(CreateKey("SYSTEM\\Services\\TREVAN2"));  // a name change: not watched
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_EQ(SetNumber(port, "SlotNumber", 4), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);

  // Calls of a batch signal when the batch commits, and not at all when it is dropped.
  ASSERT_EQ(RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  {
    pairway::RegistryBatch dropped;
    ASSERT_EQ(SetNumber(port, "SlotNumber", 5), ERROR_SUCCESS);
  }
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  {
    pairway::RegistryBatch batch;
    ASSERT_EQ(SetNumber(port, "SlotNumber", 6), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_EQ(batch.Commit(), ERROR_SUCCESS);
  }
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);

  // The write that fired the event is not reported again by the next arming.
  ASSERT_EQ(RegNotifyChangeKeyValue(services, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
            ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  RegCloseKey(port);
  RegCloseKey(services);  // ends the watch: its event is set
  CloseHandle(event);
}

// ---- Volatile keys ----------------------------------------------------------------------------

// Closes this process's connection to the current hive, as a process that ends does.
void CloseHiveHere() {
  TempRoot elsewhere;
  ASSERT_EQ(SetNumber(HKEY_LOCAL_MACHINE, "other", 1), ERROR_SUCCESS);
}

HKEY CreateVolatile(const char* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key, disposition);
  return error == ERROR_SUCCESS ? key : nullptr;
}

TEST_F(RegistryEdgeTest, VolatileKeysLastUntilTheHiveBootsAgain) {
  RegCloseKey(CreateKey("SOFTWARE\\Corvane"));
  DWORD disposition = 0;
  HKEY session = CreateVolatile("SOFTWARE\\Corvane\\Session\\Now", &disposition);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(SetNumber(session, "Active", 1), ERROR_SUCCESS);
  RegCloseKey(session);
  HKEY again = CreateVolatile("SOFTWARE\\Corvane\\Session\\Now", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(again);
  HKEY kept = CreateKey("SOFTWARE\\Corvane\\Kept");
  ASSERT_EQ(SetNumber(kept, "Stays", 1), ERROR_SUCCESS);
  RegCloseKey(kept);

  CloseHiveHere();  // nobody else has it open: the next open is a boot
  EXPECT_FALSE(KeyExists("SOFTWARE\\Corvane\\Session"));
  EXPECT_TRUE(KeyExists("SOFTWARE\\Corvane\\Kept"));
  // A key made non-volatile later under the same name is an ordinary key.
  RegCloseKey(CreateKey("SOFTWARE\\Corvane\\Session"));
  CloseHiveHere();
  EXPECT_TRUE(KeyExists("SOFTWARE\\Corvane\\Session"));
}

TEST_F(RegistryEdgeTest, BelowAVolatileKeyOnlyVolatileKeysCanBeMade) {
  RegCloseKey(CreateKey("SOFTWARE"));  // every key the option makes is volatile, so not this one
  RegCloseKey(CreateVolatile("SOFTWARE\\Session"));
  HKEY key = reinterpret_cast<HKEY>(0x5a5a5a5a);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Session\\Plain\\Deeper", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(KeyExists("SOFTWARE\\Session\\Plain"));
  HKEY deeper = CreateVolatile("SOFTWARE\\Session\\Plain\\Deeper");
  ASSERT_NE(deeper, nullptr);
  RegCloseKey(deeper);
  // Opening an existing key without the option changes nothing.
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Session\\Plain", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  CloseHiveHere();
  EXPECT_FALSE(KeyExists("SOFTWARE\\Session"));
  EXPECT_TRUE(KeyExists("SOFTWARE"));
}

TEST_F(RegistryEdgeTest, AHiveAnotherProcessHasOpenDoesNotBoot) {
  const std::string probe = (BuildDir() / "bin" / "tests" / "reg_probe").string();
  FILE* pipe = popen((probe + " open SOFTWARE & echo $!").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[64];
  ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
  const pid_t holder = static_cast<pid_t>(atoi(line));
  ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
  EXPECT_STREQ(line, "open\n");
  RegCloseKey(CreateVolatile("SOFTWARE\\Session"));
  CloseHiveHere();
  EXPECT_TRUE(KeyExists("SOFTWARE\\Session")) << "the machine is still up";

  kill(holder, SIGKILL);  // a process that dies closes the hive
  while (fgets(line, sizeof line, pipe) != nullptr) {
  }
  pclose(pipe);
  CloseHiveHere();
  EXPECT_FALSE(KeyExists("SOFTWARE\\Session"));
}

}  // namespace
