// scm_wire.h: the protocol between the service control manager (pairway-scm), its clients and the
// service processes it starts.
//
// Transport. Clients reach the daemon through the Unix stream socket SocketDir(root)/"scm.sock".
// A service process reaches it through one end of a socketpair that the daemon created when it
// started the process; the end's descriptor number is in the environment variable
// PAIRWAY_SCM_CHANNEL. Nothing else can connect to that channel, which is how the daemon knows
// that a dispatcher speaks for the process it started.
//
// Framing. Every message is one frame:
//
//   offset  size  field
//   0       4     body length N, unsigned little-endian, 4 <= N <= kMaxFrameBody
//   4       4     kind (MessageKind), unsigned little-endian
//   8       N-4   fields of that kind, in the order listed below
//
// Fields are u32 (4 bytes little-endian) or text (u32 length L <= kMaxText, then L bytes, no
// terminator, no NUL inside). A frame whose length is out of range, whose kind is unknown or
// whose fields do not fill the body exactly is malformed: the receiver closes that connection
// (and only that one) and logs it.
//
// Client conversation: the client sends one request and reads exactly one kReply before the next.
//   kOpenManager    access
//   kCreate         name, display name, access, type, start, error control, image path
//   kOpenService    name, access
//   kStart          name, argc (<= kMaxArgs), argc texts
//   kControl        name, control code
//   kQuery          name
//   kDelete         name
//   kShutdown       (none)          the reply comes when the shutdown sequence has ended
//   kQueryEx        name            answered by kReplyEx
//   kEnumerate      type mask, state mask, first   answered by kEnumReply
//   kReply          error, then SERVICE_STATUS as 7 u32 (type, state, accepted, win32 exit,
//                   service exit, check point, wait hint)
//   kReplyEx        error, SERVICE_STATUS (7 u32), process id (0 when none runs)
//   kEnumReply      error, total, then entries up to the end of the frame, each: name, display
//                   name, SERVICE_STATUS (7 u32), process id. The services that match, in the
//                   order of their names, from the first-th on: as many as fit in one frame (at
//                   least one while any is left), `total` of them in all. The client asks again
//                   from first + the entries it got.
//
// Service channel, both directions, no replies except where named:
//   kHello          pid                       service -> daemon: the dispatcher is connected
//   kStartService   name, argc, argc texts    daemon -> service: run this service's main
//   kStatus         SERVICE_STATUS (7 u32)    service -> daemon: SetServiceStatus
//   kDeliver        control code              daemon -> service: call the control handler
//   kDelivered      control code              service -> daemon: the handler has returned
//
// The daemon never blocks on one peer: it reads whatever arrived, keeps partial frames per
// connection, and a peer that never speaks only holds its own connection.
#ifndef PAIRWAY_SERVICES_SCM_WIRE_H
#define PAIRWAY_SERVICES_SCM_WIRE_H

#include <winsvc.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pairway/api.h"

namespace pairway::scm {

inline constexpr uint32_t kMaxFrameBody = 64 * 1024;
inline constexpr uint32_t kMaxText = 4096;
inline constexpr uint32_t kMaxArgs = 64;
inline constexpr char kSocketName[] = "scm.sock";
inline constexpr char kChannelVariable[] = "PAIRWAY_SCM_CHANNEL";

enum class MessageKind : uint32_t {
  kOpenManager = 1,
  kCreate = 2,
  kOpenService = 3,
  kStart = 4,
  kControl = 5,
  kQuery = 6,
  kDelete = 7,
  kShutdown = 8,
  kQueryEx = 9,
  kEnumerate = 10,
  kReply = 20,
  kReplyEx = 21,
  kEnumReply = 22,
  kHello = 40,
  kStartService = 41,
  kStatus = 42,
  kDeliver = 43,
  kDelivered = 44,
};

// Builds one frame. Texts longer than kMaxText are cut there; the callers validate names first.
class PAIRWAY_API FrameWriter {
 public:
  explicit FrameWriter(MessageKind kind);
  FrameWriter& U32(uint32_t value);
  FrameWriter& Text(const std::string& text);
  FrameWriter& Status(const SERVICE_STATUS& status);
  // The finished frame, header included.
  const std::string& Bytes();

 private:
  std::string bytes_;
};

// Reads the fields of one frame body (after the length). Every getter returns false once the
// body is exhausted or a field is out of range; Finish() is true only when every byte was used.
class PAIRWAY_API FrameReader {
 public:
  explicit FrameReader(std::string body) : body_(std::move(body)) {}
  bool Kind(MessageKind* kind);
  bool U32(uint32_t* value);
  bool Text(std::string* text);
  bool Status(SERVICE_STATUS* status);
  bool Finish() const { return ok_ && offset_ == body_.size(); }

 private:
  std::string body_;
  size_t offset_ = 0;
  bool ok_ = true;
};

// Accumulates bytes from a stream and cuts complete frames out of it.
class PAIRWAY_API FrameBuffer {
 public:
  void Append(const char* data, size_t size) { pending_.append(data, size); }
  // The next complete frame body, nullopt when none is complete yet. Sets *malformed when the
  // announced length is out of range; the stream is then beyond repair.
  std::optional<std::string> Next(bool* malformed);

 private:
  std::string pending_;
};

// Blocking helpers for the client and service sides (EINTR retried, MSG_NOSIGNAL). False when
// the peer has gone or sent a malformed frame.
PAIRWAY_API bool SendFrame(int fd, const std::string& frame);
PAIRWAY_API bool ReceiveFrame(int fd, std::string* body);

// True for the service states 1 (STOPPED) to 7 (PAUSED).
inline bool ValidState(uint32_t state) {
  return state >= SERVICE_STOPPED && state <= SERVICE_PAUSED;
}

}  // namespace pairway::scm

#endif  // PAIRWAY_SERVICES_SCM_WIRE_H
