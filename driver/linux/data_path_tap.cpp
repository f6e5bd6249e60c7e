// The "tap" data path: the group interface is a TAP device and a thread of this back end moves
// the frames between it and the active member's packet socket, in user space. It is the last
// resort, for kernels that cannot redirect frames themselves; it still needs a drop filter on
// the members' ingress, so that their own stacks never see the group's frames (the packet
// sockets are served before that filter runs).
//
//   g0 (TAP, the group's MAC and addresses; carrier only while a member is active)
//     read from the TAP        -> sent on the active member's packet socket
//   m0, m1 (packet sockets, every protocol, outgoing frames ignored)
//     received on the active   -> written to the TAP
//     received on a backup     -> dropped
//   m0, m1 ingress  prio 2 drop
//
// Frames cross with their virtio-net header on both sides (IFF_VNET_HDR on the TAP,
// PACKET_VNET_HDR on the sockets): a frame whose checksum is left to the hardware, or a large
// frame still to be cut into segments, keeps saying so, and the kernel on the other side
// finishes it. Without it such frames (which veth passes on as they are) arrive broken.
//
// The TAP is not persistent: it lives as long as this process holds it, so a killed driver
// leaves no group interface behind. The forwarding thread reads the active member from one
// atomic; SetActive changes it and the carrier, both from the daemon's thread.
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_packet.h>
#include <linux/if_tun.h>
#include <net/ethernet.h>
#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "back_ends.h"
#include "host_group.h"
#include "log.h"
#include "netlink/tc.h"

namespace pairway::driver {
namespace {

constexpr uint16_t kDropPriority = 2;
// Room for the largest frame a member may hand over (a segment train of 64 KiB), a VLAN tag
// put back into it included.
constexpr size_t kFrameBytes = 65536 + 4 + ETH_HLEN;
constexpr size_t kSkipped = SIZE_MAX;

// The virtio-net header that leads every frame on both sides, as <linux/virtio_net.h> has it
// (that header cannot be read by a C++ compiler: a field there is named "class"). Native byte
// order: this is no virtio device, only the kernel's own sockets.
struct virtio_net_hdr {
  uint8_t flags;
  uint8_t gso_type;
  uint16_t hdr_len;
  uint16_t gso_size;
  uint16_t csum_start;
  uint16_t csum_offset;
};
static_assert(sizeof(virtio_net_hdr) == 10);
constexpr uint8_t kNeedsChecksum = 1;  // VIRTIO_NET_HDR_F_NEEDS_CSUM

// One frame as it crosses: the virtio-net header, then the frame, with room in front of it for
// a VLAN tag to be put back.
struct Frame {
  virtio_net_hdr header{};
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kFrameBytes);
};

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// A packet socket that takes every frame `ifindex` receives, but none it sends.
bool OpenMemberSocket(int ifindex, Descriptor* out, std::string* error) {
  Descriptor sock(socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ALL)));
  if (sock.get() < 0) {
    *error = Errno("cannot open a packet socket");
    return false;
  }
  const int on = 1;
  sockaddr_ll at{};
  at.sll_family = AF_PACKET;
  at.sll_protocol = htons(ETH_P_ALL);
  at.sll_ifindex = ifindex;
  // A burst of large frames (trains of segments of up to 64 KiB each) must wait for the
  // forwarding thread without being dropped: the default buffer holds three of them.
  const int buffer_bytes = 8 << 20;
  if (setsockopt(sock.get(), SOL_SOCKET, SO_RCVBUFFORCE, &buffer_bytes, sizeof buffer_bytes) != 0)
    (void)setsockopt(sock.get(), SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
  if (setsockopt(sock.get(), SOL_PACKET, PACKET_IGNORE_OUTGOING, &on, sizeof on) != 0 ||
      setsockopt(sock.get(), SOL_PACKET, PACKET_AUXDATA, &on, sizeof on) != 0 ||
      setsockopt(sock.get(), SOL_PACKET, PACKET_VNET_HDR, &on, sizeof on) != 0 ||
      bind(sock.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
    *error = Errno("cannot bind a packet socket to interface " + std::to_string(ifindex));
    return false;
  }
  *out = std::move(sock);
  return true;
}

// Receives one frame into frame->bytes from offset 4 on, and puts back the VLAN tag the
// driver took off it (it comes beside the frame, as auxiliary data). Returns where the frame
// starts and, in *size, its length; kSkipped for a frame not to be passed on (cut short, or not
// for this host); 0 in *size when none is pending.
size_t ReceiveFrame(int fd, Frame* frame, size_t* size) {
  *size = 0;
  sockaddr_ll from{};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(tpacket_auxdata))];
  iovec parts[2] = {{&frame->header, sizeof frame->header},
                    {frame->bytes.data() + 4, frame->bytes.size() - 4}};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t got = recvmsg(fd, &message, MSG_DONTWAIT);
  if (got < 0) return 0;
  if (got < static_cast<ssize_t>(sizeof frame->header) + ETH_HLEN ||
      (message.msg_flags & MSG_TRUNC))
    return kSkipped;
  // A NIC's filter would have dropped these; the member has the group's MAC.
  if (from.sll_pkttype == PACKET_OTHERHOST) return kSkipped;
  *size = static_cast<size_t>(got) - sizeof frame->header;
  for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
       item = CMSG_NXTHDR(&message, item)) {
    if (item->cmsg_level != SOL_PACKET || item->cmsg_type != PACKET_AUXDATA) continue;
    tpacket_auxdata aux{};
    std::memcpy(&aux, CMSG_DATA(item), sizeof aux);
    if (!(aux.tp_status & TP_STATUS_VLAN_VALID)) continue;
    const uint16_t tpid =
        htons((aux.tp_status & TP_STATUS_VLAN_TPID_VALID) ? aux.tp_vlan_tpid : ETH_P_8021Q);
    const uint16_t tci = htons(aux.tp_vlan_tci);
    uint8_t* start = frame->bytes.data();
    std::memmove(start, start + 4, 12);  // the addresses move to the front
    std::memcpy(start + 12, &tpid, 2);
    std::memcpy(start + 14, &tci, 2);
    if (frame->header.flags & kNeedsChecksum) frame->header.csum_start += 4;
    *size += 4;
    return 0;
  }
  return 4;
}

