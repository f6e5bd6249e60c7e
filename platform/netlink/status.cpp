// The one place where an errno value becomes a netlink Status; see status.h.
#include "netlink/status.h"

#include <cstring>

namespace pairway::netlink {

Status Status::Error(int code, std::string_view detail) {
  std::string text = std::strerror(code);
  if (const char* name = strerrorname_np(code)) text += std::string(" (") + name + ")";
  if (!detail.empty()) text += std::string(": ") + std::string(detail);
  return Status(code, std::move(text));
}

Status Status::Context(std::string_view what) const {
  if (ok()) return *this;
  return Status(code_, std::string(what) + ": " + text_);
}

}  // namespace pairway::netlink
