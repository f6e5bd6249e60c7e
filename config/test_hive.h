// test_hive.h: small helpers that seed and inspect a test's hive through the registry calls, so
// every test builds its ports the same way. For tests only.
#ifndef AGGCFG_TEST_HIVE_H
#define AGGCFG_TEST_HIVE_H

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry_layout.h"

namespace aggcfg_test {

inline std::string CardKey(int card) { return NETWORK_CARDS_KEY_SLASH + std::to_string(card); }
inline std::string ParamsKey(const std::string& service) {
  return SERVICES_KEY_SLASH + service + "\\" PARAMETERS_SUBKEY;
}
inline std::string ParamsKey(int card) { return ParamsKey("TREVAN" + std::to_string(card)); }
inline std::string TcpipKey(int card) { return ParamsKey(card) + "\\" TCPIP_SUBKEY; }
inline std::string NetRulesKey(int card) { return CardKey(card) + "\\" NET_RULES_SUBKEY; }

inline void SetBytes(const std::string& path, const char* name, DWORD type,
                     const std::string& bytes) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

inline void SetText(const std::string& path, const char* name, const std::string& text) {
  SetBytes(path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

inline void SetDword(const std::string& path, const char* name, DWORD value) {
  std::string bytes = {static_cast<char>(value), static_cast<char>(value >> 8),
                       static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  SetBytes(path, name, REG_DWORD, bytes);
}

inline void MakeKey(const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

// The stored bytes and type of a value, or nothing when it (or its key) does not exist.
struct StoredValue {
  DWORD type;
  std::string bytes;
};
inline std::optional<StoredValue> Read(const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0, size = 0;
  std::optional<StoredValue> result;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string bytes(size, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) ==
        ERROR_SUCCESS) {
      bytes.resize(size);
      result = StoredValue{type, bytes};
    }
  }
  RegCloseKey(key);
  return result;
}

inline bool Has(const std::string& path, const char* name) { return Read(path, name).has_value(); }

inline std::optional<DWORD> Dword(const std::string& path, const char* name) {
  auto value = Read(path, name);
  if (!value || value->bytes.size() < 4) return std::nullopt;
  const auto* b = reinterpret_cast<const unsigned char*>(value->bytes.data());
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<DWORD>(b[3]) << 24;
}

// A text as stored, without its terminating zero.
inline std::optional<std::string> Text(const std::string& path, const char* name) {
  auto value = Read(path, name);
  if (!value) return std::nullopt;
  std::string text = value->bytes;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

inline void SetRefCount(DWORD count) { SetDword(TREVAN_SOFTWARE_KEY, VAL_REF_COUNT, count); }

// A card of the driver as the network setup installs it: card entry, bind rules, parameters.
inline void AddCard(int card, const char* product = TREVAN_PRODUCT_NAME) {
  std::string service = product + std::to_string(card);
  SetText(CardKey(card), VAL_PRODUCT_NAME, product);
  SetText(CardKey(card), VAL_SERVICE_NAME, service);
  SetText(CardKey(card), VAL_MANUFACTURER, "Corvane");
  SetText(CardKey(card), VAL_TITLE, "[" + std::to_string(card) + "] Corvane Port");
  MakeKey(NetRulesKey(card));
  MakeKey(ParamsKey(service));
}

// The registry roles, set up as the library itself would write them.
inline void MakePrimaryPort(int card, DWORD index, DWORD timeout, const std::string& group) {
  SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, index);
  SetDword(ParamsKey(card), VAL_LINK_CHECK_TIMEOUT, timeout);
  SetText(ParamsKey(card), VAL_GROUP_NAME, group);
}
inline void MakeBackupPort(int card, DWORD index, DWORD primary_index) {
  SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, index);
  SetDword(ParamsKey(card), VAL_PRIMARY_INDEX, primary_index);
}
inline void GiveIpSettings(int card) {
  SetBytes(TcpipKey(card), VAL_IP_ADDRESS, REG_MULTI_SZ, std::string("10.0.0.1\0\0", 10));
  SetBytes(TcpipKey(card), VAL_SUBNET_MASK, REG_MULTI_SZ, std::string("255.0.0.0\0\0", 11));
  SetBytes(TcpipKey(card), VAL_DEFAULT_GATEWAY, REG_MULTI_SZ, std::string("10.0.0.254\0\0", 12));
  SetDword(TcpipKey(card), VAL_ENABLE_DHCP, 0);
}

}  // namespace aggcfg_test

#endif  // AGGCFG_TEST_HIVE_H

#ifdef AGGCFG_TEST_FIXTURE
#include <gtest/gtest.h>

#include <memory>

#include "entry_points.h"
#include "groups_config_app.h"
#include "pairway/ui/recording_sink.h"
#include "temp_root.h"

namespace aggcfg_test {

// The library as the setup host sees it: aggcfg.dll in the machine's system directory, loaded by
// name, its procedures entered by name. The root must outlive it.
class InstalledLibrary {
 public:
  explicit InstalledLibrary(const pairway::testing::TempRoot& root) {
    pairway::testing::InstallInSystemDir(root, "aggcfg.dll",
                                         pairway::testing::BuildDir() / "lib" / "aggcfg.so");
    library_ = LoadLibraryA("aggcfg.dll");
  }
  ~InstalledLibrary() {
    if (library_ != nullptr) FreeLibrary(library_);
  }
  InstalledLibrary(const InstalledLibrary&) = delete;
  InstalledLibrary& operator=(const InstalledLibrary&) = delete;

