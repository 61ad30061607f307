// An owner whose deliveries wait for the test thread's PumpMessages, as a
// window's do for its message loop. The same on every platform.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_owner.h"

namespace quorvane::test {

using namespace std::chrono_literals;

// The system's id of the calling thread; each platform's test support defines it.
long CurrentThreadId();

class PumpedOwner : public SerialOwner {
 public:
  void OnSerialByte(std::uint8_t byte, unsigned portNumber) override;
  void PumpMessages() override;
  void ShowError(const std::string& text, const std::string& caption) override;
  void OnPortLost(unsigned portNumber) override;

  // Test thread: pumps until pred holds or the time runs out.
  bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = 5s);
  // Test thread: waits without pumping until a delivery is waiting.
  bool WaitForPendingDelivery(std::chrono::milliseconds limit = 5s);
  // Error boxes stay "open" (ShowError blocks) until ReleaseErrors.
  void HoldErrors();
  void ReleaseErrors();
  // Runs inside ShowError, on the thread that shows the box.
  void OnError(std::function<void()> action);

  std::vector<std::uint8_t> Received() const;
  std::vector<unsigned> Ports() const;
  std::vector<std::string> Errors() const;
  std::vector<std::string> Captions() const;
  int LostCount() const;
  std::vector<unsigned> LostPorts() const;
  std::size_t ReceivedCount() const;
  bool ErrorShowing() const;
  // The system's id of the thread that made the first delivery (the monitor
  // thread), for reading its CPU time; 0 before any delivery.
  long MonitorTid() const;

 private:
  mutable std::mutex m_mutex;  // guards everything below
  std::condition_variable m_changed;
  bool m_deliveryWaiting = false;
  std::uint8_t m_pendingByte = 0;
  unsigned m_pendingPort = 0;
  std::vector<std::uint8_t> m_received;
  std::vector<unsigned> m_ports;
  std::vector<std::string> m_errors;
  std::vector<std::string> m_captions;
  std::vector<unsigned> m_lost;
  std::function<void()> m_onError;
  bool m_holdErrors = false;
  bool m_errorShowing = false;
  long m_monitorTid = 0;
};

}  // namespace quorvane::test
