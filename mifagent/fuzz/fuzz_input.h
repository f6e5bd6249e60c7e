// fuzz_input.h: how a fuzzer's bytes become one request to resolve_var_bind, and the machine the
// request meets. Shared by the libFuzzer target and the test that replays its saved corpus, so
// both exercise the very same thing. For fuzzing and tests only.
//
// Input: byte 0 picks the request type (0xA0 GET and 0xA1 GETNEXT most of the time, any other
// type otherwise); the rest, four bytes each (little-endian), are the name's sub-identifiers, at
// most kMaxFuzzSubIds of them.
#ifndef MIFSNMP_FUZZ_INPUT_H
#define MIFSNMP_FUZZ_INPUT_H

#include <snmp.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "agent_entry.h"
#include "mib_table.h"
#include "pairway/nic_state.h"
#include "registry_layout.h"

namespace mifsnmp_fuzz {

constexpr size_t kMaxFuzzSubIds = 160;

// Three ports in the root named by PAIRWAY_ROOT: one with multicast addresses and an adapter
// record, one whose driver answers nothing, one without an adapter record; then the library's
// load work. False when the machine cannot be made.
inline bool SetUpMachine(const std::filesystem::path& root) {
  const char* settings[3][3] = {
      {"multicast=01005E000001,01005E000002", "adapter-info=1,Dual Port,1,2,3,4,5", "traffic=on"},
      {"silent=1", "multicast=01005E000003", "link=down"},
      {"adapter-info=none", "OID_GEN_DIRECTED_BYTES_XMIT=4294967295",
       "OID_GEN_MULTICAST_BYTES_XMIT=1"}};
  for (int card = 1; card <= 3; card++) {
    const std::string service = "TREVAN" + std::to_string(card);
    const std::string key = NETWORK_CARDS_KEY_SLASH + std::to_string(card);
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    RegSetValueExA(handle, VAL_PRODUCT_NAME, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(TREVAN_PRODUCT_NAME), sizeof TREVAN_PRODUCT_NAME);
    RegSetValueExA(handle, VAL_SERVICE_NAME, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(service.c_str()),
                   static_cast<DWORD>(service.size() + 1));
    RegCloseKey(handle);
    pairway::NicState state = pairway::DefaultNicState(card);
    for (const char* setting : settings[card - 1]) {
      std::string error;
      if (pairway::SetNicField(&state, setting, &error) != ERROR_SUCCESS) return false;
    }
    if (pairway::WriteNicState(root, service, state) != ERROR_SUCCESS) return false;
  }
  DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
  return SnmpExtensionInit(0, nullptr, nullptr) == 3;
}

// Resolves the request the bytes describe on a binding that owns its name, checks what must hold
// whatever the name (a GETNEXT that succeeds moves strictly forward), and frees the binding as
// the SNMP service does. Aborts when a promise is broken, so the fuzzer reports it.
inline void RunOne(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const BYTE types[4] = {SNMP_PDU_GET, SNMP_PDU_GETNEXT, SNMP_PDU_GETNEXT, data[0]};
  const BYTE request_type = data[0] < 0xC0 ? types[data[0] % 3] : types[3];
  std::vector<UINT> ids;
  for (size_t at = 1; at + 4 <= size && ids.size() < kMaxFuzzSubIds; at += 4) {
    ids.push_back(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                  static_cast<UINT>(data[at + 3]) << 24);
  }
  AsnObjectIdentifier asked = {static_cast<UINT>(ids.size()), ids.data()};
  RFC1157VarBind binding{};
  binding.value.asnType = ASN_NULL;
  if (!SnmpUtilOidCpy(&binding.name, &asked)) abort();
  const int status = resolve_var_bind(&binding, request_type);
  if (status != 0 && status != 2 && status != 5) abort();
  if (status == 0 && request_type == SNMP_PDU_GETNEXT && oid_compare(&asked, &binding.name) >= 0)
    abort();
  if (status == 0 && request_type == SNMP_PDU_GET && oid_compare(&asked, &binding.name) != 0)
    abort();
  if (request_type != SNMP_PDU_GET && request_type != SNMP_PDU_GETNEXT && status != 2) abort();
  SnmpUtilVarBindFree(&binding);
}

}  // namespace mifsnmp_fuzz

#endif  // MIFSNMP_FUZZ_INPUT_H
