// Reading one network interface from the kernel: rtnetlink for flags, address and statistics,
// the ethtool ioctls for the permanent address, the driver and the link settings, and
// /proc/thread-self/net/dev_mcast for the multicast list. See host_kernel.h.
#include "devices/host_kernel.h"

#include <linux/ethtool.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
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

class Socket {
 public:
  Socket(int domain, int type, int protocol) : fd_(socket(domain, type | SOCK_CLOEXEC, protocol)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
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
  Socket sock(AF_INET, SOCK_DGRAM, 0);
  if (sock.fd() < 0) return ERROR_GEN_FAILURE;
  ifreq ifr{};
  std::memcpy(ifr.ifr_name, interface.data(), interface.size());
  ifr.ifr_data = static_cast<char*>(request);
  if (ioctl(sock.fd(), SIOCETHTOOL, &ifr) != 0) return KernelError(errno);
  return ERROR_SUCCESS;
}

// Walks the attributes of an RTM_NEWLINK message into *link.
void ParseLink(const nlmsghdr* message, HostLink* link) {
  const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
  link->flags = info->ifi_flags;
  int length = static_cast<int>(message->nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof *info));
  for (const rtattr* attribute = IFLA_RTA(info); RTA_OK(attribute, length);
       attribute = RTA_NEXT(attribute, length)) {
    const auto* data = static_cast<const uint8_t*>(RTA_DATA(attribute));
    const size_t size = RTA_PAYLOAD(attribute);
    if (attribute->rta_type == IFLA_ADDRESS) {
      link->address.assign(data, data + size);
    } else if (attribute->rta_type == IFLA_STATS64) {
      // Older and newer kernels send fewer or more fields than this build knows.
      std::memcpy(&link->stats, data, std::min(size, sizeof link->stats));
      link->has_stats = true;
    }
  }
}

}  // namespace

DWORD ReadHostLink(std::string_view interface, HostLink* link) {
  if (!ValidInterfaceName(interface)) return ERROR_FILE_NOT_FOUND;
  Socket sock(AF_NETLINK, SOCK_RAW, NETLINK_ROUTE);
  if (sock.fd() < 0) return ERROR_GEN_FAILURE;
  struct {
    nlmsghdr header;
    ifinfomsg info;
    char attributes[RTA_SPACE(IFNAMSIZ)];
  } request{};
  request.header.nlmsg_type = RTM_GETLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.header.nlmsg_seq = 1;
  request.info.ifi_family = AF_UNSPEC;
  auto* name = reinterpret_cast<rtattr*>(request.attributes);
  name->rta_type = IFLA_IFNAME;
  name->rta_len = static_cast<unsigned short>(RTA_LENGTH(interface.size() + 1));
  std::memcpy(RTA_DATA(name), interface.data(), interface.size());
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.info) + RTA_ALIGN(name->rta_len);
  if (send(sock.fd(), &request, request.header.nlmsg_len, 0) < 0) return KernelError(errno);

  // Peeking first gives the answer's whole length, so no attribute is cut off.
  const ssize_t pending = recv(sock.fd(), nullptr, 0, MSG_PEEK | MSG_TRUNC);
  if (pending < 0) return KernelError(errno);
  std::vector<nlmsghdr> reply(static_cast<size_t>(pending) / sizeof(nlmsghdr) + 1);
  const ssize_t received = recv(sock.fd(), reply.data(), reply.size() * sizeof(nlmsghdr), 0);
  if (received < 0) return KernelError(errno);
  int length = static_cast<int>(received);
  for (const nlmsghdr* message = reply.data(); NLMSG_OK(message, length);
       message = NLMSG_NEXT(message, length)) {
    if (message->nlmsg_type == NLMSG_ERROR) {
      const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
      return error->error == 0 ? ERROR_GEN_FAILURE : KernelError(-error->error);
    }
    if (message->nlmsg_type == RTM_NEWLINK) {
      HostLink parsed;
      ParseLink(message, &parsed);
      *link = std::move(parsed);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_GEN_FAILURE;
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
