// A card of the TREVAN driver with its failover role; see TrevanNetworkAdapter.h.
//
// Sections: construction and role; role changes and titles; linkage order; IP address copy.
#include "TrevanNetworkAdapter.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "registry_layout.h"
#include "trace.h"

char TrevanNetworkAdapter::_routeStr[NA_MULTISZ_SIZE + NA_MULTISZ_GUARD];

namespace {

// The shortest entry _parseBindRoute accepts: two quotes around the prefix, and the zero byte.
const size_t kShortestRouteEntry = 2 + sizeof(TREVAN_PRODUCT_NAME) - 1 + 1;
// Ports deferred to the tail of the linkage. Sized for every entry a full Route list can hold,
// so that no Route list, however long or repetitive, can overrun it.
const size_t kPendingBindCapacity = NA_MULTISZ_SIZE / kShortestRouteEntry + 1;

const size_t kTitleSize = 80;      // "Title" as read
const size_t kSuffixSize = 32;     // "-->[<card>]"
const size_t kIpAddressSize = 25;  // the first TCP/IP address as read

}  // namespace

// ---- Construction and role -------------------------------------------------------------------

TrevanNetworkAdapter::TrevanNetworkAdapter(int adptInst)
    : NetworkAdapter(adptInst), _adapter_state(ADAPTER_STATE_NONE), _primary_backup_index(-1) {
  if (_adapter_present) _read_adapter_state();
}

TrevanNetworkAdapter::~TrevanNetworkAdapter() { _free_resources(); }

int TrevanNetworkAdapter::_read_dword_parameter(LPCSTR name, DWORD* value) {
  DWORD type = 0;
  DWORD size = sizeof *value;
  *value = 0;
  return getParameterValue(name, &type, reinterpret_cast<LPBYTE>(value), &size);
}

void TrevanNetworkAdapter::_read_adapter_state() {
  DWORD index = 0;
  if (_read_dword_parameter(VAL_PRIMARY_INDEX, &index)) {
    _adapter_state = ADAPTER_STATE_BACKUP;
    _primary_backup_index = static_cast<int>(index);
  } else if (_read_dword_parameter(VAL_BACKUP_INDEX, &index)) {
    _adapter_state = ADAPTER_STATE_PRIMARY;
    _primary_backup_index = static_cast<int>(index);
  } else {
    _adapter_state = ADAPTER_STATE_STANDALONE;
    _primary_backup_index = -1;
  }
}

int TrevanNetworkAdapter::getSlotNumber() {
  DWORD slot = 0;
  return _read_dword_parameter(VAL_SLOT_NUMBER, &slot) ? static_cast<int>(slot) : -1;
}

int TrevanNetworkAdapter::getBusNumber() {
  DWORD bus = 0;
  return _read_dword_parameter(VAL_BUS_NUMBER, &bus) ? static_cast<int>(bus) : -1;
}

TrevanNetworkAdapter* TrevanNetworkAdapter::getOtherAdapter() {
  for (int i = 0; i <= 254; i++) {
    TrevanNetworkAdapter* other = isTrevanAdapter(i);
    if (other == nullptr) continue;
    DWORD index = 0;
    if (other->_read_dword_parameter(VAL_ADAPTER_INDEX, &index) &&
        static_cast<int>(index) == _primary_backup_index) {
      return other;
    }
    delete other;
  }
  return nullptr;
}

void TrevanNetworkAdapter::print() const {
  NetworkAdapter::print();
  if (!_adapter_present) return;
  printf("State ");
  if (_adapter_state == ADAPTER_STATE_STANDALONE) printf("<STANDALONE> ");
  if (_adapter_state == ADAPTER_STATE_PRIMARY) printf("<PRIMARY> ");
  if (_adapter_state == ADAPTER_STATE_BACKUP) printf("<BACKUP> ");
  printf("Index = <%d>\n", _primary_backup_index);
}

TrevanNetworkAdapter* isTrevanAdapter(int i) {
  TrevanNetworkAdapter* adapter = new TrevanNetworkAdapter(i);
  if (adapter->isAdapterPresent() && strcmp(adapter->getProductName(), TREVAN_PRODUCT_NAME) == 0) {
    return adapter;
  }
  delete adapter;
  return nullptr;
}

// ---- Role changes and titles -----------------------------------------------------------------

