// The extension agent's entry points and its load and unload work; see agent_entry.h.
#include "agent_entry.h"

#include <ntddndis.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "driver_access.h"
#include "mib_table.h"

// What the library says it is.
extern const char agent_description[] =
    "DMI Lan MIF Emulation SNMP Extension Agent for Windows NT.";
extern const char agent_version_name[] = "Lan Adapter MIF Emulation SNMP Sub-Agent";

namespace {

// TestResolveVarBind takes at most this many sub-identifiers.
constexpr int kMaxTestSubIds = 40;

// The name just after the view, 1.3.6.1.4.1.32473.3.1.2.2: where a walk goes on when the agent
// has nothing more.
bool set_end_of_view(RFC1157VarBind* binding) {
  AsnObjectIdentifier view = {MIB_VIEW_LENGTH, mib_view_ids};
  oid_release(&binding->name);
  if (!oid_copy(&binding->name, &view)) return false;
  binding->name.ids[MIB_VIEW_LENGTH - 1]++;
  return true;
}

// The leading-digits rule of atoi, without its undefined behaviour beyond the range of int:
// "4294967295" is 4294967295 (as atoi's -1 would be), and "-1" is the same.
UINT parse_sub_id(const char* text) { return static_cast<UINT>(strtoll(text, NULL, 10)); }

void print_answer(RFC1157VarBind* binding) {
  for (UINT i = 0; i < binding->name.idLength; i++)
    printf("%d ", static_cast<int>(binding->name.ids[i]));
  AsnAny* value = &binding->value;
  switch (value->asnType) {
    case ASN_OCTETSTRING: {
      const AsnOctetString* text = &value->asnValue.string;
      printf("A string of size %d, value %.*s\n", static_cast<int>(text->length),
             static_cast<int>(text->length),
             text->stream != NULL ? reinterpret_cast<const char*>(text->stream) : "");
      SnmpUtilOctetsFree(&value->asnValue.string);
      break;
    }
    case ASN_INTEGER:
    case ASN_RFC1155_COUNTER:
      printf("The following integer was returned %x %d\n",
             static_cast<unsigned>(value->asnValue.number),
             static_cast<int>(value->asnValue.number));
      break;
    default:
      break;
  }
}

}  // namespace

BOOL SNMP_FUNC_TYPE SnmpExtensionInit(DWORD, HANDLE* trap_event,
                                      AsnObjectIdentifier* supported_view) {
  if (trap_event != NULL) *trap_event = NULL;
  if (supported_view != NULL) {
    supported_view->idLength = MIB_VIEW_LENGTH;
    supported_view->ids = mib_view_ids;
  }
  return port_count();
}

BOOL SNMP_FUNC_TYPE SnmpExtensionQuery(BYTE request_type, RFC1157VarBindList* bindings,
                                       AsnInteger32* error_status, AsnInteger32* error_index) {
  if (bindings == NULL || bindings->list == NULL) return TRUE;
  for (UINT i = 0; i < bindings->len; i++) {
    RFC1157VarBind* binding = &bindings->list[i];
    int status = resolve_var_bind(binding, request_type);
    if (status == SNMP_ERRORSTATUS_NOSUCHNAME && request_type == SNMP_PDU_GETNEXT) {
      status = set_end_of_view(binding) ? SNMP_ERRORSTATUS_NOERROR : SNMP_ERRORSTATUS_GENERR;
    }
    if (error_status != NULL) *error_status = status;
    if (status != SNMP_ERRORSTATUS_NOERROR) {
      if (error_index != NULL) *error_index = static_cast<AsnInteger32>(i + 1);
      break;
    }
  }
  return TRUE;
}

BOOL SNMP_FUNC_TYPE SnmpExtensionTrap(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*,
                                      AsnTimeticks*, RFC1157VarBindList*) {
  return FALSE;
}

void TestResolveVarBind(int argc, char* argv[]) {
  if (argc < 2 || argv == NULL || argv[1] == NULL) return;
  BYTE request_type;
  bool walk = false;
  if (strcmp(argv[1], "get") == 0) {
    request_type = SNMP_PDU_GET;
  } else if (strcmp(argv[1], "getnext") == 0) {
    request_type = SNMP_PDU_GETNEXT;
  } else if (strcmp(argv[1], "set") == 0) {
    request_type = SNMP_PDU_SET;
  } else if (strcmp(argv[1], "walk") == 0) {
    request_type = SNMP_PDU_GETNEXT;
    walk = true;
  } else {
    return;
  }
  UINT ids[kMaxTestSubIds];
  UINT count = 0;
  for (int i = 2; i < argc && count < kMaxTestSubIds && argv[i] != NULL; i++) {
    ids[count++] = parse_sub_id(argv[i]);
  }
  RFC1157VarBind binding;
  memset(&binding, 0, sizeof binding);
  binding.value.asnType = ASN_NULL;
  AsnObjectIdentifier asked = {count, ids};
  oid_copy(&binding.name, &asked);
  while (resolve_var_bind(&binding, request_type) == SNMP_ERRORSTATUS_NOERROR) {
    print_answer(&binding);
    if (!walk) break;
  }
  fflush(stdout);
  oid_release(&binding.name);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && port_count() == 0) {
    discover_ports(OID_GEN_VENDOR_ID, trevan_vendor_code, sizeof trevan_vendor_code);
  } else if (reason == DLL_PROCESS_DETACH) {
    release_ports();
  }
  return TRUE;
}
