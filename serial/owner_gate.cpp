// Admission of monitor-thread calls into the owner, and a detach that cannot deadlock.
#include "serial/owner_gate.h"

#include <chrono>
#include <utility>

namespace quorvane {

void OwnerGate::Attach(SerialOwner* owner) {
  std::lock_guard lock(m_mutex);
  m_owner = owner;
  m_ownerThread = std::this_thread::get_id();
}

void OwnerGate::Detach() {
  std::unique_lock lock(m_mutex);
  SerialOwner* const owner = std::exchange(m_owner, nullptr);
  // The admission check and this exchange share the mutex, so a call is either
  // counted already (and waited for here) or sees no owner and never starts.
  while (m_callsInFlight > 0) {
    lock.unlock();
    if (owner != nullptr) owner->PumpMessages();
    lock.lock();
    // Woken early by the call's return; the period only paces the pumping.
    m_callsDone.wait_for(lock, std::chrono::milliseconds(1), [&] { return m_callsInFlight == 0; });
  }
}

SerialOwner* OwnerGate::Current() const {
  std::lock_guard lock(m_mutex);
  return m_owner;
}

template <typename Call>
bool OwnerGate::Forward(Call call) {
  SerialOwner* owner = nullptr;
  bool counted = false;
  {
    std::lock_guard lock(m_mutex);
    if (m_owner == nullptr) return false;
    owner = m_owner;
    counted = std::this_thread::get_id() != m_ownerThread;
    if (counted) ++m_callsInFlight;
  }
  call(*owner);
  if (!counted) return true;
  {
    std::lock_guard lock(m_mutex);
    --m_callsInFlight;
  }
  m_callsDone.notify_all();
  return true;
}

void OwnerGate::DeliverByte(std::uint8_t byte, unsigned portNumber) {
  Forward([&](SerialOwner& owner) { owner.OnSerialByte(byte, portNumber); });
}

bool OwnerGate::ShowError(const std::string& text, const std::string& caption) {
  return Forward([&](SerialOwner& owner) { owner.ShowError(text, caption); });
}

void OwnerGate::PortLost(unsigned portNumber) {
  Forward([&](SerialOwner& owner) { owner.OnPortLost(portNumber); });
}

}  // namespace quorvane
