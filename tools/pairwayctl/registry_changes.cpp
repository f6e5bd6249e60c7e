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

// The changed and new values of a key that exists before and after, then its deleted values.
std::string DescribeKeyChange(const KeySection& before, const KeySection& after) {
  std::vector<ExportedValue> written;
  for (const ExportedValue& value : after.values) {
    const ExportedValue* old = FindValue(before.values, value.name);
    if (old == nullptr || !SameValue(*old, value)) written.push_back(value);
  }
  std::string deleted;
  for (const ExportedValue& value : before.values) {
    if (FindValue(after.values, value.name) == nullptr) {
      deleted += (value.name.empty() ? std::string("@") : Quoted(value.name)) + "=-\n";
    }
  }
  if (written.empty() && deleted.empty()) return "";
  std::string text = pairway::reg::FormatKeySection(after.key, written);
  // The section ends with a blank line; the deletions belong before it.
  if (!deleted.empty()) text.insert(text.size() - 1, deleted);
  return text;
}

}  // namespace

bool SnapshotMachine(std::vector<KeySection>* keys) {
  keys->clear();
  return pairway::reg::ReadKeyTree(HKEY_LOCAL_MACHINE, "", "HKEY_LOCAL_MACHINE", keys) ==
         ERROR_SUCCESS;
}

std::string DescribeChanges(const std::vector<KeySection>& before,
                            const std::vector<KeySection>& after) {
  std::map<std::string, const KeySection*> old_keys;
  for (const KeySection& key : before) old_keys[key.key] = &key;
  std::map<std::string, const KeySection*> new_keys;
  for (const KeySection& key : after) new_keys[key.key] = &key;

  std::string text;
  std::string last_deleted;
  for (const KeySection& key : before) {
    if (new_keys.count(key.key) != 0) continue;
    // Deleting a key deletes what is below it: name only the topmost.
    if (!last_deleted.empty() && IsBelow(key.key, last_deleted)) continue;
    last_deleted = key.key;
    text += "[-" + key.key + "]\n\n";
  }
  for (const KeySection& key : after) {
    auto old = old_keys.find(key.key);
    if (old == old_keys.end()) {
      text += pairway::reg::FormatKeySection(key.key, key.values);
    } else {
      text += DescribeKeyChange(*old->second, key);
    }
  }
  return text;
}

}  // namespace pairwayctl
