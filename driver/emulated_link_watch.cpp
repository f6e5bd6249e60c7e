// The link watch of emulated ports (link_watch.h): their "link" field, polled.
#include <windows.h>

#include <map>

#include "link_watch.h"
#include "pairway/nic_state.h"

namespace pairway::driver {
namespace {

constexpr int kPollIntervalMs = 50;

class EmulatedLinkWatch final : public LinkWatch {
 public:
  explicit EmulatedLinkWatch(std::filesystem::path root) : root_(std::move(root)) {}

  int fd() const override { return -1; }
  int poll_interval_ms() const override { return kPollIntervalMs; }

  std::optional<bool> Watch(const std::string& key) override {
    const std::optional<bool> now = ReadLink(key);
    watched_[key] = now;
    return now;
  }

  void Unwatch(const std::string& key) override { watched_.erase(key); }

  void Dispatch(const std::function<void(const LinkChange&)>& report) override {
    for (auto& [key, last] : watched_) {
      const std::optional<bool> now = ReadLink(key);
      if (now == last) continue;
      last = now;
      report(LinkChange{key, now.value_or(false), !now.has_value()});
    }
  }

 private:
  std::optional<bool> ReadLink(const std::string& port) const {
    NicState state;
    if (ReadNicState(root_, port, &state) != ERROR_SUCCESS) return std::nullopt;
    return state.link_up;
  }

  const std::filesystem::path root_;
  std::map<std::string, std::optional<bool>> watched_;
};

}  // namespace

std::unique_ptr<LinkWatch> MakeEmulatedLinkWatch(const std::filesystem::path& root) {
  return std::make_unique<EmulatedLinkWatch>(root);
}

}  // namespace pairway::driver
