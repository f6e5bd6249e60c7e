// Requests, dumps and notifications over one libmnl socket; see socket.h.
#include "netlink/socket.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace pairway::netlink {
namespace {

// What one datagram of an answer starts at before it grows to fit a larger one.
constexpr size_t kInitialReceiveBytes = 32768;

void TurnOn(mnl_socket* socket, int option) {
  int on = 1;
  // Older kernels lack these; errors are then only less explained, so failure is not fatal.
  (void)mnl_socket_setsockopt(socket, option, &on, sizeof on);
}

}  // namespace

Socket::~Socket() {
  if (socket_ != nullptr) mnl_socket_close(socket_);
}

Socket::Socket(Socket&& other) noexcept
    : socket_(std::exchange(other.socket_, nullptr)),
      port_id_(other.port_id_),
      next_sequence_(other.next_sequence_),
      buffer_(std::move(other.buffer_)),
      buffer_words_(std::exchange(other.buffer_words_, 0)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    if (socket_ != nullptr) mnl_socket_close(socket_);
    socket_ = std::exchange(other.socket_, nullptr);
    port_id_ = other.port_id_;
    next_sequence_ = other.next_sequence_;
    buffer_ = std::move(other.buffer_);
    buffer_words_ = std::exchange(other.buffer_words_, 0);
  }
  return *this;
}

Status Socket::Open() {
  if (socket_ != nullptr) mnl_socket_close(std::exchange(socket_, nullptr));
  mnl_socket* opened = mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC);
  if (opened == nullptr) return Status::Error(errno).Context("opening a netlink socket");
  if (mnl_socket_bind(opened, 0, MNL_SOCKET_AUTOPID) < 0) {
    const int error = errno;
    mnl_socket_close(opened);
    return Status::Error(error).Context("binding a netlink socket");
  }
  TurnOn(opened, NETLINK_EXT_ACK);
  TurnOn(opened, NETLINK_CAP_ACK);  // errors need not echo the whole request back
  socket_ = opened;
  port_id_ = mnl_socket_get_portid(opened);
  return {};
}

int Socket::fd() const { return socket_ != nullptr ? mnl_socket_get_fd(socket_) : -1; }

Status Socket::Send(Request& request, uint16_t flags, uint32_t* sequence) {
  if (socket_ == nullptr) return Status::Error(EBADF, "the netlink socket is not open");
  if (request.overflowed()) return Status::Error(EMSGSIZE, "the request outgrew its buffer");
  nlmsghdr* header = request.message();
  header->nlmsg_flags = static_cast<uint16_t>(header->nlmsg_flags | flags);
  header->nlmsg_seq = *sequence = next_sequence_++;
  header->nlmsg_pid = 0;
  if (mnl_socket_sendto(socket_, header, header->nlmsg_len) < 0) return Status::Error(errno);
  return {};
}

Status Socket::Receive(int flags, size_t* received) {
  // Peeking first gives the datagram's whole length, so that nothing of it is cut off.
  const ssize_t pending = recv(fd(), nullptr, 0, MSG_PEEK | MSG_TRUNC | flags);
  if (pending < 0) return Status::Error(errno);
  const size_t words = std::max(static_cast<size_t>(pending) / sizeof(uint32_t) + 1,
                                kInitialReceiveBytes / sizeof(uint32_t));
  if (buffer_words_ < words) {
    buffer_.reset(new uint32_t[words]);
    buffer_words_ = words;
  }
  const ssize_t got = mnl_socket_recvfrom(socket_, buffer_.get(), buffer_words_ * sizeof(uint32_t));
  if (got < 0) return Status::Error(errno);
  *received = static_cast<size_t>(got);
  return {};
}

Status Socket::WalkAnswer(size_t received, uint32_t sequence, const MessageHandler& handler,
                          bool* finished) {
  int length = static_cast<int>(received);
  Status outcome;
  for (const auto* message = reinterpret_cast<const nlmsghdr*>(buffer_.get());
       mnl_nlmsg_ok(message, length); message = mnl_nlmsg_next(message, &length)) {
    // Anything else on the socket (a late answer to an earlier request) is not ours.
    if (message->nlmsg_seq != sequence || !mnl_nlmsg_portid_ok(message, port_id_)) continue;
    if (message->nlmsg_flags & NLM_F_DUMP_INTR) outcome = Status::Error(EINTR, "the table changed");
    switch (message->nlmsg_type) {
      case NLMSG_NOOP:
        break;
      case NLMSG_ERROR:
        *finished = true;
        return AcknowledgementStatus(message);
      case NLMSG_DONE: {
        *finished = true;
        if (mnl_nlmsg_get_payload_len(message) >= sizeof(int)) {
          const int error = *static_cast<const int*>(mnl_nlmsg_get_payload(message));
          if (error < 0) return Status::Error(-error);
        }
        return outcome;
      }
      default:
        if (handler) handler(message);
    }
  }
  return outcome;
}

