// The serial link: opens and configures one port, runs the monitor thread that
// does all of its I/O, hands every received byte to the owner and closes again.
// Written once; the platform's system work is behind PortIo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "serial/frame_queue.h"
#include "serial/link_monitor.h"
#include "serial/monitor_run.h"
#include "serial/open_failure.h"
#include "serial/owner_gate.h"
#include "serial/port_io.h"
#include "serial/port_table.h"
#include "serial/serial_link_interface.h"

namespace quorvane {

// The system calls the link makes, behind one seam so tests can make chosen
// calls fail: serial/posix/system_calls.h or serial/win32/system_calls.h.
class SystemCalls;
SystemCalls& RealSystemCalls();
// The platform's part of a link, for diagnostics: serial/posix/link_platform.h
// or serial/win32/link_platform.h.
class LinkPlatform;

// Threads: the owner's thread (the window thread) constructs and destroys the
// link and calls Open, StartMonitor, Send, Close, DetachOwner and
// LastOpenError; the monitor thread runs MonitorThread. ReportError runs on
// whichever thread found the failure.
class CSerialLink : public SerialLinkInterface {
 public:
  static constexpr int kMonitorExitCode = 100;
  static constexpr const char* kErrorCaption = kSerialErrorCaption;

  // Devices are looked up under deviceDirectory (see DefaultDeviceDirectory).
  explicit CSerialLink(std::filesystem::path deviceDirectory = DefaultDeviceDirectory(),
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
  // Frames are kept whole in a queue and each is written once, in order; one
  // longer than the write buffer size given to Open is written whole too.
  void Send(const std::uint8_t* bytes, std::size_t count) override;
  void Close() override;
  std::string LastOpenError() const override;
  OpenFailure LastOpenFailure() const override;
  void DetachOwner() override;

  // Shows the error box for the failed operation, with the system's text
  // for the calling thread's last error (or for error) and the port's name;
  // waits until it is dismissed.
  void ReportError(const char* operation);
  void ReportError(const char* operation, SystemError error);

  // State for the owner's diagnostics and for tests. The time-outs are kept,
  // in milliseconds; where the platform waits without a limit (POSIX polls
  // until shutdown) they are only stored.
  const CommTimeouts& Timeouts() const { return m_timeouts; }
  std::uint32_t EventMask() const { return m_monitor.EventMask(); }
  unsigned PortNumber() const { return m_monitor.PortNumber(); }
  bool MonitorRunning() const;
  bool DeviceOpen() const;
  std::size_t DroppedFrames() const { return m_pending.Dropped(); }
  // The platform's own state (event descriptors, the device control block,
  // the monitor's thread id); defined by the platform part.
  const LinkPlatform& Platform() const;

  static int MonitorThread(CSerialLink* link);

 private:
  void StopMonitorWithoutPumping();
  // Takes the device out under the I/O lock, then closes it and reports a
  // failed close, with no lock held.
  void ClosePort();
  bool FailOpen(std::string sentence, OpenFailure kind);

  std::unique_ptr<PortIo> m_io;
  MonitorRun m_run;  // the monitor thread and its running flag

  // Serialises device work: Open's replacement and configuration of the
  // device, and the monitor thread's purges, queries, reads and writes.
  // Never held while the owner is called from the monitor thread.
  mutable std::mutex m_ioLock;

  FrameQueue m_pending;
  OwnerGate m_owner;
  LinkMonitor m_monitor;

  // Written by Open on the owner's thread while no monitor runs.
  CommTimeouts m_timeouts;
  unsigned m_writeBufferSize = 0;
  std::string m_lastOpenError;
  OpenFailure m_lastOpenFailure = OpenFailure::kNone;
};

}  // namespace quorvane
