// Encoding and checked decoding of the agent channel's messages.
#include "agent_channel.h"

#include <cstring>

namespace snmphost::channel {
namespace {

// SNMPv2's highest error status (inconsistentName).
constexpr int32_t kHighestErrorStatus = 18;
constexpr uint32_t kMaxOctets = 65535;

class Writer {
 public:
  explicit Writer(uint8_t tag) { bytes_.push_back(tag); }
  void U8(uint8_t value) { bytes_.push_back(value); }
  void U32(uint32_t value) { Raw(&value, sizeof value); }
  void U64(uint64_t value) { Raw(&value, sizeof value); }
  void Name(const Oid& name) {
    U32(static_cast<uint32_t>(name.size()));
    Raw(name.data(), name.size() * sizeof(uint32_t));
  }
  void Data(const Value& value) {
    U8(static_cast<uint8_t>(value.type));
    U64(static_cast<uint64_t>(value.integer));
    U64(value.number);
    U32(static_cast<uint32_t>(value.octets.size()));
    Raw(value.octets.data(), value.octets.size());
    Name(value.object);
  }
  void Raw(const void* data, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), bytes, bytes + length);
  }
  size_t size() const { return bytes_.size(); }
  Message Take() { return std::move(bytes_); }

 private:
  Message bytes_;
};

// Reads past the tag; every read fails once the message is exhausted.
class Reader {
 public:
  explicit Reader(const Message& message) : message_(message), at_(1) {}
  bool U8(uint8_t* out) { return Raw(out, 1); }
  bool U32(uint32_t* out) { return Raw(out, sizeof *out); }
  bool U64(uint64_t* out) { return Raw(out, sizeof *out); }
  bool Name(Oid* out) {
    uint32_t count = 0;
    if (!U32(&count) || count > kMaxOidLength) return false;
    out->resize(count);
    return Raw(out->data(), count * sizeof(uint32_t));
  }
  bool Data(Value* out) {
    uint8_t type = 0;
    uint64_t integer = 0;
    uint32_t length = 0;
    if (!U8(&type) || type > static_cast<uint8_t>(ValueType::kUnsigned32) || !U64(&integer) ||
        !U64(&out->number) || !U32(&length) || length > kMaxOctets) {
      return false;
    }
    out->type = static_cast<ValueType>(type);
    out->integer = static_cast<int64_t>(integer);
    out->octets.resize(length);
    if (!Raw(out->octets.data(), length) || !Name(&out->object)) return false;
    switch (out->type) {
      case ValueType::kInteger:
        return out->integer >= INT32_MIN && out->integer <= INT32_MAX;
      case ValueType::kCounter32:
      case ValueType::kGauge32:
      case ValueType::kTimeTicks:
      case ValueType::kUnsigned32:
        return out->number <= UINT32_MAX;
      case ValueType::kIpAddress:
        return out->octets.size() == 4;
      default:
        return true;
    }
  }
  bool Rest(std::string* out) {
    out->assign(message_.begin() + static_cast<ptrdiff_t>(at_), message_.end());
    at_ = message_.size();
    return true;
  }
  bool AtEnd() const { return at_ == message_.size(); }

 private:
  bool Raw(void* out, size_t length) {
    if (message_.size() - at_ < length) return false;
    if (length > 0) memcpy(out, message_.data() + at_, length);
    at_ += length;
    return true;
  }
  const Message& message_;
  size_t at_;
};

bool Tagged(const Message& message, Tag tag) {
  return !message.empty() && message[0] == static_cast<uint8_t>(tag);
}

}  // namespace

Message Request(Op op, const Oid& name, const Value& value, uint8_t ahead) {
  Writer out(static_cast<uint8_t>(op));
  out.U8(ahead);
  out.Name(name);
  if (op == Op::kSet) out.Data(value);
  return out.Take();
}

Message Hello(LoadResult result, const Oid& view) {
  Writer out(static_cast<uint8_t>(Tag::kHello));
  out.U32(kHelloMagic);
  out.U8(static_cast<uint8_t>(result));
  out.Name(view);
  return out.Take();
}

