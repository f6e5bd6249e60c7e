// agent_test_util.h: an emulated machine with TREVAN ports for the agent's tests, and small
// helpers to ask the agent as the SNMP service does. For tests only.
#ifndef MIFSNMP_AGENT_TEST_UTIL_H
#define MIFSNMP_AGENT_TEST_UTIL_H

#include <snmp.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "agent_entry.h"
#include "driver_access.h"
#include "mib_table.h"
#include "pairway/nic_state.h"
#include "registry_layout.h"
#include "temp_root.h"

namespace mifsnmp_test {

using Oid = std::vector<UINT>;

// The view followed by `suffix`: Name({4, 1, 2, 1}) is port 1's permanent address.
inline Oid Name(const Oid& suffix) {
  Oid name = {1, 3, 6, 1, 4, 1, 32473, 3, 1, 2, 1};
  name.insert(name.end(), suffix.begin(), suffix.end());
  return name;
}

inline void WriteValue(const std::string& path, const char* name, DWORD type, const void* data,
                       DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}
inline void WriteText(const std::string& path, const char* name, const std::string& text,
                      DWORD type = REG_SZ) {
  WriteValue(path, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
inline void WriteDword(const std::string& path, const char* name, DWORD value) {
  WriteValue(path, name, REG_DWORD, &value, sizeof value);
}

// A fresh root. Ports are added as the network setup and the driver would add them; Load() then
// does the library's load work and the destructor its unload work.
class AgentMachine {
 public:
  // The library keeps the platform flag from its first question until it is unloaded; a test
  // that asks without loading must not leave its answer to the next test's machine.
  AgentMachine() { release_ports(); }
  ~AgentMachine() {
    Unload();
    release_ports();
  }

  const pairway::testing::TempRoot& root() const { return root_; }

  // Card `card` of the driver (NetworkCards\<card>) served by `service`, with an emulated port
  // in its default state (addresses 00A0C912 + the service's number).
  void AddCard(int card, const std::string& service, const std::string& product = "TREVAN") {
    const std::string key = NETWORK_CARDS_KEY_SLASH + std::to_string(card);
    WriteText(key, VAL_PRODUCT_NAME, product);
    WriteText(key, VAL_SERVICE_NAME, service);
    const size_t digits = service.find_first_of("0123456789");
    AddPortState(service, digits == std::string::npos ? 0 : std::stoi(service.substr(digits)));
  }
  void AddPortState(const std::string& service, int instance) {
    ASSERT_EQ(pairway::WriteNicState(root_.path(), service, pairway::DefaultNicState(instance)),
              0u);
  }
  // Applies "field=value" settings of `pairway-netsetup nic CARD set`.
  void SetNic(const std::string& service, const std::vector<std::string>& assignments) {
    pairway::NicState state;
    ASSERT_EQ(pairway::ReadNicState(root_.path(), service, &state), 0u);
    for (const std::string& assignment : assignments) {
      std::string error;
      ASSERT_EQ(pairway::SetNicField(&state, assignment, &error), 0u) << error;
    }
    ASSERT_EQ(pairway::WriteNicState(root_.path(), service, state), 0u);
  }
  // Makes the root a Windows 95 machine with the virtual device installed.
  void MakeWindows95() {
    std::ofstream(root_.path() / "machine.conf") << "os=win95\n";
    std::filesystem::create_directories(root_.path() / "drive_c/WINDOWS/SYSTEM");
    std::ofstream(root_.path() / "drive_c/WINDOWS/SYSTEM/NICIOVX.VXD") << "virtual device\n";
  }

  void Load() {
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    loaded_ = true;
  }
  void Unload() {
    if (loaded_) DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    loaded_ = false;
  }

 private:
  pairway::testing::TempRoot root_;
  bool loaded_ = false;
};

// A binding that owns its name and value as the SNMP service would, freeing both at the end.
class Binding {
 public:
  explicit Binding(const Oid& name) {
    AsnObjectIdentifier source = {static_cast<UINT>(name.size()), const_cast<UINT*>(name.data())};
    SnmpUtilOidCpy(&vb_.name, &source);
    vb_.value.asnType = ASN_NULL;
  }
  ~Binding() { SnmpUtilVarBindFree(&vb_); }
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;

  RFC1157VarBind* get() { return &vb_; }
  Oid name() const { return Oid(vb_.name.ids, vb_.name.ids + vb_.name.idLength); }
  BYTE type() const { return vb_.value.asnType; }
  AsnInteger32 number() const { return vb_.value.asnValue.number; }
  std::string text() const {
    const AsnOctetString& s = vb_.value.asnValue.string;
    return std::string(reinterpret_cast<const char*>(s.stream), s.length);
  }
  // Frees the value before the binding is asked again, as a host that reuses it must.
  void ClearValue() {
    SnmpUtilAsnAnyFree(&vb_.value);
    vb_.value.asnType = ASN_NULL;
  }

 private:
  RFC1157VarBind vb_{};
};

struct Answer {
  int status;
  Oid name;
  BYTE type = 0;
  AsnInteger32 number = 0;
  std::string text;
};

// One resolve_var_bind call on a fresh binding.
inline Answer Resolve(const Oid& name, BYTE request_type) {
  Binding binding(name);
  Answer answer{resolve_var_bind(binding.get(), request_type), binding.name()};
  answer.type = binding.type();
  if (answer.status == 0 && answer.type == ASN_OCTETSTRING) {
    answer.text = binding.text();
  } else if (answer.status == 0) {
    answer.number = binding.number();
  }
  return answer;
}
inline Answer Get(const Oid& name) { return Resolve(name, SNMP_PDU_GET); }
inline Answer GetNext(const Oid& name) { return Resolve(name, SNMP_PDU_GETNEXT); }

// Every instance from the start of the view to its end, by GETNEXT.
inline std::vector<Answer> Walk() {
  std::vector<Answer> answers;
  Oid name = {1, 3, 6, 1, 4, 1, 32473};
  for (;;) {
    Answer answer = GetNext(name);
    if (answer.status != 0) break;
    name = answer.name;
    answers.push_back(std::move(answer));
  }
  return answers;
}

}  // namespace mifsnmp_test

#endif  // MIFSNMP_AGENT_TEST_UTIL_H
