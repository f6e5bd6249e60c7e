#include "agent_entry.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "agent_test_util.h"

namespace {

using mifsnmp_test::AgentMachine;
using mifsnmp_test::Name;
using mifsnmp_test::Oid;
using pairway::testing::BuildDir;
using pairway::testing::RunCommand;

const Oid kEndOfView = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 2};

// A binding list that owns its bindings as the SNMP service does, freed with SnmpUtil calls.
class BindingList {
 public:
  explicit BindingList(const std::vector<Oid>& names) {
    list_.len = static_cast<UINT>(names.size());
    list_.list = static_cast<RFC1157VarBind*>(SnmpUtilMemAlloc(sizeof(RFC1157VarBind) * list_.len));
    for (UINT i = 0; i < list_.len; i++) {
      AsnObjectIdentifier name = {static_cast<UINT>(names[i].size()),
                                  const_cast<UINT*>(names[i].data())};
      SnmpUtilOidCpy(&list_.list[i].name, &name);
      list_.list[i].value.asnType = ASN_NULL;
    }
  }
  ~BindingList() { SnmpUtilVarBindListFree(&list_); }
  RFC1157VarBindList* get() { return &list_; }
  Oid name(UINT i) const {
    return Oid(list_.list[i].name.ids, list_.list[i].name.ids + list_.list[i].name.idLength);
  }
  BYTE type(UINT i) const { return list_.list[i].value.asnType; }

 private:
  RFC1157VarBindList list_{};
};

struct Outcome {
  AsnInteger32 status = -7;  // -7: not written
  AsnInteger32 index = -7;
};

Outcome Query(BYTE type, BindingList* list) {
  Outcome outcome;
  EXPECT_TRUE(SnmpExtensionQuery(type, list->get(), &outcome.status, &outcome.index));
  return outcome;
}

class AgentEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.AddCard(1, "TREVAN1");
    machine_.AddCard(2, "TREVAN2");
    machine_.Load();
  }
  AgentMachine machine_;
};

TEST_F(AgentEntryTest, InitReportsTheViewAndThePortCount) {
  HANDLE trap_event = reinterpret_cast<HANDLE>(1);
  AsnObjectIdentifier view{};
  EXPECT_EQ(SnmpExtensionInit(0, &trap_event, &view), 2);
  EXPECT_EQ(trap_event, nullptr);
  EXPECT_EQ(Oid(view.ids, view.ids + view.idLength), Name({}));

  AsnObjectIdentifier enterprise{};
  AsnInteger32 generic = 9, specific = 9;
  AsnTimeticks stamp = 9;
  RFC1157VarBindList bindings{};
  EXPECT_FALSE(SnmpExtensionTrap(&enterprise, &generic, &specific, &stamp, &bindings));
  EXPECT_EQ(generic, 9);
}

TEST(AgentEntry, InitFailsWithoutPorts) {
  AgentMachine machine;
  machine.Load();
  HANDLE trap_event = nullptr;
  AsnObjectIdentifier view{};
  EXPECT_FALSE(SnmpExtensionInit(0, &trap_event, &view));
}

TEST_F(AgentEntryTest, GetNextPastTheLastInstanceHandsOnToTheNextView) {
  for (const Oid& name :
       {Name({8, 1, 9, 2}), kEndOfView, Oid{1, 3, 6, 1, 4, 1, 32473, 4}, Oid{4294967295u}}) {
    BindingList list({name});
    list.get()->list[0].value.asnType = ASN_INTEGER;
    Outcome outcome = Query(SNMP_PDU_GETNEXT, &list);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.index, -7);
    EXPECT_EQ(list.name(0), kEndOfView);
    EXPECT_EQ(list.type(0), ASN_INTEGER);  // the value is left as it was
  }
}

TEST_F(AgentEntryTest, TheFirstFailingBindingEndsTheRequest) {
  BindingList list({Name({4, 1, 2, 1}), Name({4, 1, 2, 3}), Name({4, 1, 2, 2})});
  Outcome outcome = Query(SNMP_PDU_GET, &list);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.index, 2);
  EXPECT_EQ(list.type(0), ASN_OCTETSTRING);  // the first keeps its answer
  EXPECT_EQ(list.type(2), ASN_NULL);         // the third was never asked

  BindingList good({Name({4, 1, 6, 1}), Name({1, 1, 7, 2})});
  outcome = Query(SNMP_PDU_GET, &good);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.index, -7);

  BindingList empty({});
  outcome = Query(SNMP_PDU_GET, &empty);
  EXPECT_EQ(outcome.status, -7);
  EXPECT_EQ(outcome.index, -7);
}

TEST_F(AgentEntryTest, EveryRequestTypeButGetAndGetNextIsRefusedUnchanged) {
  for (int type = 0; type <= 0xFF; type++) {
    if (type == SNMP_PDU_GET || type == SNMP_PDU_GETNEXT) continue;
    BindingList list({Name({4, 1, 2, 1}), Name({4, 1, 2, 2})});
    Outcome outcome = Query(static_cast<BYTE>(type), &list);
    ASSERT_EQ(outcome.status, 2) << type;
    EXPECT_EQ(outcome.index, 1);
    EXPECT_EQ(list.name(0), Name({4, 1, 2, 1}));
    EXPECT_EQ(list.type(0), ASN_NULL);
    EXPECT_EQ(list.type(1), ASN_NULL);
  }
  AsnInteger32 status = -7, index = -7;
  EXPECT_TRUE(SnmpExtensionQuery(SNMP_PDU_GET, nullptr, &status, &index));
  EXPECT_EQ(status, -7);
}

