// socket.h: one rtnetlink socket, for requests or for notifications.
//
// A Socket belongs to the network namespace of the thread that opened it, for its whole life:
// open it on a thread that entered the namespace you mean. Keep requests and notifications on
// separate sockets: a socket that joined a multicast group mixes notifications into the answers
// of its requests, and Call and Dump drop messages that do not answer them.
//
// Every call returns a Status (status.h): ok, or the kernel's errno with its text. Common codes:
//   ENODEV      no such interface (link and address calls)
//   EEXIST      what NLM_F_EXCL asked to create exists
//   ENOENT      no such object (a filter, a qdisc, an address)
//   EOPNOTSUPP  the kernel lacks the link kind, qdisc, classifier or action
//   EPERM       the caller lacks CAP_NET_ADMIN
//   ENOBUFS     (ReadNotifications) the kernel dropped notifications: read the state afresh
//   EMSGSIZE    the request overflowed its buffer and was not sent
//   EBADF       the socket is not open
//
// Threads: one thread at a time per socket. The descriptor is closed with the object.
#ifndef PAIRWAY_NETLINK_SOCKET_H
#define PAIRWAY_NETLINK_SOCKET_H

#include <cstdint>
#include <functional>
#include <memory>

#include "netlink/message.h"
#include "netlink/status.h"

struct mnl_socket;

namespace pairway::netlink {

// Receives one message of an answer or a notification; it lives only during the call.
using MessageHandler = std::function<void(const nlmsghdr*)>;

// Where requests go: a Socket, or in tests a stand-in that records them and answers as the
// kernel would. Call and Dump are as Socket's below.
class Channel {
 public:
  virtual ~Channel() = default;
  virtual Status Call(Request& request, const MessageHandler& on_reply = {}) = 0;
  virtual Status Dump(Request& request, const MessageHandler& on_message) = 0;
};

class Socket final : public Channel {
 public:
  Socket() = default;
  ~Socket() override;
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Opens a NETLINK_ROUTE socket in the calling thread's namespace, asking the kernel for its
  // explanations of errors. Closes what this object held before. On failure the object is
  // closed.
  Status Open();
  bool is_open() const { return socket_ != nullptr; }
  int fd() const;  // -1 when closed

  // Sends `request` with NLM_F_ACK and waits for the kernel's acknowledgement. Messages that
  // answer the request before the acknowledgement (the filter a NLM_F_ECHO request echoes) go
  // to `on_reply`. Ok only when the kernel acknowledged with success. A request that reads
  // (RTM_GETLINK and the other RTM_GET types) is answered by its one message or an error, so
  // it is sent without NLM_F_ACK and the call ends with that answer. Blocks; the socket must
  // not be non-blocking.
  Status Call(Request& request, const MessageHandler& on_reply = {}) override;

  // Sends `request` with NLM_F_DUMP and passes every message of the answer to `on_message`
  // until the kernel says it is done. EINTR when the kernel reports that the table changed
  // while it was dumped (NLM_F_DUMP_INTR): what was passed may be inconsistent; dump again.
  Status Dump(Request& request, const MessageHandler& on_message) override;

  // Joins the multicast group `group` (RTNLGRP_LINK, ...) and makes the socket non-blocking,
  // for ReadNotifications. Calls on this socket block no more after this.
  Status Subscribe(unsigned group);

  // Reads every notification that is pending, without blocking, and passes each to
  // `on_message`. Ok when none is left. ENOBUFS when the kernel dropped some because they were
  // not read fast enough: what is pending is still read first, then ENOBUFS is returned once.
  Status ReadNotifications(const MessageHandler& on_message);

 private:
  // Receives one datagram whole, however large, into buffer_.
  Status Receive(int flags, size_t* received);
  // Sends the stamped request; the sequence number it was given in *sequence.
  Status Send(Request& request, uint16_t flags, uint32_t* sequence);
  // Walks one datagram of the answer to `sequence`. *finished when it held the end.
  Status WalkAnswer(size_t received, uint32_t sequence, const MessageHandler& handler,
                    bool* finished);

  mnl_socket* socket_ = nullptr;
  uint32_t port_id_ = 0;
  uint32_t next_sequence_ = 1;
  // 32-bit words (netlink messages are 4-byte aligned), made when first needed and grown to
  // the largest datagram seen; never cleared, as every byte read is one the kernel wrote.
  std::unique_ptr<uint32_t[]> buffer_;
  size_t buffer_words_ = 0;
};

// The status an acknowledgement (an NLMSG_ERROR message) carries: ok for error 0, else the
// errno with the kernel's explanation when the message has one.
Status AcknowledgementStatus(const nlmsghdr* message);

}  // namespace pairway::netlink

#endif  // PAIRWAY_NETLINK_SOCKET_H
