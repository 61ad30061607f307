// What the serial link asks of its platform: the system work of one link,
// done with termios and poll in posix/ and with overlapped COM handles in
// win32/, so that CSerialLink itself is written once.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "serial/frame_queue.h"
#include "serial/open_failure.h"

namespace quorvane {

class LinkMonitor;
class SystemCalls;

// A system error code: an errno value on POSIX, a GetLastError() code on
// Windows. Both fit in 32 bits.
using SystemError = std::uint32_t;

struct LineSettings {
  unsigned baudRate = 9600;
  char parityCode = 'N';      // 'E', 'M', 'N', 'O', 'S'; anything else means none
  unsigned dataBits = 8;      // 5..8
  unsigned stopBitsCode = 0;  // 0 one, 1 one and a half, 2 two
};

// The five time-outs in milliseconds, as last stored by Open.
struct CommTimeouts {
  std::uint32_t readIntervalTimeout = 0;
  std::uint32_t readTotalTimeoutMultiplier = 0;
  std::uint32_t readTotalTimeoutConstant = 0;
  std::uint32_t writeTotalTimeoutMultiplier = 0;
  std::uint32_t writeTotalTimeoutConstant = 0;
};

// Why a device could not be opened: the operator's sentence and its kind.
struct OpenRefusal {
  std::string sentence;
  OpenFailure kind = OpenFailure::kOther;
};

// The configuration step that failed (the operation the error box names),
// its error, the operator's sentence for it and its kind.
struct FailedStep {
  const char* operation = "";
  SystemError error = 0;
  std::string sentence;
  OpenFailure kind = OpenFailure::kOther;
};

// Threads: as marked on each group. The link's I/O lock orders the device
// work of the owner's thread (Open, the close) against the monitor thread's.
class PortIo {
 public:
  virtual ~PortIo() = default;

  // The shutdown and write events the monitor waits on.
  // Owner's thread, no monitor running: creates the events the first time
  // and resets them after, and forgets the last monitor's state. False, with
  // LastError() saying why, when the system refuses an event.
  virtual bool PrepareForOpen() = 0;
  // Whether both events exist: a monitor started without them could never stop.
  virtual bool EventsReady() const = 0;
  // Owner's thread, once the monitor has stopped and the device is closed.
  virtual void ResetEvents() = 0;
  // Any thread.
  virtual void SignalShutdown() = 0;
  virtual void SignalWrite() = 0;
  virtual bool ShutdownSignalled() const = 0;

  // The device, on the owner's thread with the I/O lock held unless said.
  // Opens the device of portNumber exclusively. It is not the link's yet
  // (DeviceOpen stays false) while it is configured.
  virtual std::optional<OpenRefusal> OpenDevice(unsigned portNumber) = 0;
  // Configures the device just opened; the first failing step ends the chain.
  virtual std::optional<FailedStep> ConfigureDevice(unsigned portNumber, const LineSettings& line,
                                                    const CommTimeouts& timeouts,
                                                    std::uint32_t eventMask) = 0;
  // Purges what the device held from before and makes it the link's.
  virtual void AdoptDevice() = 0;
  // Closes the device just opened as it is, errors ignored (no lock needed).
  virtual void DiscardDevice() = 0;
  // Also read unlocked by the monitor thread: only the owner's thread changes
  // it, and never while a monitor runs.
  virtual bool DeviceOpen() const = 0;
  // Takes the link's device out, for CloseTakenDevice to close with no lock
  // held; false when there was none.
  virtual bool TakeDevice() = 0;
  // 0, or the error of a failed close (the device is gone either way).
  virtual SystemError CloseTakenDevice() = 0;

  // Monitor thread.
  // Waits on shutdown, the write event and the port, in that priority, until
  // shutdown; writes through link.WriteQueued and delivers what it reads.
  virtual void RunMonitor(LinkMonitor& link) = 0;
  virtual void ResetWriteSignal() = 0;
  // Writes one frame, reporting through link what goes wrong.
  virtual void WriteFrame(LinkMonitor& link, const Frame& frame) = 0;
  // Waits on the shutdown event alone; false when the wait itself failed.
  virtual bool WaitForShutdown(std::chrono::milliseconds period) = 0;

  // Errors, any thread.
  // The calling thread's last error (errno, GetLastError()).
  virtual SystemError LastError() const = 0;
  virtual std::string ErrorText(SystemError error) const = 0;
  // True for the codes with which the system says the device itself is gone.
  virtual bool IsDeviceGone(SystemError error) const = 0;
  // The port as the error box names it: its device ("ttyUSB0") on Linux, its
  // number on Windows, where the operator knows it as that COM port.
  virtual std::string PortName(unsigned portNumber) const = 0;
};

// The platform's part for a link whose devices are named under deviceDirectory.
std::unique_ptr<PortIo> MakePortIo(std::filesystem::path deviceDirectory, SystemCalls& sys);

}  // namespace quorvane
