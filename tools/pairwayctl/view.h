// view.h: the configuration as the sheet shows it, with the status page's figures.
//
// `show`, `watch` and the change summaries of --json all read the machine through Collect, so a
// port or a group looks the same in each of them.
#ifndef PAIRWAYCTL_VIEW_H
#define PAIRWAYCTL_VIEW_H

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "failover_state.h"

namespace pairwayctl {

struct PortView {
  std::string name;
  int card = 0;
  std::string role;  // "primary", "backup" or "stand-alone"
  std::string group;
  std::optional<DWORD> connection_type;
  std::optional<DWORD> adapter_index;
  std::string ip_address;
  std::optional<bool> link_up;
  std::optional<DWORD> bytes_sent;
  std::optional<DWORD> bytes_received;
};

struct GroupView {
  std::string name;
  std::string primary;
  std::vector<std::string> backups;
  std::string timeout;  // as the page's field holds it
  std::optional<DWORD> bytes_sent;
  std::optional<DWORD> bytes_received;
  // What the running driver makes of the group (the one it runs with this primary); none when
  // no driver runs or it does not run this group.
  std::optional<pairway::driver::GroupStatus> failover;
};

// The driver service TREVAN as its published state shows it.
struct DriverView {
  pairway::driver::StateRead read = pairway::driver::StateRead::kNoDriver;
  pairway::driver::FailoverState state;  // empty unless read is kOk
};

struct View {
  std::vector<PortView> ports;
  std::vector<GroupView> groups;
  bool statistics = false;  // false when the statistics library is not installed
  DriverView driver;
};

// Loads the library's configuration model (through the library's application object, which must
// not hold a model already) and the statistics, and frees both before returning, and reads the
// driver's failover state of the machine root. Inside a registry batch it sees the batch's own
// changes (the driver's state is what the driver runs, which a batch does not change).
View Collect();

// The connection type table's label without its padding ("-" for none, the code when the table
// has no label for it).
std::string ConnectionTypeText(std::optional<DWORD> value);

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_VIEW_H
