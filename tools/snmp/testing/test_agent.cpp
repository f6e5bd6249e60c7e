// Extension agents for the host's tests, one library per behaviour (compile definitions):
//
//   TEST_AGENT_GOOD             view 1.3.6.1.4.1.32473.99.1, the nine objects of kObjects
//   TEST_AGENT_SECOND           the same objects under 1.3.6.1.4.1.32473.99.3
//   TEST_AGENT_GARBAGE          view ...99.2: answers a host must not pass on (see Garbage)
//   TEST_AGENT_DECLINES         SnmpExtensionInit returns FALSE
//   TEST_AGENT_CRASHES_ON_INIT  SnmpExtensionInit aborts the process
//   TEST_AGENT_CRASHES_ON_LOAD  loading the library aborts the process
//   TEST_AGENT_CRASHES_ON_QUERY view ...99.0: every SnmpExtensionQuery aborts the process
//   TEST_AGENT_HANGS            view ...99.7: every SnmpExtensionQuery waits forever
//   TEST_AGENT_SCRIBBLES        view ...99.8: answers as the good agent, after writing junk to
//                               every socket the process holds (a stray write on the host's
//                               channel)
//
// The good agents answer as a read-only extension agent of the platform does: one binding after
// the other, GETNEXT past the last object answers noError with the name just past the view,
// SET is refused with noSuchName.
#include <snmp.h>
#include <windows.h>

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

#if defined(TEST_AGENT_GOOD)
constexpr UINT kViewLast = 1;
#elif defined(TEST_AGENT_GARBAGE)
constexpr UINT kViewLast = 2;
#elif defined(TEST_AGENT_SECOND)
constexpr UINT kViewLast = 3;
#elif defined(TEST_AGENT_DECLINES)
constexpr UINT kViewLast = 4;
#elif defined(TEST_AGENT_CRASHES_ON_QUERY)
constexpr UINT kViewLast = 0;
#elif defined(TEST_AGENT_HANGS)
constexpr UINT kViewLast = 7;
#elif defined(TEST_AGENT_SCRIBBLES)
constexpr UINT kViewLast = 8;
#else
constexpr UINT kViewLast = 5;
#endif

UINT view_ids[] = {1, 3, 6, 1, 4, 1, 32473, 99, kViewLast};
constexpr UINT kViewLength = sizeof view_ids / sizeof view_ids[0];

struct Object {
  std::vector<UINT> suffix;
  BYTE type;
};

const Object kObjects[] = {
    {{1, 0}, ASN_INTEGER},   {{2, 0}, ASN_OCTETSTRING},      {{3, 1}, ASN_COUNTER32},
    {{3, 2}, ASN_COUNTER32}, {{4, 0}, ASN_OBJECTIDENTIFIER}, {{5, 0}, ASN_IPADDRESS},
    {{6, 0}, ASN_GAUGE32},   {{7, 0}, ASN_TIMETICKS},        {{8, 0}, ASN_COUNTER64},
};

std::vector<UINT> FullName(const Object& object) {
  std::vector<UINT> name(view_ids, view_ids + kViewLength);
  name.insert(name.end(), object.suffix.begin(), object.suffix.end());
  return name;
}

std::vector<UINT> Ids(const AsnObjectIdentifier& oid) {
  return std::vector<UINT>(oid.ids, oid.ids + oid.idLength);
}

void Replace(AsnObjectIdentifier* name, const std::vector<UINT>& ids) {
  SnmpUtilOidFree(name);
  AsnObjectIdentifier borrowed{static_cast<UINT>(ids.size()), const_cast<UINT*>(ids.data())};
  SnmpUtilOidCpy(name, &borrowed);
}

void Fill(const Object& object, AsnAny* value) {
  static UINT enterprise[] = {1, 3, 6, 1, 4, 1, 32473};
  static BYTE loopback[] = {127, 0, 0, 1};
  static BYTE text[] = {'p', 'a', 'i', 'r', 'w', 'a', 'y'};
  AsnOctetString octets{text, sizeof text, FALSE};
  AsnObjectIdentifier oid{7, enterprise};
  value->asnType = object.type;
  switch (object.type) {
    case ASN_INTEGER:
      value->asnValue.number = -42;
      break;
    case ASN_OCTETSTRING:
      SnmpUtilOctetsCpy(&value->asnValue.string, &octets);
      break;
    case ASN_COUNTER32:
      value->asnValue.counter = object.suffix[1] == 1 ? 1 : 4294967295u;
      break;
    case ASN_OBJECTIDENTIFIER:
      SnmpUtilOidCpy(&value->asnValue.object, &oid);
      break;
    case ASN_IPADDRESS:
      octets = AsnOctetString{loopback, sizeof loopback, FALSE};
      SnmpUtilOctetsCpy(&value->asnValue.address, &octets);
      break;
    case ASN_GAUGE32:
      value->asnValue.gauge = 7;
      break;
    case ASN_TIMETICKS:
      value->asnValue.ticks = 100;
      break;
    case ASN_COUNTER64:
      value->asnValue.counter64.QuadPart = (1ull << 40) + 5;
      break;
  }
}