class TapDataPath final : public HostDataPath {
 public:
  TapDataPath(std::unique_ptr<netlink::Channel> channel, const std::filesystem::path& journal)
      : HostDataPath("tap", journal, std::move(channel)) {}
  ~TapDataPath() override { Destroy(); }

  const char* kind() const override { return "tap"; }
  bool monitors_links() const override { return false; }

  bool SetActive(int index, std::string* error) override {
    if (!ValidMember(index, error)) return false;
    if (index == active_.load()) return true;
    active_.store(index);
    if (!SetCarrier(index >= 0, error)) return false;
    if (index >= 0) {
      std::string announce_error;
      if (!Announce(host_.member_index(index), host_.mac(),
                    AddressesOf(host_.channel(), group_index_), &announce_error))
        LogLine("group " + spec_.ifname + ": " + announce_error);
    }
    return true;
  }

  int Active() const override { return active_.load(); }

 private:
  std::vector<MadeInterface> ToMake(const GroupSpec& spec) const override {
    return {{spec.ifname, "tun"}};
  }

  void Stop() override {
    if (forwarder_.joinable()) {
      const uint64_t one = 1;
      if (write(stop_.get(), &one, sizeof one) != sizeof one) LogLine(Errno("stopping the tap"));
      forwarder_.join();
    }
    active_.store(-1);
    members_.clear();
    tap_.Reset();  // the TAP goes with its last descriptor
  }

