// eventfd-backed manual-reset events and the wait over several of them.
#include "serial/manual_reset_event.h"

#include <sys/eventfd.h>

#include <cstdint>
#include <vector>

namespace quorvane {

bool ManualResetEvent::Create() {
  const int fd = m_sys->EventFd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return false;
  m_fd.Reset(fd);
  return true;
}

void ManualResetEvent::Set() {
  const std::uint64_t one = 1;
  // EAGAIN means the counter is saturated: the event is set anyway.
  RetryOnEintr([&] { return m_sys->Write(m_fd.Get(), &one, sizeof one); });
}

void ManualResetEvent::Reset() {
  std::uint64_t count = 0;
  // One read empties the counter; EAGAIN means it was already clear.
  RetryOnEintr([&] { return m_sys->Read(m_fd.Get(), &count, sizeof count); });
}

bool ManualResetEvent::IsSet() const {
  pollfd p{m_fd.Get(), POLLIN, 0};
  const int ready = RetryOnEintr([&] { return m_sys->Poll(&p, 1, 0); });
  return ready > 0 && (p.revents & POLLIN) != 0;
}

WaitResult WaitAny(SystemCalls& sys, const int* fds, int count) {
  std::vector<pollfd> set(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) set[i] = pollfd{fds[i], POLLIN, 0};
  const int ready = RetryOnEintr([&] { return sys.Poll(set.data(), set.size(), -1); });
  WaitResult result;
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
