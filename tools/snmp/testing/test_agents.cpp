#include "test_agents.h"

#include <windows.h>

#include <stdexcept>

#include "registry_layout.h"

namespace snmphost::testing {
namespace {

void SetText(const std::string& key_path, const std::string& name, const std::string& text,
             DWORD type) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) throw std::runtime_error("cannot write " + key_path + "\\" + name);
}

}  // namespace

void ListAgent(const std::string& entry, const std::string& key, const std::string& pathname) {
  std::string key_path = "SOFTWARE\\Pairway Tests\\" + key + "\\CurrentVersion";
  SetText(SNMP_EXTENSION_AGENTS_KEY, entry, key_path, REG_SZ);
  DWORD type = pathname.find('%') == std::string::npos ? REG_SZ : REG_EXPAND_SZ;
  SetText(key_path, VAL_PATHNAME, pathname, type);
}

std::string ListTestAgent(const pairway::testing::TempRoot& root, const std::string& variant,
                          const std::string& entry) {
  pairway::testing::InstallInSystemDir(
      root, variant + ".dll",
      pairway::testing::BuildDir() / "lib" / "tests" / ("snmp_test_" + variant + ".so"));
  ListAgent(entry, variant, "%SystemRoot%\\System32\\" + variant + ".dll");
  return "C:\\WINNT\\System32\\" + variant + ".dll";
}

}  // namespace snmphost::testing