  bool loaded() const { return library_ != nullptr; }
  // A procedure address is a generic function pointer; it is turned into the setup procedure
  // type through void*, as the host does. Null when the library does not export `name`.
  SETUP_PROCEDURE Procedure(const char* name) const {
    if (library_ == nullptr) return nullptr;
    return reinterpret_cast<SETUP_PROCEDURE>(
        reinterpret_cast<void*>(GetProcAddress(library_, name)));
  }
  // Calls `procedure` with the texts of `arguments`.
  static BOOL Call(SETUP_PROCEDURE procedure, std::vector<const char*> arguments, LPSTR* result) {
    std::vector<LPSTR> texts;
    for (const char* argument : arguments) texts.push_back(const_cast<LPSTR>(argument));
    return procedure(static_cast<DWORD>(texts.size()), texts.data(), result);
  }

 private:
  HMODULE library_ = nullptr;
};

// A fresh machine root, a sink that answers every message box, and the application object left
// empty afterwards.
class ConfigTest : public ::testing::Test {
 protected:
  ~ConfigTest() override {
    theApp.m_registry = nullptr;
    theApp.FreeGroups();
    theApp.FreeStandalonePorts();
  }

  // A model loaded from the hive as it is now, made the application's model.
  std::unique_ptr<CAdapterRegistry> LoadModel() {
    auto model = std::make_unique<CAdapterRegistry>();
    model->LoadAdapters();
    theApp.m_registry = model.get();
    return model;
  }

  // The values of each role, as the library writes them, checked on card `card`.
  bool HasBindRules(int card) {
    bool all = Has(NetRulesKey(card), VAL_BINDFORM) && Has(NetRulesKey(card), VAL_CLASS) &&
               Has(NetRulesKey(card), VAL_TYPE);
    bool none = !Has(NetRulesKey(card), VAL_BINDFORM) && !Has(NetRulesKey(card), VAL_CLASS) &&
                !Has(NetRulesKey(card), VAL_TYPE);
    EXPECT_TRUE(all || none) << "card " << card << " has part of its bind rules";
    return all;
  }
  void ExpectStandalone(int card) {
    EXPECT_FALSE(Has(ParamsKey(card), VAL_LINK_CHECK_TIMEOUT)) << card;
    EXPECT_FALSE(Has(ParamsKey(card), VAL_GROUP_NAME)) << card;
    EXPECT_FALSE(Has(ParamsKey(card), VAL_PRIMARY_INDEX)) << card;
    EXPECT_TRUE(HasBindRules(card)) << card;
  }
  void ExpectPrimary(int card, DWORD timeout, const std::string& name) {
    EXPECT_EQ(Dword(ParamsKey(card), VAL_LINK_CHECK_TIMEOUT), timeout) << card;
    EXPECT_EQ(Text(ParamsKey(card), VAL_GROUP_NAME), name) << card;
    EXPECT_FALSE(Has(ParamsKey(card), VAL_PRIMARY_INDEX)) << card;
    EXPECT_TRUE(HasBindRules(card)) << card;
  }
  void ExpectBackup(int card, DWORD primary_index) {
    EXPECT_EQ(Dword(ParamsKey(card), VAL_PRIMARY_INDEX), primary_index) << card;
    EXPECT_FALSE(Has(ParamsKey(card), VAL_LINK_CHECK_TIMEOUT)) << card;
    EXPECT_FALSE(HasBindRules(card)) << card;
  }

  pairway::testing::TempRoot root_;
  pairway::ui::RecordingSink sink_;
  pairway::ui::ScopedUiSink sink_scope_{&sink_};
};

}  // namespace aggcfg_test
#endif  // AGGCFG_TEST_FIXTURE
