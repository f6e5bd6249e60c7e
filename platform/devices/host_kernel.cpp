// Reading one network interface from the kernel: rtnetlink (netlink/link.h) for flags, address
// and statistics, the ethtool ioctls for the permanent address, the driver and the link
// settings, and /proc/thread-self/net/dev_mcast for the multicast list. See host_kernel.h.
#include "devices/host_kernel.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <charconv>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "netlink/link.h"

namespace pairway {
namespace {

// The one place where a kernel error becomes a platform error.
DWORD KernelError(int error) {
  switch (error) {
    case ENODEV:
    case ENXIO:
      return ERROR_FILE_NOT_FOUND;
    case EOPNOTSUPP:
      return ERROR_NOT_SUPPORTED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

class IoctlSocket {
 public:
  IoctlSocket(int domain, int type, int protocol)
      : fd_(socket(domain, type | SOCK_CLOEXEC, protocol)) {}
  ~IoctlSocket() {
    if (fd_ >= 0) close(fd_);
  }
  IoctlSocket(const IoctlSocket&) = delete;
  IoctlSocket& operator=(const IoctlSocket&) = delete;
  int fd() const { return fd_; }

 private:
  const int fd_;
};

bool ValidInterfaceName(std::string_view interface) {
  return !interface.empty() && interface.size() < IFNAMSIZ &&
         interface.find('/') == std::string_view::npos;
}

// Runs one ethtool command whose request starts at `request`.
DWORD Ethtool(std::string_view interface, void* request) {
  if (!ValidInterfaceName(interface)) return ERROR_FILE_NOT_FOUND;
  IoctlSocket sock(AF_INET, SOCK_DGRAM, 0);
  if (sock.fd() < 0) return ERROR_GEN_FAILURE;
  ifreq ifr{};
  std::memcpy(ifr.ifr_name, interface.data(), interface.size());
  ifr.ifr_data = static_cast<char*>(request);
  if (ioctl(sock.fd(), SIOCETHTOOL, &ifr) != 0) return KernelError(errno);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD ReadHostLink(std::string_view interface, HostLink* link) {
  if (!ValidInterfaceName(interface)) return ERROR_FILE_NOT_FOUND;
  netlink::Socket sock;
  if (!sock.Open().ok()) return ERROR_GEN_FAILURE;
  netlink::Link read;
  const netlink::Status status = netlink::GetLink(sock, interface, &read);
  if (!status.ok()) return KernelError(status.code());
  link->flags = read.flags;
  link->address = std::move(read.address);
  link->has_stats = read.has_stats;
  link->stats = read.stats;
  return ERROR_SUCCESS;
}

DWORD ReadPermanentAddress(std::string_view interface, HardwareAddress* address) {
  constexpr uint32_t kMaxAddressLength = 32;  // the kernel's MAX_ADDR_LEN
  alignas(ethtool_perm_addr) uint8_t buffer[sizeof(ethtool_perm_addr) + kMaxAddressLength] = {};
  auto* request = reinterpret_cast<ethtool_perm_addr*>(buffer);
  request->cmd = ETHTOOL_GPERMADDR;
  request->size = kMaxAddressLength;
  const DWORD status = Ethtool(interface, request);
  if (status != ERROR_SUCCESS) return status;
  address->assign(request->data, request->data + std::min(request->size, kMaxAddressLength));
  return ERROR_SUCCESS;
}

DWORD ReadDriverInfo(std::string_view interface, HostDriverInfo* info) {
  ethtool_drvinfo request{};
  request.cmd = ETHTOOL_GDRVINFO;
  const DWORD status = Ethtool(interface, &request);
  if (status != ERROR_SUCCESS) return status;
  // The kernel terminates both texts within their fields.
  info->driver = std::string(request.driver, strnlen(request.driver, sizeof request.driver));
  info->version = std::string(request.version, strnlen(request.version, sizeof request.version));
  return ERROR_SUCCESS;
}

DWORD ReadLinkSettings(std::string_view interface, HostLinkSettings* settings) {
  // The newer call is a handshake: the first answer says how many words each of the three link
  // mode masks takes (as a negative number), the second fills them in.
  constexpr size_t kMaskWords = 3 * 127;
  alignas(ethtool_link_settings)
      uint8_t buffer[sizeof(ethtool_link_settings) + kMaskWords * sizeof(uint32_t)] = {};
  auto* request = reinterpret_cast<ethtool_link_settings*>(buffer);
  request->cmd = ETHTOOL_GLINKSETTINGS;
  DWORD status = Ethtool(interface, request);
  if (status == ERROR_SUCCESS && request->link_mode_masks_nwords < 0) {
    const int8_t words = static_cast<int8_t>(-request->link_mode_masks_nwords);
    std::memset(buffer, 0, sizeof buffer);
    request->cmd = ETHTOOL_GLINKSETTINGS;
    request->link_mode_masks_nwords = words;
    status = Ethtool(interface, request);
  }
  if (status == ERROR_SUCCESS && request->link_mode_masks_nwords > 0) {
    settings->speed_mbps = request->speed;
    settings->duplex = request->duplex;
    return ERROR_SUCCESS;
  }
  if (status != ERROR_SUCCESS && status != ERROR_NOT_SUPPORTED) return status;
  ethtool_cmd legacy{};
  legacy.cmd = ETHTOOL_GSET;
  status = Ethtool(interface, &legacy);
  if (status != ERROR_SUCCESS) return status;
  settings->speed_mbps = ethtool_cmd_speed(&legacy);
  settings->duplex = legacy.duplex;
  return ERROR_SUCCESS;
}

DWORD ReadMulticastList(std::string_view interface, std::vector<std::array<uint8_t, 6>>* list) {
  HostLink link;
  const DWORD status = ReadHostLink(interface, &link);  // tells a missing interface apart
  if (status != ERROR_SUCCESS) return status;
  // Lines: index, name, users, static users, the address in hexadecimal.
  std::ifstream in("/proc/thread-self/net/dev_mcast");
  if (!in) return ERROR_GEN_FAILURE;
  std::vector<std::array<uint8_t, 6>> addresses;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string index, name, users, static_users, hex;
    if (!(fields >> index >> name >> users >> static_users >> hex) || name != interface ||
        hex.size() != 12)
      continue;
    std::array<uint8_t, 6> address{};
    bool parsed = true;
    for (size_t i = 0; i < 6 && parsed; ++i) {
      const char* pair = hex.data() + 2 * i;
      parsed = std::from_chars(pair, pair + 2, address[i], 16).ptr == pair + 2;
    }
    if (parsed) addresses.push_back(address);
  }
  *list = std::move(addresses);
  return ERROR_SUCCESS;
}

}  // namespace pairway
