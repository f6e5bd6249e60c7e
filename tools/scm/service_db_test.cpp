// The service database against readers that look while it writes: a service key is seen whole or
// not at all, both while it is being created and while it is being deleted.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "registry_layout.h"
#include "service_db.h"
#include "temp_root.h"

namespace pairway::scm {
namespace {

constexpr const char* kEntryValues[] = {"Type",      "Start",       "ErrorControl",
                                        "ImagePath", "DisplayName", "ObjectName"};

// Opens the service's key; when there is one, counts the values of the entry it lacks. A key
// deleted while it is being read lacks nothing: it was whole when it was opened.
int MissingValues(const std::string& path, bool* exists) {
  HKEY key = nullptr;
  *exists = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (!*exists) return 0;
  int missing = 0;
  for (const char* value : kEntryValues) {
    LONG status = RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_KEY_DELETED) break;
    if (status != ERROR_SUCCESS) ++missing;
  }
  RegCloseKey(key);
  return missing;
}

TEST(ServiceDatabase, ReadersSeeAServiceEntryWholeOrNotAtAll) {
  testing::TempRoot root;
  ServiceConfig config;
  config.name = "Watched";
  config.display_name = "Watched Service";
  config.start = SERVICE_AUTO_START;
  config.image_path = "C:\\WINNT\\System32\\watched.exe";
  const std::string path = std::string(SERVICES_KEY_SLASH) + config.name;
  // The first create makes the Services key, so the rounds below touch only the service's own.
  ASSERT_EQ(CreateServiceEntry(config), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(DeleteServiceEntry(config.name), static_cast<DWORD>(ERROR_SUCCESS));

  constexpr int kRounds = 300;
  std::atomic<bool> writing{true};
  std::atomic<int> failures{0};
  std::thread writer([&] {
    for (int round = 0; round < kRounds; ++round) {
      if (CreateServiceEntry(config) != ERROR_SUCCESS) failures++;
      if (DeleteServiceEntry(config.name) != ERROR_SUCCESS) failures++;
    }
    writing = false;
  });
  int seen = 0, partial = 0;
  while (writing) {
    bool exists = false;
    if (MissingValues(path, &exists) != 0) ++partial;
    if (exists) ++seen;
  }
  writer.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(partial, 0) << "of " << seen << " looks at an existing key";
}

}  // namespace
}  // namespace pairway::scm
