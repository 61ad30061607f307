// The one seam between the serial layer and the kernel: tests derive from it to
// make a chosen call fail, everything else goes straight to the system.
#pragma once

#include <poll.h>
#include <sys/epoll.h>
#include <sys/types.h>
#include <termios.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace quorvane {

// Each operation behaves exactly like the system call of the same name
// (-1 and errno on failure). Retrying on EINTR is the caller's job, so an
// injected EINTR exercises the retry loops too. Thread-safe: no state.
class SystemCalls {
 public:
  virtual ~SystemCalls() = default;

  virtual int Open(const char* path, int flags);
  virtual int Flock(int fd, int operation);
  virtual int Ioctl(int fd, unsigned long request, void* argument);
  virtual int Fcntl(int fd, int command, int argument);
  virtual int TcGetAttr(int fd, termios* settings);
  virtual int TcSetAttr(int fd, int when, const termios* settings);
  virtual int TcFlush(int fd, int queue);
  // Never retried: Linux has released the descriptor even when close fails,
  // and a retry could close one that another thread has just been given.
  virtual int Close(int fd);
  virtual ssize_t Read(int fd, void* buffer, std::size_t count);
  virtual ssize_t Write(int fd, const void* buffer, std::size_t count);
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
  virtual int EventFd(unsigned initial, int flags);
  virtual int InotifyInit1(int flags);
  virtual int InotifyAddWatch(int fd, const char* path, std::uint32_t mask);
  virtual int EpollCreate1(int flags);
  virtual int EpollCtl(int epollFd, int operation, int fd, epoll_event* event);
};

// The process-wide pass-through instance.
SystemCalls& RealSystemCalls();

// Runs call() until it fails with anything but EINTR.
template <typename Call>
auto RetryOnEintr(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

}  // namespace quorvane
