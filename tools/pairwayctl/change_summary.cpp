#include "change_summary.h"

#include <algorithm>

#include "pairwayctl.h"

namespace pairwayctl {
namespace {

std::vector<std::string>& Messages() {
  static std::vector<std::string> messages;
  return messages;
}

const char* ResultText(int code) {
  switch (code) {
    case kExitOk:
      return "done";
    case kExitRefused:
      return "refused";
    case kExitUsage:
      return "usage";
    default:
      return "failure";
  }
}

const char* ChangeText(KeyChange::Kind kind) {
  switch (kind) {
    case KeyChange::kCreated:
      return "created";
    case KeyChange::kDeleted:
      return "deleted";
    default:
      return "changed";
  }
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

void NoteMessage(const std::string& text) { Messages().push_back(text); }

ChangeSummary::ChangeSummary(std::string command, bool dry_run)
    : command_(std::move(command)), dry_run_(dry_run) {}

void ChangeSummary::Name(const std::vector<std::string>& groups,
                         const std::vector<std::string>& ports) {
  for (const std::string& group : groups) {
    if (!Contains(group_names_, group)) group_names_.push_back(group);
  }
  for (const std::string& port : ports) {
    if (!Contains(port_names_, port)) port_names_.push_back(port);
  }
}

void ChangeSummary::Describe(const std::vector<KeyChange>& changes, const View& after) {
  for (const std::string& name : group_names_) {
    auto found = std::find_if(after.groups.begin(), after.groups.end(),
                              [&](const GroupView& group) { return group.name == name; });
    if (found == after.groups.end()) {
      groups_removed_.push_back(name);
    } else {
      groups_.push_back(GroupJson(*found));
    }
  }
  for (const std::string& name : port_names_) {
    for (const PortView& port : after.ports) {
      if (port.name == name) ports_.push_back(PortJson(port));
    }
  }
  for (const KeyChange& change : changes) {
    Json entry;
    entry["key"] = change.key;
    entry["change"] = ChangeText(change.kind);
    entry["values_set"] = Json::array();
    for (const auto& value : change.written) entry["values_set"].push_back(value.name);
    entry["values_deleted"] = change.deleted;
    registry_changes_.push_back(entry);
  }
}

Json ChangeSummary::ToJson(int code) const {
  bool described = code == kExitOk;
  Json json;
  json["command"] = command_;
  json["result"] = ResultText(code);
  json["exit_code"] = code;
  json["dry_run"] = dry_run_;
  json["written"] = written_;
  json["groups"] = described ? groups_ : Json::array();
  json["groups_removed"] = described ? groups_removed_ : Json::array();
  json["ports"] = described ? ports_ : Json::array();
  json["registry_changes"] = described ? registry_changes_ : Json::array();
  json["messages"] = Messages();
  json["driver_notified"] = driver_notified_;
  return json;
}

}  // namespace pairwayctl
