// The statistics entry point and the SNMP extension-agent entry points; see standbyag.h.
#include "standbyag.h"

#include <cstdint>
#include <string>

#include "failover_mib.h"
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

BOOL SNMP_FUNC_TYPE SnmpExtensionInit(DWORD, HANDLE* trap_event,
                                      AsnObjectIdentifier* supported_view) {
  if (trap_event != nullptr) *trap_event = nullptr;
  if (supported_view == nullptr) return FALSE;
  supported_view->idLength = standbyag::kFailoverViewLength;
  supported_view->ids = standbyag::failover_view_ids;
  return TRUE;
}

BOOL SNMP_FUNC_TYPE SnmpExtensionQuery(BYTE pdu_type, SnmpVarBindList* bindings,
                                       AsnInteger32* error_status, AsnInteger32* error_index) {
  if (bindings == nullptr || bindings->len == 0 || bindings->list == nullptr) return TRUE;
  const std::vector<standbyag::FailoverObject> objects = standbyag::ReadFailoverObjects();
  for (UINT i = 0; i < bindings->len; ++i) {
    int status = standbyag::AnswerBinding(objects, pdu_type, &bindings->list[i]);
    if (error_status != nullptr) *error_status = status;
    if (status != SNMP_ERRORSTATUS_NOERROR) {
      if (error_index != nullptr) *error_index = static_cast<AsnInteger32>(i + 1);
      break;
    }
  }
  return TRUE;
}

BOOL SNMP_FUNC_TYPE SnmpExtensionTrap(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*,
                                      AsnTimeticks*, SnmpVarBindList*) {
  return FALSE;
}
