// What the serial link needs of its owner (the window, or a test harness).
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

class SerialOwner {
 public:
  virtual ~SerialOwner() = default;

  // Monitor thread. Returns only after the owner's thread has handled the
  // byte, so bytes reach the receiver one at a time and in order.
  virtual void OnSerialByte(std::uint8_t byte, unsigned portNumber) = 0;

  // Window thread, called repeatedly by Close while it waits for the monitor
  // thread: lets a pending OnSerialByte delivery complete.
  virtual void PumpMessages() = 0;

  // Any thread. Shows a modal error box; the caller waits until it is dismissed.
  virtual void ShowError(const std::string& text, const std::string& caption) = 0;

  // Monitor thread, once per lost device (unplugged, hung up). Asynchronous:
  // the owner queues a device-change run on its own thread and returns.
  virtual void OnPortLost(unsigned portNumber) = 0;
};

}  // namespace quorvane
