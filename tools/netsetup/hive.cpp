// Registry helpers of pairway-netsetup; see hive.h.
#include "hive.h"

namespace netsetup {

Key::~Key() {
  if (key_ != nullptr) RegCloseKey(key_);
}

LONG Key::Open(const std::string& path) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key_);
}

LONG Key::Create(const std::string& path) {
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, &key_, nullptr);
}

LONG SetString(HKEY key, const char* name, const std::string& text, DWORD type) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

LONG SetMultiSz(HKEY key, const char* name, const std::vector<std::string>& entries) {
  std::string data;
  for (const std::string& entry : entries) {
    data += entry;
    data += '\0';
  }
  data += '\0';
  return RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

LONG GetDword(HKEY key, const char* name, DWORD* value) {
  DWORD size = sizeof *value;
  *value = 0;
  return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(value), &size);
}

namespace {

LONG GetBytes(HKEY key, const char* name, std::string* bytes) {
  DWORD size = 0;
  LONG status = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  bytes->assign(size, '\0');
  status =
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(bytes->data()), &size);
  if (status == ERROR_SUCCESS) bytes->resize(size);
  return status;
}

}  // namespace

LONG GetString(HKEY key, const char* name, std::string* text) {
  LONG status = GetBytes(key, name, text);
  if (status == ERROR_SUCCESS)
    text->resize(text->find('\0') == std::string::npos ? text->size() : text->find('\0'));
  return status;
}

LONG GetMultiSz(HKEY key, const char* name, std::vector<std::string>* entries) {
  std::string bytes;
  LONG status = GetBytes(key, name, &bytes);
  if (status != ERROR_SUCCESS) return status;
  entries->clear();
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\0', start);
    if (end == std::string::npos) end = bytes.size();
    if (end == start) break;  // the list terminator
    entries->push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

bool HasValue(HKEY key, const char* name) {
  return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

LONG DeleteTree(const std::string& path) {
  Key key;
  LONG status = key.Open(path);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  for (;;) {
    char child[256];
    DWORD size = sizeof child;
    status = RegEnumKeyExA(key.get(), 0, child, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return status;
    status = DeleteTree(path + "\\" + child);
    if (status != ERROR_SUCCESS) return status;
  }
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

}  // namespace netsetup
