// The adjustment pass and its linkage and address steps; see portadjust.h.
#include "portadjust.h"

#include "SNMP/extagent.h"
#include "TrevanNetworkAdapter.h"
#include "trace.h"

namespace {
const int kFirstCard = 1;
const int kLastCard = 254;
}  // namespace

int adjust_backups(void) {
  dbg_printf("adjust_backups()\n");
  for (int i = kFirstCard; i <= kLastCard; i++) {
    TrevanNetworkAdapter* adapter = isTrevanAdapter(i);
    if (adapter == nullptr) continue;
    if (adapter->getAdapterState() == ADAPTER_STATE_BACKUP) {
      dbg_printf("[%d] TREVAN BACKUP adapter\n", i);
      if (!adapter->isBindRulesPresent()) {
        dbg_printf("Bind rules not present and written\n");
        if (!adapter->writeBindRules()) dbg_printf("writeBindRules failed\n");
      }
    }
    delete adapter;
  }
  return 1;
}

int update_IP_addrs(void) {
  dbg_printf("update_IP_addrs()\n");
  for (int i = kFirstCard; i <= kLastCard; i++) {
    TrevanNetworkAdapter* adapter = isTrevanAdapter(i);
    if (adapter == nullptr) continue;
    if (!adapter->updateIPAddress(i)) {
      dbg_printf("Update IP Address failed for TREVAN instance= %d!\n", i);
    }
    delete adapter;
  }
  return 1;
}

int adjust_port_order(void) {
  dbg_printf("adjust_port_order()\n");
  for (int i = kFirstCard; i <= kLastCard; i++) {
    TrevanNetworkAdapter* adapter = isTrevanAdapter(i);
    if (adapter == nullptr) continue;
    int done = adapter->adjBindLinkage();
    delete adapter;
    if (!done) {
      dbg_printf("Linkage reordering failed!\n");
      return 0;
    }
    return 1;
  }
  return 1;
}

void run_adjustment_pass(int enable_bind_reorder) {
  adjust_backups();
  update_IP_addrs();
  if (enable_bind_reorder != 0) adjust_port_order();
  install_SNMP_agents();
}
