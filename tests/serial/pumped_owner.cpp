#include "tests/serial/pumped_owner.h"

#include <utility>

namespace quorvane::test {

void PumpedOwner::OnSerialByte(std::uint8_t byte, unsigned portNumber) {
  std::unique_lock lock(m_mutex);
  if (m_monitorTid == 0) m_monitorTid = CurrentThreadId();
  m_changed.wait(lock, [&] { return !m_deliveryWaiting; });
  m_deliveryWaiting = true;
  m_pendingByte = byte;
  m_pendingPort = portNumber;
  m_changed.notify_all();
  m_changed.wait(lock, [&] { return !m_deliveryWaiting; });
}

void PumpedOwner::PumpMessages() {
  std::lock_guard lock(m_mutex);
  if (!m_deliveryWaiting) return;
  m_received.push_back(m_pendingByte);
  m_ports.push_back(m_pendingPort);
  m_deliveryWaiting = false;
  m_changed.notify_all();
}

void PumpedOwner::ShowError(const std::string& text, const std::string& caption) {
  std::function<void()> action;
  {
    std::lock_guard lock(m_mutex);
    m_errors.push_back(text);
    m_captions.push_back(caption);
    m_errorShowing = true;
    m_changed.notify_all();
    action = m_onError;
  }
  if (action) action();
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [&] { return !m_holdErrors; });
  m_errorShowing = false;
}

void PumpedOwner::OnPortLost(unsigned portNumber) {
  std::lock_guard lock(m_mutex);
  m_lost.push_back(portNumber);
  m_changed.notify_all();
}

bool PumpedOwner::PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    PumpMessages();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, 5ms, [&] { return m_deliveryWaiting; });
  }
}

bool PumpedOwner::WaitForPendingDelivery(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] { return m_deliveryWaiting; });
}

void PumpedOwner::HoldErrors() {
  std::lock_guard lock(m_mutex);
  m_holdErrors = true;
}

void PumpedOwner::ReleaseErrors() {
  std::lock_guard lock(m_mutex);
  m_holdErrors = false;
  m_changed.notify_all();
}

void PumpedOwner::OnError(std::function<void()> action) {
  std::lock_guard lock(m_mutex);
  m_onError = std::move(action);
}

std::vector<std::uint8_t> PumpedOwner::Received() const {
  std::lock_guard lock(m_mutex);
  return m_received;
}
std::vector<unsigned> PumpedOwner::Ports() const {
  std::lock_guard lock(m_mutex);
  return m_ports;
}
std::vector<std::string> PumpedOwner::Errors() const {
  std::lock_guard lock(m_mutex);
  return m_errors;
}
std::vector<std::string> PumpedOwner::Captions() const {
  std::lock_guard lock(m_mutex);
  return m_captions;
}
int PumpedOwner::LostCount() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_lost.size());
}
std::vector<unsigned> PumpedOwner::LostPorts() const {
  std::lock_guard lock(m_mutex);
  return m_lost;
}
std::size_t PumpedOwner::ReceivedCount() const {
  std::lock_guard lock(m_mutex);
  return m_received.size();
}
bool PumpedOwner::ErrorShowing() const {
  std::lock_guard lock(m_mutex);
  return m_errorShowing;
}
long PumpedOwner::MonitorTid() const {
  std::lock_guard lock(m_mutex);
  return m_monitorTid;
}

}  // namespace quorvane::test
