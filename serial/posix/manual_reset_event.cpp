// eventfd-backed manual-reset events and the wait over several of them.
#include "serial/posix/manual_reset_event.h"

#include <sys/eventfd.h>

#include <array>
#include <cstdint>

namespace quorvane {

bool ManualResetEvent::Create() {
  const int fd = m_sys->EventFd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return false;
  std::lock_guard lock(m_mutex);
  m_fd.Reset(fd);
  m_set = false;
  return true;
}

void ManualResetEvent::Set() {
  std::lock_guard lock(m_mutex);
  if (m_set) return;
  m_set = true;
  const std::uint64_t one = 1;
  RetryOnEintr([&] { return m_sys->Write(m_fd.Get(), &one, sizeof one); });
}

void ManualResetEvent::Reset() {
  std::lock_guard lock(m_mutex);
  if (!m_set) return;
  m_set = false;
  std::uint64_t count = 0;
  RetryOnEintr([&] { return m_sys->Read(m_fd.Get(), &count, sizeof count); });
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard lock(m_mutex);
  return m_set;
}

WaitResult WaitAny(SystemCalls& sys, const int* fds, int count) {
  WaitResult result;
  if (count < 1 || count > kMaxWaitSlots) {
    result.error = EINVAL;
    return result;
  }
  std::array<pollfd, kMaxWaitSlots> set{};
  for (int i = 0; i < count; ++i) set[i] = pollfd{fds[i], POLLIN, 0};
  const int ready = RetryOnEintr([&] { return sys.Poll(set.data(), count, -1); });
  if (ready < 0) {
    result.error = errno;
    return result;
  }
  for (int i = 0; i < count; ++i) {
    if (set[i].revents != 0) {
      result.kind = WaitResult::kReady;
      result.index = i;
      result.revents = set[i].revents;
      return result;
    }
  }
  return result;  // poll returned without a ready slot: treated as a failed wait
}

}  // namespace quorvane
