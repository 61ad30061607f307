// Pass-through implementation of the system-call seam.
#include "serial/posix/system_calls.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quorvane {

int SystemCalls::Open(const char* path, int flags) { return ::open(path, flags); }
int SystemCalls::Flock(int fd, int operation) { return ::flock(fd, operation); }
int SystemCalls::Ioctl(int fd, unsigned long request, void* argument) {
  return ::ioctl(fd, request, argument);
}
int SystemCalls::Fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
int SystemCalls::TcGetAttr(int fd, termios* settings) { return ::tcgetattr(fd, settings); }
int SystemCalls::TcSetAttr(int fd, int when, const termios* settings) {
  return ::tcsetattr(fd, when, settings);
}
int SystemCalls::TcFlush(int fd, int queue) { return ::tcflush(fd, queue); }
int SystemCalls::Close(int fd) { return ::close(fd); }
ssize_t SystemCalls::Read(int fd, void* buffer, std::size_t count) {
  return ::read(fd, buffer, count);
}
ssize_t SystemCalls::Write(int fd, const void* buffer, std::size_t count) {
  return ::write(fd, buffer, count);
}
int SystemCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  return ::poll(fds, count, timeoutMs);
}
int SystemCalls::EventFd(unsigned initial, int flags) { return ::eventfd(initial, flags); }
int SystemCalls::InotifyInit1(int flags) { return ::inotify_init1(flags); }
int SystemCalls::InotifyAddWatch(int fd, const char* path, std::uint32_t mask) {
  return ::inotify_add_watch(fd, path, mask);
}
int SystemCalls::EpollCreate1(int flags) { return ::epoll_create1(flags); }
int SystemCalls::EpollCtl(int epollFd, int operation, int fd, epoll_event* event) {
  return ::epoll_ctl(epollFd, operation, fd, event);
}

SystemCalls& RealSystemCalls() {
  static SystemCalls calls;
  return calls;
}

}  // namespace quorvane
