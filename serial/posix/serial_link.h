// The serial link: opens and configures one port, runs the monitor thread that
// does all of its I/O, hands every received byte to the owner and closes again.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "serial/frame_queue.h"
#include "serial/monitor_run.h"
#include "serial/open_failure.h"
#include "serial/owner_gate.h"
#include "serial/posix/manual_reset_event.h"
#include "serial/posix/port_device.h"
#include "serial/posix/port_table.h"
#include "serial/posix/system_calls.h"
#include "serial/serial_link_interface.h"

namespace quorvane {

// The five time-outs in milliseconds, as last stored by Open. Reads and
// writes wait in poll without a limit, so they are kept, not applied.
struct CommTimeouts {
  std::uint32_t readIntervalTimeout = 0;
  std::uint32_t readTotalTimeoutMultiplier = 0;
  std::uint32_t readTotalTimeoutConstant = 0;
  std::uint32_t writeTotalTimeoutMultiplier = 0;
  std::uint32_t writeTotalTimeoutConstant = 0;
};

// Threads: the owner's thread (the window thread) constructs and destroys the
// link and calls Open, StartMonitor, Send, Close, DetachOwner and
// LastOpenError; the monitor thread runs MonitorThread, WriteQueued and
// DrainInput. ReportError runs on whichever thread found the failure.
class CSerialLink : public SerialLinkInterface {
 public:
  static constexpr int kMonitorExitCode = 100;
  static constexpr const char* kErrorCaption = "Application Error";

  explicit CSerialLink(std::filesystem::path deviceDirectory = "/dev",
                       SystemCalls& sys = RealSystemCalls());
  ~CSerialLink() override;
  CSerialLink(const CSerialLink&) = delete;
  CSerialLink& operator=(const CSerialLink&) = delete;

  bool Open(SerialOwner* owner, unsigned portNumber, unsigned baudRate, char parityCode,
            unsigned dataBits, unsigned stopBitsCode, std::uint32_t eventMask,
            unsigned writeBufferSize, std::uint32_t readIntervalTimeout,
            std::uint32_t readTotalTimeoutMultiplier, std::uint32_t readTotalTimeoutConstant,
            std::uint32_t writeTotalTimeoutMultiplier,
            std::uint32_t writeTotalTimeoutConstant) override;
  bool StartMonitor() override;
  // Frames are kept whole in a queue, so one longer than the write buffer
  // size given to Open is written whole too, never cut.
  void Send(const std::uint8_t* bytes, std::size_t count) override;
  void Close() override;
  std::string LastOpenError() const override;
  // The kind of that failure, for programs that answer each differently.
  OpenFailure LastOpenFailure() const;

  // The owner is going away: after this returns the link never calls it
  // again, and Close and the destructor no longer wait on it. A delivery
  // already in flight is finished first by pumping the owner's messages, so
  // call it on the owner's thread, before the owner dies, and not from inside
  // the handling of a delivered byte (that delivery could never finish; the
  // same holds for Close).
  void DetachOwner();

  // Shows the error box for the failed operation, with the system's text
  // for errno (or for error) and the port number; waits until it is dismissed.
  void ReportError(const char* operation);
  void ReportError(const char* operation, int error);

  // State for the owner's diagnostics and for tests.
  const CommTimeouts& Timeouts() const { return m_timeouts; }
  std::uint32_t EventMask() const { return m_eventMask; }
  unsigned PortNumber() const { return m_portNumber; }
  bool MonitorRunning() const;
  bool DeviceOpen() const;
  std::size_t DroppedFrames() const { return m_pending.Dropped(); }
  // Descriptors of the shutdown and write events (-1 before the first Open).
  std::array<int, 2> EventDescriptors() const;

  static int MonitorThread(CSerialLink* link);
  static void WriteQueued(CSerialLink* link);
  static void DrainInput(CSerialLink* link);

 private:
  // Waits up to `period` for the monitor thread to clear monitorRunning.
  void StopMonitorWithoutPumping();
  // Takes the device out under the I/O lock, then closes it and reports a
  // failed close.
  void ClosePort();
  struct FailedStep {
    const char* operation;
    int error;
  };
  static std::optional<FailedStep> ConfigureDevice(PortDevice& port, const LineSettings& line);
  static void WriteFrame(CSerialLink* link, const Frame& frame);
  static void PortLost(CSerialLink* link);
  static void ReadFailed(CSerialLink* link, const char* operation, int error);
  static bool PauseAfterFailure(CSerialLink* link, unsigned failures);

  SystemCalls* m_sys;
  PortTable m_ports;
  MonitorRun m_run;  // the monitor thread and its running flag

  // Serialises device work: Open's replacement and configuration of the
  // device, and the monitor thread's purges, queries, reads and writes.
  // Never held while the owner is called from the monitor thread.
  mutable std::mutex m_ioLock;
  std::optional<PortDevice> m_port;  // guarded by m_ioLock while a monitor runs

  ManualResetEvent m_shutdownEvent;
  ManualResetEvent m_writeEvent;
  FrameQueue m_pending;
  OwnerGate m_owner;

  // Written by Open on the owner's thread while no monitor runs; read by the monitor.
  CommTimeouts m_timeouts;
  unsigned m_portNumber = 0;
  std::uint32_t m_eventMask = 0;
  unsigned m_writeBufferSize = 0;
  std::string m_lastOpenError;
  OpenFailure m_lastOpenFailure = OpenFailure::kNone;

  // Monitor thread only (reset by Open before the thread starts).
  bool m_portLost = false;
  unsigned m_waitFailures = 0;  // waits failed in a row
  unsigned m_readFailures = 0;  // reads failed in a row
};

}  // namespace quorvane
