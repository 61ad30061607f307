// A move-only owner of one file descriptor, so no path can leak or double-close one.
#pragma once

#include <unistd.h>

#include <utility>

namespace quorvane {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueFd() { Reset(); }

  int Get() const noexcept { return m_fd; }
  bool Valid() const noexcept { return m_fd >= 0; }
  explicit operator bool() const noexcept { return Valid(); }

  int Release() noexcept { return std::exchange(m_fd, -1); }

  // close() is never retried on EINTR: Linux has already released the
  // descriptor, and a retry could close one another thread just received.
  void Reset(int fd = -1) noexcept {
    const int old = std::exchange(m_fd, fd);
    if (old >= 0) ::close(old);
  }

 private:
  int m_fd = -1;
};

}  // namespace quorvane