// Status of one binding of a well-behaved agent.
AsnInteger32 Resolve(BYTE type, SnmpVarBind* binding) {
  std::vector<UINT> asked = Ids(binding->name);
  for (const Object& object : kObjects) {
    std::vector<UINT> name = FullName(object);
    bool hit = type == SNMP_PDU_GET ? name == asked : name > asked;
    if (!hit) continue;
    Replace(&binding->name, name);
    SnmpUtilAsnAnyFree(&binding->value);
    Fill(object, &binding->value);
    return SNMP_ERRORSTATUS_NOERROR;
  }
  return SNMP_ERRORSTATUS_NOSUCHNAME;
}

#if defined(TEST_AGENT_GARBAGE)
AsnInteger32 Garbage(BYTE type, SnmpVarBindList* list) {
  SnmpVarBind* binding = &list->list[0];
  std::vector<UINT> asked = Ids(binding->name);
  if (type == SNMP_PDU_GETNEXT) {
    // The same name again: a walk that followed it would never end.
    binding->value.asnType = ASN_INTEGER;
    binding->value.asnValue.number = 1;
    return SNMP_ERRORSTATUS_NOERROR;
  }
  if (asked.size() != kViewLength + 2 || type != SNMP_PDU_GET) return SNMP_ERRORSTATUS_NOSUCHNAME;
  switch (asked[kViewLength]) {
    case 1:
      binding->value.asnType = 0x99;  // no such type
      return SNMP_ERRORSTATUS_NOERROR;
    case 2:  // a string with no bytes behind it
      binding->value.asnType = ASN_OCTETSTRING;
      binding->value.asnValue.string = AsnOctetString{nullptr, 100, TRUE};
      return SNMP_ERRORSTATUS_NOERROR;
    case 3:
      return 77;  // no such status
    case 4:
      list->len = 1000;
      return SNMP_ERRORSTATUS_NOERROR;
    case 5:  // a name of 5000 sub-identifiers, none there
      SnmpUtilOidFree(&binding->name);
      binding->name = AsnObjectIdentifier{5000, nullptr};
      return SNMP_ERRORSTATUS_NOERROR;
    default:
      return SNMP_ERRORSTATUS_NOSUCHNAME;
  }
}
#endif

#if defined(TEST_AGENT_CRASHES_ON_LOAD)
__attribute__((constructor)) void CrashOnLoad() { abort(); }
#endif

#if defined(TEST_AGENT_SCRIBBLES)
void Scribble() {
  static const char junk[] = "\x41\xff\x00junk";
  for (int fd = 0; fd < 256; ++fd) {
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode)) {
      ssize_t ignored = send(fd, junk, sizeof junk, MSG_NOSIGNAL | MSG_DONTWAIT);
      (void)ignored;
    }
  }
}
#endif

}  // namespace

extern "C" {

BOOL WINAPI SnmpExtensionInit(DWORD, HANDLE* trap_event, AsnObjectIdentifier* view) {
#if defined(TEST_AGENT_CRASHES_ON_INIT)
  abort();
#endif
  *trap_event = nullptr;
  *view = AsnObjectIdentifier{kViewLength, view_ids};
#if defined(TEST_AGENT_DECLINES)
  return FALSE;
#else
  return TRUE;
#endif
}

BOOL WINAPI SnmpExtensionQuery(BYTE type, SnmpVarBindList* list, AsnInteger32* error_status,
                               AsnInteger32* error_index) {
  if (list->len == 0) return TRUE;
#if defined(TEST_AGENT_CRASHES_ON_QUERY)
  abort();
#elif defined(TEST_AGENT_HANGS)
  for (;;) pause();
#elif defined(TEST_AGENT_SCRIBBLES)
  Scribble();
#endif
#if defined(TEST_AGENT_GARBAGE)
  *error_status = Garbage(type, list);
  if (*error_status != 0) *error_index = 1;
  return TRUE;
#endif
  for (UINT i = 0; i < list->len; ++i) {
    AsnInteger32 status = type == SNMP_PDU_GET || type == SNMP_PDU_GETNEXT
                              ? Resolve(type, &list->list[i])
                              : SNMP_ERRORSTATUS_NOSUCHNAME;
    if (status == SNMP_ERRORSTATUS_NOSUCHNAME && type == SNMP_PDU_GETNEXT) {
      std::vector<UINT> past(view_ids, view_ids + kViewLength);
      ++past.back();
      Replace(&list->list[i].name, past);
      status = SNMP_ERRORSTATUS_NOERROR;
    }
    *error_status = status;
    if (status != SNMP_ERRORSTATUS_NOERROR) {
      *error_index = static_cast<AsnInteger32>(i + 1);
      return TRUE;
    }
  }
  return TRUE;
}

BOOL WINAPI SnmpExtensionTrap(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*, AsnTimeticks*,
                              SnmpVarBindList*) {
  return FALSE;
}

}  // extern "C"
