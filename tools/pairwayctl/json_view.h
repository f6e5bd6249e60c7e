// json_view.h: pairwayctl's JSON, the interface scripts read.
//
// Keys are only ever added; none is renamed or given another meaning. A port:
//   name, card, role ("primary", "backup", "stand-alone"), group (null: in none),
//   connection_type (the registry's code; null: none), connection_type_label, adapter_index,
//   ip_address (the first address; null: none), link_up, bytes_sent, bytes_received
//   (null where the statistics library does not answer)
// A group:
//   name, primary (null: none), backups (a list), timeout (text, as the page's field holds it),
//   bytes_sent, bytes_received,
//   and what the running driver makes of it (null, and members empty, while no driver runs it):
//   interface (the group's Linux interface; null for emulated ports), backend ("bond", "tc",
//   "tap" or "emulated"), state ("up": a member carries the traffic, or "down"), active (the
//   member that carries it; null: none), failovers, failbacks, link_changes (counts since the
//   driver started), addresses (the group's IPv4 addresses, "10.0.0.1/24"), members (a list of
//   {port, interface, role ("primary" or "backup"), link ("up", "down" or "missing"), active})
// The driver:
//   running, state ("running", "not running" or "damaged": it runs but its state cannot be
//   read), pid, started (Unix seconds), updated (Unix milliseconds) (null until it published),
//   rejected (a list of {port, reason}: the ports it leaves alone)
// `show --json` prints {"ports": [...], "groups": [...], "statistics": true|false,
// "driver": {...}}; the change summaries are in change_summary.h.
#ifndef PAIRWAYCTL_JSON_VIEW_H
#define PAIRWAYCTL_JSON_VIEW_H

#include <nlohmann/json.hpp>
#include <string>

#include "view.h"

namespace pairwayctl {

// Keys keep the order they were added in, so the output reads in the table's order.
using Json = nlohmann::ordered_json;

Json PortJson(const PortView& port);
Json GroupJson(const GroupView& group);
Json DriverJson(const DriverView& driver);
Json ViewJson(const View& view);

// `value` as text indented by two, with a final newline. Bytes of a name that are not UTF-8
// become U+FFFD: the output is always valid JSON.
std::string JsonText(const Json& value);

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_JSON_VIEW_H