Status Socket::Call(Request& request, const MessageHandler& on_reply) {
  // RTM_GETLINK, RTM_GETADDR, ...: each family's get is its new + 2.
  const bool reads = request.message()->nlmsg_type >= RTM_BASE &&
                     request.message()->nlmsg_type % 4 == RTM_GETLINK % 4;
  uint32_t sequence = 0;
  if (Status sent = Send(request, reads ? 0 : NLM_F_ACK, &sequence); !sent.ok()) return sent;
  bool finished = false;
  bool answered = false;
  const MessageHandler handler = [&](const nlmsghdr* message) {
    answered = true;
    if (on_reply) on_reply(message);
  };
  while (!finished && !(reads && answered)) {
    size_t received = 0;
    if (Status got = Receive(0, &received); !got.ok()) return got;
    Status walked = WalkAnswer(received, sequence, handler, &finished);
    if (finished) return walked;
  }
  return {};
}

Status Socket::Dump(Request& request, const MessageHandler& on_message) {
  uint32_t sequence = 0;
  if (Status sent = Send(request, NLM_F_DUMP, &sequence); !sent.ok()) return sent;
  Status interrupted;
  bool finished = false;
  while (!finished) {
    size_t received = 0;
    if (Status got = Receive(0, &received); !got.ok()) return got;
    // An interrupted dump is still read to its end, so that nothing stale stays queued.
    Status walked = WalkAnswer(received, sequence, on_message, &finished);
    if (walked.code() == EINTR) {
      interrupted = walked;
    } else if (!walked.ok()) {
      return walked;
    }
  }
  return interrupted;
}

Status Socket::Subscribe(unsigned group) {
  if (socket_ == nullptr) return Status::Error(EBADF, "the netlink socket is not open");
  if (mnl_socket_setsockopt(socket_, NETLINK_ADD_MEMBERSHIP, &group, sizeof group) < 0)
    return Status::Error(errno).Context("joining a netlink group");
  const int flags = fcntl(fd(), F_GETFL);
  if (flags < 0 || fcntl(fd(), F_SETFL, flags | O_NONBLOCK) < 0)
    return Status::Error(errno).Context("making the netlink socket non-blocking");
  return {};
}

Status Socket::ReadNotifications(const MessageHandler& on_message) {
  if (socket_ == nullptr) return Status::Error(EBADF, "the netlink socket is not open");
  bool overrun = false;
  for (;;) {
    size_t received = 0;
    Status got = Receive(MSG_DONTWAIT, &received);
    if (got.code() == EAGAIN || got.code() == EWOULDBLOCK) break;
    if (got.code() == ENOBUFS) {
      overrun = true;  // the socket is usable again at once; keep reading what is left
      continue;
    }
    if (!got.ok()) return got;
    int length = static_cast<int>(received);
    for (const auto* message = reinterpret_cast<const nlmsghdr*>(buffer_.get());
         mnl_nlmsg_ok(message, length); message = mnl_nlmsg_next(message, &length)) {
      if (message->nlmsg_type >= NLMSG_MIN_TYPE && on_message) on_message(message);
    }
  }
  if (overrun) return Status::Error(ENOBUFS, "notifications were lost");
  return {};
}

Status AcknowledgementStatus(const nlmsghdr* message) {
  const size_t payload = mnl_nlmsg_get_payload_len(message);
  if (payload < sizeof(nlmsgerr)) return Status::Error(EPROTO, "a short acknowledgement");
  const auto* error = static_cast<const nlmsgerr*>(mnl_nlmsg_get_payload(message));
  if (error->error == 0) return {};
  std::string explanation;
  if (message->nlmsg_flags & NLM_F_ACK_TLVS) {
    size_t offset = sizeof(nlmsgerr);
    if (!(message->nlmsg_flags & NLM_F_CAPPED)) offset += error->msg.nlmsg_len - sizeof(nlmsghdr);
    if (offset <= payload) {
      Attributes attributes(message, offset, NLMSGERR_ATTR_MAX);
      explanation = attributes.String(NLMSGERR_ATTR_MSG);
    }
  }
  return Status::Error(-error->error, explanation);
}

}  // namespace pairway::netlink
