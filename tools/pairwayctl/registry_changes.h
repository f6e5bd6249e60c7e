// registry_changes.h: what a command changed in the registry, as a file that would make the change.
//
// --dry-run runs a command inside one registry transaction that is never committed, and prints
// the difference between the machine's keys before and after it in the registry tool's export
// format: new and changed values as they would be written, deleted values as "name"=-, deleted
// keys as [-KEY]. Importing that text into the unchanged registry would make the same change.
#ifndef PAIRWAYCTL_REGISTRY_CHANGES_H
#define PAIRWAYCTL_REGISTRY_CHANGES_H

#include <windows.h>

#include <string>
#include <vector>

#include "reg_tree.h"

namespace pairwayctl {

// One key's part of a change.
struct KeyChange {
  enum Kind { kCreated, kChanged, kDeleted };
  Kind kind = kChanged;
  std::string key;
  std::vector<pairway::reg::ExportedValue> written;  // new and changed values, as they are after
  std::vector<std::string> deleted;                  // names of the values deleted
};

// Every key under HKEY_LOCAL_MACHINE with its values; false when the registry cannot be read.
bool SnapshotMachine(std::vector<pairway::reg::KeySection>* keys);

// The changes from `before` to `after`: first the deleted keys (only the topmost of a deleted
// subtree), then the created and changed keys in the order of `after`. Keys with no change are
// left out.
std::vector<KeyChange> ListChanges(const std::vector<pairway::reg::KeySection>& before,
                                   const std::vector<pairway::reg::KeySection>& after);

// The changes from `before` to `after` as export text without the file header; empty when none.
std::string DescribeChanges(const std::vector<pairway::reg::KeySection>& before,
                            const std::vector<pairway::reg::KeySection>& after);

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_REGISTRY_CHANGES_H