// A primary's bindings are on and it names its backup; a backup's bindings are off and it names
// its primary. The bind rules change even when the index cannot be written.
void TrevanNetworkAdapter::_write_adapter_state(int state, int index) {
  const char* name;
  if (state == ADAPTER_STATE_PRIMARY) {
    name = VAL_BACKUP_INDEX;
    enableBindings();
  } else if (state == ADAPTER_STATE_BACKUP) {
    name = VAL_PRIMARY_INDEX;
    disableBindings();
  } else {
    return;
  }
  DWORD value = static_cast<DWORD>(index);
  if (setParameterValue(name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value)) {
    _adapter_state = state;
    _primary_backup_index = index;
  }
}

void TrevanNetworkAdapter::setAdapterState(int stateFlag, int primaryBackupIndex) {
  const char* current_index_name = nullptr;
  switch (_adapter_state) {
    case ADAPTER_STATE_STANDALONE:
      if (stateFlag == ADAPTER_STATE_PRIMARY || stateFlag == ADAPTER_STATE_BACKUP) {
        _write_adapter_state(stateFlag, primaryBackupIndex);
      }
      return;
    case ADAPTER_STATE_PRIMARY:
      current_index_name = VAL_BACKUP_INDEX;
      break;
    case ADAPTER_STATE_BACKUP:
      current_index_name = VAL_PRIMARY_INDEX;
      break;
    default:
      return;  // not present: no role to change
  }
  if (stateFlag == _adapter_state) {
    if (primaryBackupIndex != _primary_backup_index) {
      _write_adapter_state(stateFlag, primaryBackupIndex);
    }
    return;
  }
  if (stateFlag != ADAPTER_STATE_STANDALONE && stateFlag != ADAPTER_STATE_PRIMARY &&
      stateFlag != ADAPTER_STATE_BACKUP) {
    return;
  }
  if (!removeParameterValue(current_index_name)) return;
  if (stateFlag == ADAPTER_STATE_STANDALONE) {
    enableBindings();
    _adapter_state = ADAPTER_STATE_STANDALONE;
    _primary_backup_index = -1;
  } else {
    _write_adapter_state(stateFlag, primaryBackupIndex);
  }
}

void TrevanNetworkAdapter::_updateBackupInfo(char* titleStr, const char* backupStr) {
  char* dash = strchr(titleStr, '-');
  if (dash != nullptr) *dash = '\0';
  if (backupStr != nullptr) strcat(titleStr, backupStr);
}

void TrevanNetworkAdapter::writeTitleString(TrevanNetworkAdapter* primAdapter) {
  char suffix[kSuffixSize];
  const char* backupStr = nullptr;
  if (primAdapter != nullptr) {
    snprintf(suffix, sizeof suffix, "-->[%d]", primAdapter->getAdapterInstance());
    backupStr = suffix;
  }
  // Room for the longest title that can be read, its terminator and the suffix, so the edit
  // can never run past the buffer.
  char title[kTitleSize + kSuffixSize];
  memset(title, 0, sizeof title);
  if (!getTitle(title, kTitleSize)) return;
  _updateBackupInfo(title, backupStr);
  setTitle(title, static_cast<DWORD>(strlen(title)));
}

// ---- Linkage order ---------------------------------------------------------------------------

int TrevanNetworkAdapter::_parseBindRoute(char** _routeStrPtr) {
  char* entry = *_routeStrPtr;
  if (*entry == '\0') return ROUTE_END_OF_LIST;
  char* name = entry + 1;  // past the opening quote
  size_t rest = strlen(name);
  char* close = static_cast<char*>(memchr(name, '"', rest));
  const size_t prefix = sizeof(TREVAN_PRODUCT_NAME) - 1;
  if (close == nullptr || static_cast<size_t>(close - name) < prefix) {
    return ROUTE_MALFORMED_ENTRY;
  }
  char digits[10];
  size_t count = static_cast<size_t>(close - (name + prefix));
  if (count > sizeof digits - 1) count = sizeof digits - 1;
  memcpy(digits, name + prefix, count);
  digits[count] = '\0';
  // Past the whole entry and its zero byte, whatever follows the closing quote.
  *_routeStrPtr = name + rest + 1;
  return atoi(digits);
}