Message LogLine(const std::string& line) {
  Writer out(static_cast<uint8_t>(Tag::kLog));
  out.Raw(line.data(), std::min(line.size(), kMaxMessage - 1));
  return out.Take();
}

Message AnswerMessage(const std::vector<Answer>& answers) {
  Writer out(static_cast<uint8_t>(Tag::kAnswer));
  out.U8(0);
  uint8_t count = 0;
  for (const Answer& answer : answers) {
    size_t size = 1 + 4 + 4 + answer.name.size() * 4 + 1 + 8 + 8 + 4 + answer.value.octets.size() +
                  4 + answer.value.object.size() * 4;
    if (count > kMaxAhead || (count > 0 && out.size() + size > kMaxMessage)) break;
    out.U8(static_cast<uint8_t>(answer.kind));
    out.U32(static_cast<uint32_t>(answer.error_status));
    out.Name(answer.name);
    out.Data(answer.value);
    ++count;
  }
  Message message = out.Take();
  message[1] = count;
  return message;
}

bool ReadTag(const Message& message, Tag* tag) {
  if (message.empty()) return false;
  switch (static_cast<Tag>(message[0])) {
    case Tag::kHello:
    case Tag::kLog:
    case Tag::kAnswer:
      *tag = static_cast<Tag>(message[0]);
      return true;
  }
  return false;
}

bool ReadRequest(const Message& message, Op* op, Oid* name, Value* value, uint8_t* ahead) {
  if (message.empty()) return false;
  *op = static_cast<Op>(message[0]);
  if (*op != Op::kGet && *op != Op::kGetNext && *op != Op::kSet) return false;
  Reader in(message);
  if (!in.U8(ahead) || *ahead > kMaxAhead || (*ahead > 0 && *op != Op::kGetNext) ||
      !in.Name(name)) {
    return false;
  }
  *value = Value();
  if (*op == Op::kSet && !in.Data(value)) return false;
  return in.AtEnd();
}

bool ReadHello(const Message& message, LoadResult* result, Oid* view) {
  if (!Tagged(message, Tag::kHello)) return false;
  Reader in(message);
  uint32_t magic = 0;
  uint8_t code = 0;
  if (!in.U32(&magic) || magic != kHelloMagic || !in.U8(&code) || !in.Name(view)) return false;
  switch (static_cast<LoadResult>(code)) {
    case LoadResult::kServed:
    case LoadResult::kNotLoaded:
    case LoadResult::kNoEntryPoints:
    case LoadResult::kDeclined:
    case LoadResult::kBadView:
      *result = static_cast<LoadResult>(code);
      break;
    default:
      return false;
  }
  // A served agent has a view of its own; the others report none.
  return in.AtEnd() && (*result == LoadResult::kServed) == !view->empty();
}

bool ReadLogLine(const Message& message, std::string* line) {
  if (!Tagged(message, Tag::kLog)) return false;
  Reader in(message);
  return in.Rest(line);
}

bool ReadAnswers(const Message& message, std::vector<Answer>* answers) {
  if (!Tagged(message, Tag::kAnswer)) return false;
  Reader in(message);
  uint8_t count = 0;
  if (!in.U8(&count) || count == 0 || count > 1 + kMaxAhead) return false;
  answers->resize(count);
  for (Answer& answer : *answers) {
    uint8_t kind = 0;
    uint32_t status = 0;
    if (!in.U8(&kind) || kind > static_cast<uint8_t>(Answer::Kind::kError) || !in.U32(&status) ||
        !in.Name(&answer.name) || !in.Data(&answer.value)) {
      return false;
    }
    answer.kind = static_cast<Answer::Kind>(kind);
    answer.error_status = static_cast<int32_t>(status);
    bool status_fits = answer.kind == Answer::Kind::kError
                           ? answer.error_status > 0 && answer.error_status <= kHighestErrorStatus
                           : answer.error_status == 0;
    if (!status_fits) return false;
  }
  return in.AtEnd();
}

}  // namespace snmphost::channel
