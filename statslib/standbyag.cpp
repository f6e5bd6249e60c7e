// The statistics entry point and the SNMP extension-agent entry points; see standbyag.h.
#include "standbyag.h"

#include <cstdint>
#include <string>

#include "group_ports.h"
#include "port_figures.h"

namespace {

using standbyag::PortFigure;

bool GroupFigure(const char* group, PortFigure figure, uint64_t* value) {
  if (group == nullptr) return false;
  const std::vector<std::string> ports = standbyag::FindGroupPorts(group);
  if (ports.empty()) return false;
  uint64_t sum = 0;
  for (const std::string& port : ports) {
    uint64_t part = 0;
    if (!standbyag::ReadPortFigure(port, figure, &part)) return false;
    sum += part;
  }
  *value = sum;
  return true;
}

bool PortFigureOf(const char* port, PortFigure figure, uint64_t* value) {
  return port != nullptr && standbyag::ReadPortFigure(port, figure, value);
}

bool Answer(DWORD code, const char* group, const char* port, uint64_t* value) {
  switch (code) {
    case kGroupBytesSent:
      return GroupFigure(group, PortFigure::kBytesSent, value);
    case kGroupBytesReceived:
      return GroupFigure(group, PortFigure::kBytesReceived, value);
    case kPortBytesSent:
      return PortFigureOf(port, PortFigure::kBytesSent, value);
    case kPortBytesReceived:
      return PortFigureOf(port, PortFigure::kBytesReceived, value);
    case kPortLinkState:
      return PortFigureOf(port, PortFigure::kLinkUp, value);
    default:
      return false;
  }
}

}  // namespace

int WINAPI PairwayMibLocalInterface(DWORD code, LPCSTR group, LPCSTR port, DWORD, DWORD,
                                    DWORD* result, DWORD* length) {
  if (result == nullptr || length == nullptr || *length < sizeof(DWORD)) return 0;
  uint64_t value = 0;
  if (!Answer(code, group, port, &value)) return 0;
  *result = static_cast<DWORD>(value);  // a 32-bit counter wraps
  *length = sizeof(DWORD);
  return 1;
}

BOOL SNMP_FUNC_TYPE SnmpExtensionInit(DWORD, HANDLE* trap_event, AsnObjectIdentifier*) {
  if (trap_event != nullptr) *trap_event = nullptr;
  return FALSE;
}

BOOL SNMP_FUNC_TYPE SnmpExtensionQuery(BYTE, SnmpVarBindList* bindings, AsnInteger32* error_status,
                                       AsnInteger32* error_index) {
  const bool any = bindings != nullptr && bindings->len > 0;
  if (error_status != nullptr) *error_status = any ? SNMP_ERRORSTATUS_NOSUCHNAME : 0;
  if (error_index != nullptr) *error_index = any ? 1 : 0;
  return TRUE;
}

BOOL SNMP_FUNC_TYPE SnmpExtensionTrap(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*,
                                      AsnTimeticks*, SnmpVarBindList*) {
  return FALSE;
}
