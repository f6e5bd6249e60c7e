// Choosing a data path for this host, and cleaning up after an earlier driver (data_path.h).
//
// The choice is made once per process, by trying each way on throw-away interfaces with names
// of this process's own: a bond; a veth pair with a clsact qdisc, a redirect and a drop
// filter; /dev/net/tun. The kernel's own path is preferred: "bond", then "tc", then "tap".
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

#include "back_ends.h"
#include "host_group.h"
#include "journal.h"
#include "log.h"
#include "netlink/link.h"
#include "netlink/tc.h"

namespace pairway::driver {
namespace {

std::string ProbeName(const char* prefix) { return prefix + std::to_string(getpid()); }

std::string ProbeBond(netlink::Channel& channel) {
  netlink::BondSettings settings;
  settings.name = ProbeName("pwpb");
  const netlink::Status made = netlink::CreateBond(channel, settings);
  if (!made.ok()) return "the kernel makes no active-backup bond (" + made.text() + ")";
  if (const int index = netlink::IndexOf(channel, settings.name); index != 0)
    (void)netlink::DeleteLink(channel, index);
  return {};
}

// The redirect and the drop: what "tc" needs (the drop is what "tap" needs of it).
void ProbeTc(netlink::Channel& channel, HostSupport* support) {
  const std::string name = ProbeName("pwpa"), peer = ProbeName("pwpz");
  netlink::Status status = netlink::CreateVeth(channel, name, peer);
  const int index = status.ok() ? netlink::IndexOf(channel, name) : 0;
  const int peer_index = status.ok() ? netlink::IndexOf(channel, peer) : 0;
  if (status.ok()) status = netlink::AddClsact(channel, index);
  netlink::Status drop = status;
  if (status.ok()) drop = netlink::AddDropFilter(channel, index, netlink::Hook::kIngress, 2);
  uint32_t handle = 0;
  netlink::Status redirect = status;
  if (status.ok())
    redirect = netlink::SetRedirectFilter(channel, index, netlink::Hook::kEgress, 1, peer_index,
                                          netlink::Hook::kEgress, &handle);
  if (index != 0) (void)netlink::DeleteLink(channel, index);
  if (!drop.ok()) {
    support->tc_missing = "the kernel cannot drop frames in tc (" + drop.text() + ")";
    support->tap_missing = support->tc_missing;
  } else if (!redirect.ok()) {
    support->tc_missing = "the kernel cannot redirect frames in tc (" + redirect.text() + ")";
  }
  if (support->tap_missing.empty()) {
    const int tun = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (tun < 0) support->tap_missing = std::string("no /dev/net/tun: ") + std::strerror(errno);
    if (tun >= 0) close(tun);
  }
}

const std::string& Missing(const HostSupport& support, std::string_view kind) {
  if (kind == "bond") return support.bond_missing;
  if (kind == "tc") return support.tc_missing;
  return support.tap_missing;
}

}  // namespace

const HostSupport& ProbeHost(netlink::Channel& channel) {
  static std::mutex guard;
  static std::optional<HostSupport> found;
  std::lock_guard<std::mutex> lock(guard);
  if (!found) {
    HostSupport support;
    support.bond_missing = ProbeBond(channel);
    ProbeTc(channel, &support);
    found = support;
  }
  return *found;
}

std::unique_ptr<DataPath> MakeDataPath(std::string_view kind, const std::filesystem::path& journal,
                                       std::string* error) {
  if (!kind.empty() && kind != "bond" && kind != "tc" && kind != "tap") {
    *error = "there is no data path \"" + std::string(kind) + "\" (bond, tc or tap)";
    return nullptr;
  }
  auto socket = std::make_unique<netlink::Socket>();
  if (const netlink::Status opened = socket->Open(); !opened.ok()) {
    *error = opened.text();
    return nullptr;
  }
  const HostSupport& support = ProbeHost(*socket);
  if (kind.empty()) {
    kind = support.bond_missing.empty() ? "bond" : support.tc_missing.empty() ? "tc" : "tap";
  }
  if (const std::string& missing = Missing(support, kind); !missing.empty()) {
    *error = "data path \"" + std::string(kind) + "\" cannot run here: " + missing;
    return nullptr;
  }
  if (kind == "bond") return MakeBondDataPath(std::move(socket), journal);
  if (kind == "tc") return MakeTcDataPath(std::move(socket), journal);
  return MakeTapDataPath(std::move(socket), journal);
}

int RemoveLeftovers(const std::filesystem::path& journal) {
  const std::vector<std::filesystem::path> files = JournalFiles(journal);
  if (files.empty()) return 0;
  netlink::Socket socket;
  if (const netlink::Status opened = socket.Open(); !opened.ok()) {
    LogLine("cannot clean up after an earlier driver: " + opened.text());
    return 0;
  }
  int cleaned = 0;
  for (const std::filesystem::path& file : files) {
    JournalEntry entry;
    std::string error;
    if (!ReadJournal(file, &entry, &error)) {
      LogLine(error + ": left as it is");
      continue;
    }
    if (!RestoreFromJournal(socket, entry))
      LogLine("group " + entry.group + " was cleaned up in part (see above)");
    RemoveJournal(journal, entry.group);
    ++cleaned;
  }
  return cleaned;
}

}  // namespace pairway::driver
