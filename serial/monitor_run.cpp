#include "serial/monitor_run.h"

#include <system_error>
#include <utility>

namespace quorvane {

bool MonitorRun::Start(std::function<void()> body) {
  {
    std::lock_guard lock(m_mutex);
    if (m_running) return false;
    m_running = true;
  }
  Join();  // a thread that ended by itself is reaped here
  try {
    m_thread = std::thread(std::move(body));
  } catch (const std::system_error&) {
    std::lock_guard lock(m_mutex);
    m_running = false;
    return false;
  }
  return true;
}

bool MonitorRun::Running() const {
  std::lock_guard lock(m_mutex);
  return m_running;
}

bool MonitorRun::WaitStopped(std::chrono::milliseconds period) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, period, [&] { return !m_running; });
}

void MonitorRun::StopWithoutPumping(const std::function<void()>& signalStop) {
  std::unique_lock lock(m_mutex);
  while (m_running) {
    lock.unlock();
    signalStop();
    lock.lock();
    m_changed.wait(lock, [&] { return !m_running; });
  }
  lock.unlock();
  Join();
}

void MonitorRun::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void MonitorRun::MarkStopped() {
  std::lock_guard lock(m_mutex);
  m_running = false;
  // Notified under the lock: the waiter may destroy the link as soon as it
  // sees the flag clear.
  m_changed.notify_all();
}

}  // namespace quorvane