  bool Build(const GroupSpec&, std::string* error) override {
    netlink::Channel& nl = host_.channel();
    tap_ = Descriptor(open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK));
    if (tap_.get() < 0) {
      *error = Errno("cannot open /dev/net/tun");
      return false;
    }
    ifreq request{};
    request.ifr_flags = IFF_TAP | IFF_NO_PI | IFF_VNET_HDR;
    std::memcpy(request.ifr_name, spec_.ifname.data(), spec_.ifname.size());
    if (ioctl(tap_.get(), TUNSETIFF, &request) != 0) {
      if (errno == EBUSY || errno == EEXIST) host_.NotMade(spec_.ifname);
      *error = Errno("cannot make the TAP device " + spec_.ifname);
      return false;
    }
    group_index_ = netlink::IndexOf(nl, spec_.ifname);
    // The host may hand over frames with the checksum and the segmenting left to do: the
    // member's kernel does them, as it would for the host's own frames.
    const unsigned offloads = TUN_F_CSUM | TUN_F_TSO4 | TUN_F_TSO6;
    const int header_size = sizeof(virtio_net_hdr);
    if (ioctl(tap_.get(), TUNSETVNETHDRSZ, &header_size) != 0 ||
        ioctl(tap_.get(), TUNSETOFFLOAD, offloads) != 0) {
      *error = Errno("cannot set the offloads of " + spec_.ifname);
      return false;
    }
    if (!SetCarrier(false, error)) return false;
    netlink::Status status = netlink::SetLinkAddress(nl, group_index_, host_.mac());
    for (size_t i = 0; status.ok() && i < host_.member_count(); ++i) {
      if (!host_.AddMemberClsact(i, error)) return false;
      status =
          netlink::AddDropFilter(nl, host_.member_index(i), netlink::Hook::kIngress, kDropPriority);
    }
    if (!status.ok()) {
      *error = status.text();
      return false;
    }
    TakeOptions take;
    take.mac.assign(host_.mac().begin(), host_.mac().end());
    if (!host_.TakeMembers(take, error)) return false;
    for (size_t i = 0; i < host_.member_count(); ++i) {
      Descriptor sock;
      if (!OpenMemberSocket(host_.member_index(i), &sock, error)) return false;
      members_.push_back(std::move(sock));
    }
    if (!SetGroupAddresses(nl, group_index_, spec_.addresses, error)) return false;
    if (status = netlink::SetLinkUp(nl, group_index_, true); !status.ok()) {
      *error = status.text();
      return false;
    }
    return StartForwarder(error);
  }

  bool SetCarrier(bool on, std::string* error) {
    int carrier = on ? 1 : 0;
    if (ioctl(tap_.get(), TUNSETCARRIER, &carrier) == 0) return true;
    *error = Errno("cannot set the carrier of " + spec_.ifname);
    return false;
  }

  bool StartForwarder(std::string* error) {
    stop_ = Descriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    epoll_ = Descriptor(epoll_create1(EPOLL_CLOEXEC));
    if (stop_.get() < 0 || epoll_.get() < 0) {
      *error = Errno("cannot make the tap's event loop");
      return false;
    }
    // The token of each descriptor: -2 stop, -1 the TAP, i >= 0 member i.
    auto watch = [&](int fd, int token) {
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.u64 = static_cast<uint64_t>(static_cast<int64_t>(token));
      return epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) == 0;
    };
    bool watched = watch(stop_.get(), -2) && watch(tap_.get(), -1);
    for (size_t i = 0; watched && i < members_.size(); ++i)
      watched = watch(members_[i].get(), static_cast<int>(i));
    if (!watched) {
      *error = Errno("cannot watch the tap's descriptors");
      return false;
    }
    forwarder_ = std::thread([this] { Forward(); });
    return true;
  }

  // The forwarding thread: until told to stop, moves what is readable, as the header says.
  void Forward() {
    Frame frame;
    epoll_event events[16];
    for (;;) {
      const int ready = epoll_wait(epoll_.get(), events, 16, -1);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        LogLine(Errno("group " + spec_.ifname + ": the tap's event loop failed"));
        return;
      }
      for (int i = 0; i < ready; ++i) {
        const auto token = static_cast<int>(static_cast<int64_t>(events[i].data.u64));
        if (token == -2) return;
        if (token == -1) {
          FromGroup(&frame);
        } else {
          FromMember(token, &frame);
        }
      }
    }
  }

  void FromGroup(Frame* frame) {
    for (;;) {
      iovec parts[2] = {{&frame->header, sizeof frame->header},
                        {frame->bytes.data(), frame->bytes.size()}};
      const ssize_t got = readv(tap_.get(), parts, 2);
      if (got <= static_cast<ssize_t>(sizeof frame->header)) return;
      const int active = active_.load(std::memory_order_relaxed);
      if (active < 0) continue;
      parts[1].iov_len = static_cast<size_t>(got) - sizeof frame->header;
      msghdr message{};
      message.msg_iov = parts;
      message.msg_iovlen = 2;
      // A full queue or a link that just went away loses this frame, as a wire would.
      if (sendmsg(members_[active].get(), &message, 0) < 0) continue;
    }
  }

  void FromMember(int member, Frame* frame) {
    for (;;) {
      size_t size = 0;
      const size_t start = ReceiveFrame(members_[member].get(), frame, &size);
      if (start == kSkipped) continue;
      if (size == 0) return;
      if (member != active_.load(std::memory_order_relaxed)) continue;
      iovec parts[2] = {{&frame->header, sizeof frame->header},
                        {frame->bytes.data() + start, size}};
      if (writev(tap_.get(), parts, 2) < 0) continue;  // lost, as on a wire
    }
  }

  std::atomic<int> active_{-1};
  Descriptor tap_;
  std::vector<Descriptor> members_;  // packet sockets, by member
  Descriptor stop_;
  Descriptor epoll_;
  std::thread forwarder_;
};

}  // namespace

std::unique_ptr<DataPath> MakeTapDataPath(std::unique_ptr<netlink::Channel> channel,
                                          const std::filesystem::path& journal) {
  return std::make_unique<TapDataPath>(std::move(channel), journal);
}

}  // namespace pairway::driver
