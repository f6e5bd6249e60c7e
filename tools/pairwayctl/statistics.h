// statistics.h: the figures of the status page, from the statistics library it asks.
//
// The library (standbyag.dll of the root's system directory) is loaded by name as the
// configuration entry point loads it, for as long as the object lives.
#ifndef PAIRWAYCTL_STATISTICS_H
#define PAIRWAYCTL_STATISTICS_H

#include <windows.h>

#include <optional>
#include <string>

namespace pairwayctl {

class Statistics {
 public:
  Statistics();
  ~Statistics();
  Statistics(const Statistics&) = delete;
  Statistics& operator=(const Statistics&) = delete;

  // False when the library or its entry point is missing; every figure is then unknown.
  bool available() const { return entry_ != nullptr; }

  // A port's bytes sent and received (modulo 2^32) and link state (true: up); nothing when the
  // library does not know.
  std::optional<DWORD> PortBytesSent(const std::string& port) const;
  std::optional<DWORD> PortBytesReceived(const std::string& port) const;
  std::optional<bool> PortLinkUp(const std::string& port) const;
  // A group's sums over its ports.
  std::optional<DWORD> GroupBytesSent(const std::string& group) const;
  std::optional<DWORD> GroupBytesReceived(const std::string& group) const;

 private:
  using Entry = int(WINAPI*)(DWORD code, LPCSTR group, LPCSTR port, DWORD reserved1,
                             DWORD reserved2, DWORD* result, DWORD* length);
  std::optional<DWORD> Ask(DWORD code, const char* group, const char* port) const;

  HMODULE library_ = nullptr;
  Entry entry_ = nullptr;
};

}  // namespace pairwayctl

#endif  // PAIRWAYCTL_STATISTICS_H