// What TestResolveVarBind prints for `args` (after the program name).
std::string RunTestHook(std::vector<std::string> args) {
  std::vector<char*> argv = {const_cast<char*>("mifsnmp")};
  for (std::string& arg : args) argv.push_back(arg.data());
  fflush(stdout);
  char path[] = "/tmp/mifsnmp-test-XXXXXX";
  int capture = mkstemp(path);
  int saved = dup(STDOUT_FILENO);
  dup2(capture, STDOUT_FILENO);
  TestResolveVarBind(static_cast<int>(argv.size()), argv.data());
  fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string text;
  lseek(capture, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(capture, buffer, sizeof buffer)) > 0) text.append(buffer, n);
  close(capture);
  unlink(path);
  return text;
}

TEST_F(AgentEntryTest, TestHookPrintsAnswersAsItsUsersExpect) {
  EXPECT_EQ(RunTestHook({"get", "1", "3", "6", "1", "4", "1", "32473", "3", "1", "2", "1", "4", "1",
                         "2", "2"}),
            "1 3 6 1 4 1 32473 3 1 2 1 4 1 2 2 A string of size 12, value 00A0C9120002\n");
  EXPECT_EQ(RunTestHook({"getnext", "1", "3", "6", "1", "4", "1", "32473", "3", "1", "2", "1", "2",
                         "1", "2", "1"}),
            "1 3 6 1 4 1 32473 3 1 2 1 2 1 2 2 The following integer was returned 2 2\n");
  EXPECT_EQ(RunTestHook({"set", "1", "3", "6", "1", "4", "1", "32473", "3", "1", "2", "1", "1", "1",
                         "1", "1"}),
            "");
  EXPECT_EQ(RunTestHook({"other", "1"}), "");
  EXPECT_EQ(RunTestHook({}), "");
  EXPECT_EQ(RunTestHook({"get", "4294967295", "-1", "99999999999999999999"}), "");
}

TEST_F(AgentEntryTest, TestHookWalksTheWholeMibAndStopsSilently) {
  std::string text = RunTestHook({"walk", "1", "3", "6", "1", "4", "1", "32473"});
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 45u * 2 + 7u * 4);
  EXPECT_EQ(
      text.rfind("1 3 6 1 4 1 32473 3 1 2 1 1 1 1 1 A string of size 13, value Corvane, Inc.\n", 0),
      0u);
  EXPECT_NE(text.find("1 3 6 1 4 1 32473 3 1 2 1 8 1 9 2 The following integer was returned 0 0\n"),
            std::string::npos);
}

// The library as the SNMP service loads it: from the root's system directory, by name.
TEST(MifsnmpLibrary, ExportsTheFourEntryPointsAndFindsPortsWhenLoaded) {
  AgentMachine machine;
  ASSERT_EQ(RunCommand(BuildDir().string() + "/bin/pairway-netsetup init >/dev/null"), 0);
  machine.AddCard(1, "TREVAN1");
  std::string exports;
  ASSERT_EQ(RunCommand("nm -D --defined-only " + BuildDir().string() + "/lib/mifsnmp.so", &exports),
            0);
  for (const char* name :
       {"SnmpExtensionInit", "SnmpExtensionQuery", "SnmpExtensionTrap", "TestResolveVarBind"}) {
    EXPECT_NE(exports.find(std::string(" T ") + name + "\n"), std::string::npos) << name;
  }
  size_t code_symbols = 0;
  for (size_t at = exports.find(" T "); at != std::string::npos; at = exports.find(" T ", at + 1))
    code_symbols++;
  EXPECT_EQ(code_symbols, 4u) << exports;

  HMODULE library = LoadLibraryA("mifsnmp.dll");
  ASSERT_NE(library, nullptr);
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(GetProcAddress(library, "SnmpExtensionInit"));
  auto query =
      reinterpret_cast<PFNSNMPEXTENSIONQUERY>(GetProcAddress(library, "SnmpExtensionQuery"));
  ASSERT_NE(init, nullptr);
  ASSERT_NE(query, nullptr);
  HANDLE trap_event = nullptr;
  AsnObjectIdentifier view{};
  EXPECT_EQ(init(0, &trap_event, &view), 1);
  BindingList list({Name({6, 1, 4, 1}), Name({6, 1, 5, 1}), Name({1, 1, 3, 1})});
  AsnInteger32 status = -7, index = -7;
  EXPECT_TRUE(query(SNMP_PDU_GET, list.get(), &status, &index));
  EXPECT_EQ(status, 0);
  const AsnOctetString& name = list.get()->list[0].value.asnValue.string;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name.stream), name.length),
            "Corvane TREVAN Multi-Port Adapter Driver");
  EXPECT_GT(list.get()->list[1].value.asnValue.number, 0);  // the driver file's size
  const AsnOctetString& version = list.get()->list[2].value.asnValue.string;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(version.stream), version.length), "1.0");
  EXPECT_TRUE(FreeLibrary(library));
}

}  // namespace
