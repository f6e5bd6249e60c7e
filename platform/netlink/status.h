// status.h: the result of one netlink call.
//
// A Status is either ok or carries the kernel's error as an errno value with a text for people:
// the operation, strerror's words and, when the kernel gave one, its own explanation (the
// extended acknowledgement), e.g. "creating veth g0: File exists (EEXIST)", or with the kernel's
// own words "adding filter on m1: Invalid argument (EINVAL): Filter kind and protocol must not
// change". Callers branch on code() only; the text is for logs and error messages and may change.
#ifndef PAIRWAY_NETLINK_STATUS_H
#define PAIRWAY_NETLINK_STATUS_H

#include <string>
#include <string_view>
#include <utility>

namespace pairway::netlink {

class [[nodiscard]] Status {
 public:
  Status() = default;  // ok

  // code is an errno value (never 0). The text is "<strerror(code)> (<ERRNO NAME>)", then
  // ": <detail>" when detail is not empty.
  static Status Error(int code, std::string_view detail = {});

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }  // 0 when ok
  const std::string& text() const { return text_; }

  // The same status with "<what>: " before its text; an ok status stays ok.
  Status Context(std::string_view what) const;

 private:
  Status(int code, std::string text) : code_(code), text_(std::move(text)) {}

  int code_ = 0;
  std::string text_;
};

}  // namespace pairway::netlink

#endif  // PAIRWAY_NETLINK_STATUS_H
