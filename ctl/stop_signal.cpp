// The platform-independent half of StopSignal: passing a request on.
#include "ctl/stop_signal.h"

namespace quorvane::ctl {

void StopSignal::Listen(std::function<void()> listener) {
  std::lock_guard lock(m_mutex);
  m_listener = std::move(listener);
  if (m_raised && m_listener) m_listener();
}

void StopSignal::Raise() {
  std::lock_guard lock(m_mutex);
  m_raised = true;
  if (m_listener) m_listener();
}

}  // namespace quorvane::ctl
