// The service database on the registry calls.
#include "service_db.h"

#include <cstring>
#include <utility>

#include "pairway/registry_batch.h"
#include "registry_layout.h"

namespace pairway::scm {
namespace {

// Closes a key when it goes out of scope.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::string ServiceKeyPath(const std::string& name) { return SERVICES_KEY_SLASH + name; }

DWORD SetDword(HKEY key, const char* value, DWORD data) {
  return RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data);
}

DWORD SetText(HKEY key, const char* value, DWORD type, const std::string& text) {
  return RegSetValueExA(key, value, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

void ReadDword(HKEY key, const char* value, DWORD* out) {
  DWORD data = 0, type = 0, size = sizeof data;
  if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof data)
    *out = data;
}

void ReadText(HKEY key, const char* value, std::string* out) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return;
  std::string text(size, '\0');
  if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return;
  text.resize(strnlen(text.data(), size));
  *out = text;
}

// Deletes `name` below `parent` with all its subkeys (the registry refuses a key with subkeys).
DWORD DeleteTree(HKEY parent, const std::string& name) {
  {
    Key key;
    DWORD error = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, key.out());
    if (error != ERROR_SUCCESS) return error;
    char child[256];
    while (true) {
      DWORD length = sizeof child;
      error = RegEnumKeyExA(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
      if (error == ERROR_NO_MORE_ITEMS) break;
      if (error != ERROR_SUCCESS) return error;
      error = DeleteTree(key.get(), child);
      if (error != ERROR_SUCCESS) return error;
    }
  }
  return RegDeleteKeyA(parent, name.c_str());
}

}  // namespace

DWORD CreateServiceEntry(const ServiceConfig& config) {
  // One transaction: a reader (the daemon answering another client, a service's own start-up,
  // pairway-reg) sees either no key or the whole entry, and a failure leaves nothing behind.
  RegistryBatch batch;
  if (batch.status() != ERROR_SUCCESS) return batch.status();
  Key services;
  DWORD error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, services.out(), nullptr);
  if (error != ERROR_SUCCESS) return error;
  Key key;
  DWORD disposition = 0;
  error = RegCreateKeyExA(services.get(), config.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, key.out(), &disposition);
  if (error != ERROR_SUCCESS) return error;
  if (disposition == REG_OPENED_EXISTING_KEY) return ERROR_SERVICE_EXISTS;
  if ((error = SetDword(key.get(), "Type", config.type)) != ERROR_SUCCESS ||
      (error = SetDword(key.get(), "Start", config.start)) != ERROR_SUCCESS ||
      (error = SetDword(key.get(), "ErrorControl", config.error_control)) != ERROR_SUCCESS ||
      (error = SetText(key.get(), "ImagePath", REG_EXPAND_SZ, config.image_path)) !=
          ERROR_SUCCESS ||
      (error = SetText(key.get(), "DisplayName", REG_SZ, config.display_name)) != ERROR_SUCCESS ||
      (error = SetText(key.get(), "ObjectName", REG_SZ, "LocalSystem")) != ERROR_SUCCESS) {
    return error;  // the batch rolls back as it goes
  }
  return batch.Commit();
}

DWORD ReadServiceEntry(const std::string& name, ServiceConfig* config) {
  Key key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyPath(name).c_str(), 0, KEY_READ, key.out()) !=
      ERROR_SUCCESS)
    return ERROR_SERVICE_DOES_NOT_EXIST;
  *config = ServiceConfig{};
  config->name = name;
  ReadDword(key.get(), "Type", &config->type);
  ReadDword(key.get(), "Start", &config->start);
  ReadDword(key.get(), "ErrorControl", &config->error_control);
  ReadText(key.get(), "ImagePath", &config->image_path);
  config->display_name = name;
  ReadText(key.get(), "DisplayName", &config->display_name);
  return ERROR_SUCCESS;
}

DWORD DeleteServiceEntry(const std::string& name) {
  // The key and everything below it go in one transaction, so no reader meets a key that has
  // lost some of its subkeys.
  RegistryBatch batch;
  if (batch.status() != ERROR_SUCCESS) return batch.status();
  Key services;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_ALL_ACCESS, services.out()) !=
      ERROR_SUCCESS)
    return ERROR_SERVICE_DOES_NOT_EXIST;
  DWORD error = DeleteTree(services.get(), name);
  if (error == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (error != ERROR_SUCCESS) return error;
  return batch.Commit();
}

bool ValidServiceName(const std::string& name) {
  return !name.empty() && name.size() <= 256 && name.find_first_of("/\\") == std::string::npos;
}

std::vector<ServiceConfig> ListServiceEntries() {
  std::vector<ServiceConfig> entries;
  Key services;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERVICES_KEY, 0, KEY_READ, services.out()) != ERROR_SUCCESS)
    return entries;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(services.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    Key key;
    DWORD type = 0, size = sizeof(DWORD), data = 0;
    if (RegOpenKeyExA(services.get(), name, 0, KEY_READ, key.out()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), "Type", nullptr, &type, reinterpret_cast<BYTE*>(&data),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
      continue;
    ServiceConfig config;
    if (ReadServiceEntry(name, &config) == ERROR_SUCCESS) entries.push_back(std::move(config));
  }
  return entries;
}

namespace {

std::vector<std::string> ServicesWhere(bool (*wanted)(const ServiceConfig&)) {
  std::vector<std::string> names;
  for (const ServiceConfig& config : ListServiceEntries()) {
    if (wanted(config)) names.push_back(config.name);
  }
  return names;
}

}  // namespace

std::vector<std::string> AutoStartServices() {
  return ServicesWhere([](const ServiceConfig& config) {
    return (config.type & SERVICE_WIN32_OWN_PROCESS) != 0 && config.start == SERVICE_AUTO_START;
  });
}

std::vector<std::string> SystemStartDrivers() {
  return ServicesWhere([](const ServiceConfig& config) {
    return (config.type & SERVICE_KERNEL_DRIVER) != 0 && config.start == SERVICE_SYSTEM_START;
  });
}

}  // namespace pairway::scm
