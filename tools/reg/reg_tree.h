// reg_tree.h: reading a registry key, and a whole subtree, in the order an export writes it.
#ifndef PAIRWAY_TOOLS_REG_TREE_H
#define PAIRWAY_TOOLS_REG_TREE_H

#include <windows.h>

#include <string>
#include <vector>

#include "reg_file.h"

namespace pairway::reg {

// The values of an open key, in their stored order, with their exact bytes.
LONG ReadValues(HKEY key, std::vector<ExportedValue>* values);
// The subkey names of an open key, in the registry's order.
LONG ReadSubkeys(HKEY key, std::vector<std::string>* names);
// A key's values and subkey names; `path` empty is `root` itself.
LONG ReadKey(HKEY root, const std::string& path, std::vector<ExportedValue>* values,
             std::vector<std::string>* subkeys);

// One key of a subtree: its full name as an export writes it and its values.
struct KeySection {
  std::string key;
  std::vector<ExportedValue> values;
};
// Key `path` of `root` (named `display` in the output) and every key below it, parents before
// children, siblings in the registry's order. `path` empty reads only the keys below `root`.
LONG ReadKeyTree(HKEY root, const std::string& path, const std::string& display,
                 std::vector<KeySection>* sections);

}  // namespace pairway::reg

#endif  // PAIRWAY_TOOLS_REG_TREE_H
