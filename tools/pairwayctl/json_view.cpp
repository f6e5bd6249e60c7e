#include "json_view.h"

namespace pairwayctl {
namespace {

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json OrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json MemberJson(const pairway::driver::MemberStatus& member) {
  Json json;
  json["port"] = member.port;
  json["interface"] = OrNull(member.interface);
  json["role"] = pairway::driver::MemberRoleText(member.role);
  json["link"] = pairway::driver::MemberLinkText(member.link);
  json["active"] = member.active;
  return json;
}

const char* DriverText(pairway::driver::StateRead read) {
  switch (read) {
    case pairway::driver::StateRead::kOk:
      return "running";
    case pairway::driver::StateRead::kDamaged:
      return "damaged";
    case pairway::driver::StateRead::kNoDriver:
      break;
  }
  return "not running";
}

}  // namespace

Json DriverJson(const DriverView& driver) {
  using pairway::driver::StateRead;
  bool running = driver.read != StateRead::kNoDriver;
  bool published = driver.read == StateRead::kOk && driver.state.pid != 0;
  Json json;
  json["running"] = running;
  json["state"] = DriverText(driver.read);
  json["pid"] = published ? Json(driver.state.pid) : Json(nullptr);
  json["started"] = published ? Json(driver.state.started) : Json(nullptr);
  json["updated"] = published ? Json(driver.state.updated) : Json(nullptr);
  json["rejected"] = Json::array();
  for (const pairway::driver::RejectedPort& port : driver.state.rejected) {
    json["rejected"].push_back({{"port", port.port}, {"reason", port.reason}});
  }
  return json;
}

Json PortJson(const PortView& port) {
  Json json;
  json["name"] = port.name;
  json["card"] = port.card;
  json["role"] = port.role;
  json["group"] = OrNull(port.group);
  json["connection_type"] = OrNull(port.connection_type);
  json["connection_type_label"] =
      port.connection_type ? Json(ConnectionTypeText(port.connection_type)) : Json(nullptr);
  json["adapter_index"] = OrNull(port.adapter_index);
  json["ip_address"] = OrNull(port.ip_address);
  json["link_up"] = OrNull(port.link_up);
  json["bytes_sent"] = OrNull(port.bytes_sent);
  json["bytes_received"] = OrNull(port.bytes_received);
  return json;
}

Json GroupJson(const GroupView& group) {
  Json json;
  json["name"] = group.name;
  json["primary"] = OrNull(group.primary);
  json["backups"] = group.backups;
  json["timeout"] = group.timeout;
  json["bytes_sent"] = OrNull(group.bytes_sent);
  json["bytes_received"] = OrNull(group.bytes_received);
  // The driver's figures; null (members empty) while no driver runs the group.
  const auto& failover = group.failover;
  json["interface"] = failover ? OrNull(failover->interface) : Json(nullptr);
  json["backend"] = failover ? Json(failover->backend) : Json(nullptr);
  json["state"] = failover ? Json(failover->up ? "up" : "down") : Json(nullptr);
  json["active"] = failover ? OrNull(failover->active) : Json(nullptr);
  json["failovers"] = failover ? Json(failover->failovers) : Json(nullptr);
  json["failbacks"] = failover ? Json(failover->failbacks) : Json(nullptr);
  json["link_changes"] = failover ? Json(failover->link_changes) : Json(nullptr);
  json["addresses"] = failover ? Json(failover->addresses) : Json::array();
  json["members"] = Json::array();
  if (failover) {
    for (const auto& member : failover->members) json["members"].push_back(MemberJson(member));
  }
  return json;
}

Json ViewJson(const View& view) {
  Json json;
  json["ports"] = Json::array();
  for (const PortView& port : view.ports) json["ports"].push_back(PortJson(port));
  json["groups"] = Json::array();
  for (const GroupView& group : view.groups) json["groups"].push_back(GroupJson(group));
  json["statistics"] = view.statistics;
  json["driver"] = DriverJson(view.driver);
  return json;
}

std::string JsonText(const Json& value) {
  return value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace pairwayctl
