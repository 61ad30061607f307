// The face of the serial link that the controller, the windows and
// quorvane-ctl drive; CSerialLink implements it, their tests fake it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/open_failure.h"
#include "serial/serial_owner.h"

namespace quorvane {

// Port event flags (the event mask given to Open). <windows.h> defines the
// same names as macros with the same values; where it came first, those serve.
#ifndef EV_RXCHAR
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
#endif
#ifndef EV_RXFLAG
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
#endif
#ifndef EV_CTS
inline constexpr std::uint32_t EV_CTS = 0x0008;
#endif
#ifndef EV_BREAK
inline constexpr std::uint32_t EV_BREAK = 0x0040;
#endif
#ifndef EV_ERR
inline constexpr std::uint32_t EV_ERR = 0x0080;
#endif
#ifndef EV_RING
inline constexpr std::uint32_t EV_RING = 0x0100;
#endif

class SerialLinkInterface {
 public:
  virtual ~SerialLinkInterface() = default;

  // Window thread. True when the device was opened and configured; otherwise
  // it is left closed and LastOpenError says why.
  virtual bool Open(SerialOwner* owner, unsigned portNumber, unsigned baudRate, char parityCode,
                    unsigned dataBits, unsigned stopBitsCode, std::uint32_t eventMask,
                    unsigned writeBufferSize, std::uint32_t readIntervalTimeout,
                    std::uint32_t readTotalTimeoutMultiplier,
                    std::uint32_t readTotalTimeoutConstant,
                    std::uint32_t writeTotalTimeoutMultiplier,
                    std::uint32_t writeTotalTimeoutConstant) = 0;
  virtual bool StartMonitor() = 0;
  // Queues one frame (1..writeBufferSize bytes); returns at once.
  virtual void Send(const std::uint8_t* bytes, std::size_t count) = 0;
  // Stops the monitor (pumping the owner's messages meanwhile) and closes the device.
  virtual void Close() = 0;
  // Why the last Open returned false, for the operator (empty after a success).
  virtual std::string LastOpenError() const = 0;
  // The kind of that failure, for programs that answer each differently.
  virtual OpenFailure LastOpenFailure() const = 0;
  // The owner is going away: after this returns the link never calls it
  // again, and Close and the destructor no longer wait on it. A delivery
  // already in flight is finished first by pumping the owner's messages, so
  // call it on the owner's thread, before the owner dies, and not from inside
  // the handling of a delivered byte (that delivery could never finish; the
  // same holds for Close).
  virtual void DetachOwner() = 0;
};

}  // namespace quorvane
