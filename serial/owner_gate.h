// The link's way to its owner: calls from the monitor thread pass through here,
// so an owner that detaches is never called again and never waited on for ever.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "serial/serial_owner.h"

namespace quorvane {

// Attach and Detach run on the owner's thread (the window thread); the
// forwarding calls run on the monitor thread; Current on the owner's thread.
class OwnerGate {
 public:
  void Attach(SerialOwner* owner);
  // After Detach returns, no call into the old owner is running or will start.
  // A call already in flight (a byte delivery waiting for the owner's thread)
  // is finished by pumping the owner's messages meanwhile, which is what lets
  // it complete: Detach runs on that very thread.
  void Detach();
  SerialOwner* Current() const;

  // Each returns at once, doing nothing, when no owner is attached. A call
  // made on the owner's own thread is not counted: a Detach nested inside it
  // must not wait for the frame below it.
  void DeliverByte(std::uint8_t byte, unsigned portNumber);
  // False when no owner is attached, so the caller can report elsewhere.
  bool ShowError(const std::string& text, const std::string& caption);
  void PortLost(unsigned portNumber);

 private:
  template <typename Call>
  bool Forward(Call call);

  mutable std::mutex m_mutex;  // guards m_owner and m_callsInFlight
  std::condition_variable m_callsDone;
  SerialOwner* m_owner = nullptr;
  std::thread::id m_ownerThread;  // the thread that attached: its own calls are not waited for
  unsigned m_callsInFlight = 0;   // other threads' calls between admission and return
};

}  // namespace quorvane
