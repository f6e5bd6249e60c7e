// Frame encoding and blocking frame I/O for the service control manager's protocol.
#include "services/scm_wire.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace pairway::scm {
namespace {

void PutU32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint32_t GetU32(const char* p) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(p[i]);
  return value;
}

bool ValidBodyLength(uint32_t length) { return length >= 4 && length <= kMaxFrameBody; }

}  // namespace

FrameWriter::FrameWriter(MessageKind kind) {
  PutU32(&bytes_, 0);  // length, filled in by Bytes()
  PutU32(&bytes_, static_cast<uint32_t>(kind));
}

FrameWriter& FrameWriter::U32(uint32_t value) {
  PutU32(&bytes_, value);
  return *this;
}

FrameWriter& FrameWriter::Text(const std::string& text) {
  size_t length = std::min<size_t>(text.size(), kMaxText);
  PutU32(&bytes_, static_cast<uint32_t>(length));
  bytes_.append(text, 0, length);
  return *this;
}

FrameWriter& FrameWriter::Status(const SERVICE_STATUS& s) {
  return U32(s.dwServiceType)
      .U32(s.dwCurrentState)
      .U32(s.dwControlsAccepted)
      .U32(s.dwWin32ExitCode)
      .U32(s.dwServiceSpecificExitCode)
      .U32(s.dwCheckPoint)
      .U32(s.dwWaitHint);
}

const std::string& FrameWriter::Bytes() {
  uint32_t length = static_cast<uint32_t>(bytes_.size() - 4);
  for (int i = 0; i < 4; ++i) bytes_[i] = static_cast<char>((length >> (8 * i)) & 0xff);
  return bytes_;
}

bool FrameReader::U32(uint32_t* value) {
  if (!ok_ || body_.size() - offset_ < 4) return ok_ = false;
  *value = GetU32(body_.data() + offset_);
  offset_ += 4;
  return true;
}

bool FrameReader::Kind(MessageKind* kind) {
  uint32_t raw = 0;
  if (!U32(&raw)) return false;
  *kind = static_cast<MessageKind>(raw);
  return true;
}

bool FrameReader::Text(std::string* text) {
  uint32_t length = 0;
  if (!U32(&length)) return false;
  if (length > kMaxText || body_.size() - offset_ < length) return ok_ = false;
  text->assign(body_, offset_, length);
  offset_ += length;
  if (text->find('\0') != std::string::npos) return ok_ = false;
  return true;
}

bool FrameReader::Status(SERVICE_STATUS* s) {
  return U32(&s->dwServiceType) && U32(&s->dwCurrentState) && U32(&s->dwControlsAccepted) &&
         U32(&s->dwWin32ExitCode) && U32(&s->dwServiceSpecificExitCode) && U32(&s->dwCheckPoint) &&
         U32(&s->dwWaitHint);
}

std::optional<std::string> FrameBuffer::Next(bool* malformed) {
  *malformed = false;
  if (pending_.size() < 4) return std::nullopt;
  uint32_t length = GetU32(pending_.data());
  if (!ValidBodyLength(length)) {
    *malformed = true;
    return std::nullopt;
  }
  if (pending_.size() - 4 < length) return std::nullopt;
  std::string body = pending_.substr(4, length);
  pending_.erase(0, 4 + static_cast<size_t>(length));
  return body;
}

bool SendFrame(int fd, const std::string& frame) {
  size_t done = 0;
  while (done < frame.size()) {
    ssize_t n = send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

bool ReadExactly(int fd, char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReceiveFrame(int fd, std::string* body) {
  char header[4];
  if (!ReadExactly(fd, header, sizeof header)) return false;
  uint32_t length = GetU32(header);
  if (!ValidBodyLength(length)) return false;
  body->resize(length);
  return ReadExactly(fd, body->data(), length);
}

}  // namespace pairway::scm
