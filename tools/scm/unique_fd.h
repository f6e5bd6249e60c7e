// unique_fd.h: a file descriptor that closes itself.
#ifndef PAIRWAY_TOOLS_SCM_UNIQUE_FD_H
#define PAIRWAY_TOOLS_SCM_UNIQUE_FD_H

#include <unistd.h>

#include <utility>

namespace pairway::scm {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

}  // namespace pairway::scm

#endif  // PAIRWAY_TOOLS_SCM_UNIQUE_FD_H
