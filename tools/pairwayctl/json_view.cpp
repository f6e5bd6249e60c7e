#include "json_view.h"

namespace pairwayctl {
namespace {

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json OrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

}  // namespace

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
  return json;
}

Json ViewJson(const View& view) {
  Json json;
  json["ports"] = Json::array();
  for (const PortView& port : view.ports) json["ports"].push_back(PortJson(port));
  json["groups"] = Json::array();
  for (const GroupView& group : view.groups) json["groups"].push_back(GroupJson(group));
  json["statistics"] = view.statistics;
  return json;
}

std::string JsonText(const Json& value) {
  return value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace pairwayctl
