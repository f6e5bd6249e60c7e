#include "registry_changes.h"

#include <map>

namespace pairwayctl {
namespace {

using pairway::reg::ExportedValue;
using pairway::reg::KeySection;

bool SameValue(const ExportedValue& a, const ExportedValue& b) {
  return a.type == b.type && a.data == b.data;
}

const ExportedValue* FindValue(const std::vector<ExportedValue>& values, const std::string& name) {
  for (const ExportedValue& value : values) {
    if (value.name == name) return &value;
  }
  return nullptr;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool IsBelow(const std::string& key, const std::string& ancestor) {
  return key.size() > ancestor.size() && key.compare(0, ancestor.size(), ancestor) == 0 &&
         key[ancestor.size()] == '\\';
}

// The changed and new values of a key that exists before and after, and its deleted values.
KeyChange CompareKey(const KeySection& before, const KeySection& after) {
  KeyChange change{KeyChange::kChanged, after.key, {}, {}};
  for (const ExportedValue& value : after.values) {
    const ExportedValue* old = FindValue(before.values, value.name);
    if (old == nullptr || !SameValue(*old, value)) change.written.push_back(value);
  }
  for (const ExportedValue& value : before.values) {
    if (FindValue(after.values, value.name) == nullptr) change.deleted.push_back(value.name);
  }
  return change;
}

}  // namespace

bool SnapshotMachine(std::vector<KeySection>* keys) {
  keys->clear();
  return pairway::reg::ReadKeyTree(HKEY_LOCAL_MACHINE, "", "HKEY_LOCAL_MACHINE", keys) ==
         ERROR_SUCCESS;
}

std::vector<KeyChange> ListChanges(const std::vector<KeySection>& before,
                                   const std::vector<KeySection>& after) {
  std::map<std::string, const KeySection*> old_keys;
  for (const KeySection& key : before) old_keys[key.key] = &key;
  std::map<std::string, const KeySection*> new_keys;
  for (const KeySection& key : after) new_keys[key.key] = &key;

  std::vector<KeyChange> changes;
  std::string last_deleted;
  for (const KeySection& key : before) {
    if (new_keys.count(key.key) != 0) continue;
    // Deleting a key deletes what is below it: name only the topmost.
    if (!last_deleted.empty() && IsBelow(key.key, last_deleted)) continue;
    last_deleted = key.key;
    changes.push_back({KeyChange::kDeleted, key.key, {}, {}});
  }
  for (const KeySection& key : after) {
    auto old = old_keys.find(key.key);
    if (old == old_keys.end()) {
      changes.push_back({KeyChange::kCreated, key.key, key.values, {}});
      continue;
    }
    KeyChange change = CompareKey(*old->second, key);
    if (!change.written.empty() || !change.deleted.empty()) changes.push_back(std::move(change));
  }
  return changes;
}

std::string DescribeChanges(const std::vector<KeySection>& before,
                            const std::vector<KeySection>& after) {
  std::string text;
  for (const KeyChange& change : ListChanges(before, after)) {
    if (change.kind == KeyChange::kDeleted) {
      text += "[-" + change.key + "]\n\n";
      continue;
    }
    std::string section = pairway::reg::FormatKeySection(change.key, change.written);
    std::string deleted;
    for (const std::string& name : change.deleted) {
      deleted += (name.empty() ? std::string("@") : Quoted(name)) + "=-\n";
    }
    // The section ends with a blank line; the deletions belong before it.
    section.insert(section.size() - 1, deleted);
    text += section;
  }
  return text;
}

}  // namespace pairwayctl
