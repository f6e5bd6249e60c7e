#include "statistics.h"

#include "registry_layout.h"

namespace pairwayctl {
namespace {

// The status page's query codes.
constexpr DWORD kGroupBytesSent = 10;
constexpr DWORD kGroupBytesReceived = 12;
constexpr DWORD kPortBytesSent = 25;
constexpr DWORD kPortBytesReceived = 27;
constexpr DWORD kPortLinkState = 30;

}  // namespace

Statistics::Statistics() : library_(LoadLibraryA(STATISTICS_LIBRARY_NAME)) {
  if (library_ != nullptr) {
    entry_ = reinterpret_cast<Entry>(GetProcAddress(library_, STATISTICS_ENTRY_POINT));
  }
}

Statistics::~Statistics() {
  if (library_ != nullptr) FreeLibrary(library_);
}

std::optional<DWORD> Statistics::Ask(DWORD code, const char* group, const char* port) const {
  if (entry_ == nullptr) return std::nullopt;
  DWORD result = 0;
  DWORD length = sizeof result;
  if (entry_(code, group, port, 0, 0, &result, &length) == 0) return std::nullopt;
  return result;
}

std::optional<DWORD> Statistics::PortBytesSent(const std::string& port) const {
  return Ask(kPortBytesSent, nullptr, port.c_str());
}

std::optional<DWORD> Statistics::PortBytesReceived(const std::string& port) const {
  return Ask(kPortBytesReceived, nullptr, port.c_str());
}

std::optional<bool> Statistics::PortLinkUp(const std::string& port) const {
  std::optional<DWORD> state = Ask(kPortLinkState, nullptr, port.c_str());
  if (!state) return std::nullopt;
  return *state == 1;
}

std::optional<DWORD> Statistics::GroupBytesSent(const std::string& group) const {
  return Ask(kGroupBytesSent, group.c_str(), nullptr);
}

std::optional<DWORD> Statistics::GroupBytesReceived(const std::string& group) const {
  return Ask(kGroupBytesReceived, group.c_str(), nullptr);
}

}  // namespace pairwayctl
