// config_records.h: the two records of the configuration model: a port group and a port that
// belongs to no group.
//
// The records own their texts and arrays; the application object's lists own the records.
#ifndef AGGCFG_CONFIG_RECORDS_H
#define AGGCFG_CONFIG_RECORDS_H

#include <commctrl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "pairway/ui/object.h"

// The "ConnectionType" a record holds when the port's value could not be read. It is in no row of
// the connection type table, so the lists show no connection type for it; it must never be
// written back, since it is no code the driver knows.
constexpr DWORD kConnectionTypeUnknown = 0xFFFFFFFF;

// A group: its primary (the last port after loading) and its backups. Always holds at least one
// port; the page destroys the record when its last port leaves.
class GroupRecord : public pairway::ui::CObject {
 public:
  std::string m_name;                // "GroupName" of the primary, or typed on the page
  std::string m_timeout;             // link check time-out as decimal text
  std::string m_currentPort;         // the port the caller asked about, when this group holds it
  std::vector<std::string> m_ports;  // instance names: backups in model order, then the primary
  std::vector<DWORD> m_connectionTypes;  // "ConnectionType" of each port, parallel to m_ports
  // The status page's tree items of the group and of each port (parallel to m_ports), valid
  // while that page is active.
  HTREEITEM m_treeItem = nullptr;
  std::vector<HTREEITEM> m_portTreeItems;
};

// A port in no group.
class StandalonePortRecord : public pairway::ui::CObject {
 public:
  int m_selected = 0;                // 1 for the port the caller asked about
  std::string m_name;                // instance name
  std::string m_connectionTypeText;  // the autodetect label for autodetect records, else empty
  DWORD m_connectionType = 0;        // stored "ConnectionType", 8 for autodetect records
  std::string m_busText;             // "BusNumber" in decimal, or "Error"
  std::string m_slotText;            // "SlotNumber" in decimal, or "Error"
};

#endif  // AGGCFG_CONFIG_RECORDS_H
