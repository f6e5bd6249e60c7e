// Open keys cost the process no file descriptors: a process may hold more keys than it may hold
// descriptors, and a watch still ends when its handle closes.
#include <windows.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registry_test_util.h"
#include "temp_root.h"

using namespace pairway::registry::testing;
using pairway::testing::TempRoot;

namespace {

// Lowers the soft descriptor limit for the life of the object.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_;
};

TEST(KeyHandlesTest, MoreOpenKeysThanDescriptorsLeaveTheProcessItsDescriptors) {
  TempRoot root;
  RegCloseKey(CreateKey("SOFTWARE\\Many"));
  std::vector<HKEY> keys;
  {
    DescriptorLimit limit(128);
    for (int i = 0; i < 300; ++i) {
      HKEY key;
      ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many", 0, KEY_READ, &key),
                ERROR_SUCCESS)
          << "key " << i;
      keys.push_back(key);
    }
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << "the open keys took the process's descriptors";
    if (fd >= 0) close(fd);

    // A watch on one of them still ends when the key closes.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(RegNotifyChangeKeyValue(keys.back(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
              ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    RegCloseKey(keys.back());
    keys.pop_back();
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    CloseHandle(event);
  }
  for (HKEY key : keys) RegCloseKey(key);
}

}  // namespace