int TrevanNetworkAdapter::adjBindLinkage() {
  dbg_printf("TrevanNetworkAdapter entered\n");
  DWORD type = 0;
  DWORD size = NA_MULTISZ_SIZE;
  if (!getProdLinkageValue(VAL_ROUTE, &type, reinterpret_cast<LPBYTE>(_routeStr), &size)) {
    dbg_printf("getBindRoute failed!\n");
    return 0;
  }
  // Terminators of our own after the bytes read: a list that lacks them still ends here.
  _routeStr[size] = '\0';
  _routeStr[size + 1] = '\0';
  dbg_printf("1st Service#: %s\n", _routeStr);
  if (!clearBindRules()) {
    dbg_printf("clearBindRules failed!\n");
    return 0;
  }

  static int PendingBind[kPendingBindCapacity];
  size_t PendingBindIndex = 0;
  char* currentRouteStrPtr = _routeStr;
  int adptInst;
  while ((adptInst = _parseBindRoute(&currentRouteStrPtr)) != ROUTE_END_OF_LIST) {
    TrevanNetworkAdapter* adapter = new TrevanNetworkAdapter(adptInst);
    dbg_printf("Checking TREVAN Instance#= %d\n", adptInst);
    if (!adapter->isAdapterPresent()) {
      dbg_printf("new TrevanNetworkAdapter failed! adptInst= %d should exist.\n", adptInst);
      delete adapter;
      return 0;
    }
    if (adapter->getSlotNumber() == HEAD_BINDING_SLOT) {
      if (!adapter->writeBindRules()) {
        dbg_printf("Slot#4 writeBindRules failed! adptInst= %d\n", adptInst);
        delete adapter;
        return 0;
      }
      dbg_printf("-> Wrote as head binding TREVAN Instance#= %d\n", adptInst);
    } else {
      PendingBind[PendingBindIndex++] = adptInst;
    }
    delete adapter;
  }

  for (size_t i = 0; i < PendingBindIndex; i++) {
    TrevanNetworkAdapter* adapter = new TrevanNetworkAdapter(PendingBind[i]);
    if (!adapter->writeBindRules()) {
      dbg_printf("Pending Bind writeBindRules failed! adptInst= %d\n", PendingBind[i]);
      delete adapter;
      return 0;
    }
    dbg_printf("-> Wrote as tail binding TREVAN Instance#= %d\n", PendingBind[i]);
    delete adapter;
  }
  return 1;
}

// ---- IP address copy -------------------------------------------------------------------------

int TrevanNetworkAdapter::updateIPAddress(int instance) {
  dbg_printf("TrevanNetworkAdapter::updateIPAddress() entered- instance=%d\n", instance);
  char keyName[NA_KEY_PATH_SIZE];
  snprintf(keyName, sizeof keyName, TCPIP_KEY_FORMAT, TREVAN_PRODUCT_NAME, instance);
  dbg_printf("TCPIP Keyname= %s\n", keyName);
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    dbg_printf("RegOpenKeyEx for TREVAN%d Tcpip failed!\n", instance);
    removeParameterValue(VAL_IP_ADDRESS);
    return 1;
  }
  // One byte beyond what is read stays zero: a value of 25 bytes without a zero byte has its
  // first string bounded there instead of running on into memory.
  char IPAddrStr[kIpAddressSize + 1];
  memset(IPAddrStr, 0, sizeof IPAddrStr);
  DWORD type = 0;
  DWORD size = kIpAddressSize;
  LONG status = RegQueryValueExA(key, VAL_IP_ADDRESS, nullptr, &type,
                                 reinterpret_cast<LPBYTE>(IPAddrStr), &size);
  if (status != ERROR_SUCCESS) {
    dbg_printf("Tcpip\\IPAddress RegQueryValueEx Tcpip failed! STATUS= 0x%x\n",
               static_cast<unsigned>(status));
    removeParameterValue(VAL_IP_ADDRESS);
    RegCloseKey(key);
    return 1;
  }
  IPAddrStr[size] = '\0';
  dbg_printf("IPAddress= %s\n", IPAddrStr);
  if (!setParameterValue(VAL_IP_ADDRESS, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(IPAddrStr),
                         static_cast<DWORD>(strlen(IPAddrStr) + 1))) {
    dbg_printf("setParameterValue failed for IPAddress='%s'\n", IPAddrStr);
    RegCloseKey(key);
    return 0;
  }
  RegCloseKey(key);
  return 1;
}
