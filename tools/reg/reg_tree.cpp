#include "reg_tree.h"

namespace pairway::reg {

LONG ReadValues(HKEY key, std::vector<ExportedValue>* values) {
  values->clear();
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD name_size = sizeof name;
    DWORD type = 0, size = 0;
    LONG error = RegEnumValueA(key, i, name, &name_size, nullptr, &type, nullptr, &size);
    if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    ExportedValue value{std::string(name, name_size), type, std::vector<BYTE>(size)};
    DWORD read = size;
    error = RegQueryValueExA(key, value.name.c_str(), nullptr, &value.type,
                             value.data.empty() ? nullptr : value.data.data(), &read);
    if (error != ERROR_SUCCESS) return error;
    value.data.resize(read);
    values->push_back(std::move(value));
  }
}

LONG ReadSubkeys(HKEY key, std::vector<std::string>* names) {
  names->clear();
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD size = sizeof name;
    LONG error = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    names->emplace_back(name, size);
  }
}

LONG ReadKey(HKEY root, const std::string& path, std::vector<ExportedValue>* values,
             std::vector<std::string>* subkeys) {
  HKEY key;
  LONG error = RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key);
  if (error != ERROR_SUCCESS) return error;
  error = ReadValues(key, values);
  if (error == ERROR_SUCCESS) error = ReadSubkeys(key, subkeys);
  RegCloseKey(key);
  return error;
}

LONG ReadKeyTree(HKEY root, const std::string& path, const std::string& display,
                 std::vector<KeySection>* sections) {
  KeySection section{display, {}};
  std::vector<std::string> subkeys;
  LONG error = ReadKey(root, path, &section.values, &subkeys);
  if (error != ERROR_SUCCESS) return error;
  if (!path.empty()) sections->push_back(std::move(section));
  for (const std::string& name : subkeys) {
    error = ReadKeyTree(root, path.empty() ? name : path + "\\" + name, display + "\\" + name,
                        sections);
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

}  // namespace pairway::reg
