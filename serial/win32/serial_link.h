// The serial link on Windows: opens and configures one COM port, runs the
// monitor thread that does all of its overlapped I/O, hands every received
// byte to the owner and closes again.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "serial/frame_queue.h"
#include "serial/monitor_run.h"
#include "serial/open_failure.h"
#include "serial/owner_gate.h"
#include "serial/serial_link_interface.h"
#include "serial/win32/unique_handle.h"
#include "serial/win32/win32_calls.h"

namespace quorvane {

// Threads: the owner's thread (the window thread) constructs and destroys the
// link and calls Open, StartMonitor, Send, Close, DetachOwner and
// LastOpenError; the monitor thread runs MonitorThread, WriteQueued and
// DrainInput. ReportError runs on whichever thread found the failure.
class CSerialLink : public SerialLinkInterface {
 public:
  static constexpr int kMonitorExitCode = 100;
  static constexpr const char* kErrorCaption = "Application Error";

  CSerialLink();
  explicit CSerialLink(Win32Calls& calls);
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
  // Frames are kept whole in a queue and each is written once, in order.
  void Send(const std::uint8_t* bytes, std::size_t count) override;
  void Close() override;
  std::string LastOpenError() const override;
  // The kind of that failure, for programs that answer each differently.
  OpenFailure LastOpenFailure() const;

  // The owner is going away: after this returns the link never calls it
  // again, and Close and the destructor no longer wait on it. A delivery
  // already in flight is finished first by pumping the owner's messages, so
  // call it on the owner's thread, before the owner dies, and not from inside
  // the handling of a delivered byte (the same holds for Close).
  void DetachOwner();

  // Shows the error box for the failed operation with the system's text for
  // the calling thread's last error (or for error) and the port number.
  void ReportError(const char* operation);
  void ReportError(const char* operation, DWORD error);

  // State for the owner's diagnostics and for tests.
  const COMMTIMEOUTS& Timeouts() const { return m_timeouts; }
  const DCB& LineSettings() const { return m_lineSettings; }
  std::uint32_t EventMask() const { return m_eventMask; }
  unsigned PortNumber() const { return m_portNumber; }
  bool MonitorRunning() const;
  bool DeviceOpen() const;
  std::size_t DroppedFrames() const { return m_pending.Dropped(); }
  // The monitor thread's id while it runs (0 before it has started).
  DWORD MonitorThreadId() const { return m_monitorThreadId.load(); }

  static int MonitorThread(CSerialLink* link);
  static void WriteQueued(CSerialLink* link);
  // Delivers every byte waiting, one at a time; how many it delivered.
  static std::size_t DrainInput(CSerialLink* link);

 private:
  // How the monitor learns that input has arrived. A port event is the
  // natural way, but some drivers end every event wait at once without an
  // event (Wine's pseudo-terminals: no modem lines), which would make the
  // monitor spin; on those a one-byte read that waits for data takes its place.
  enum class InputWait { kNone, kEvent, kRead };
  // How one read or write ended.
  enum class IoStatus { kDone, kGone, kFailed, kWaitFailed, kStopped };

  void StopMonitorWithoutPumping();
  bool PrepareEvents();
  // Takes the device out under the I/O lock, flushes our unsent output so the
  // close never waits on the line, closes it and gives up the claim.
  void ClosePort();
  struct FailedStep {
    const char* operation;
    DWORD error;
  };
  static bool ConfigureDevice(CSerialLink* link, HANDLE port, unsigned baudRate, char parityCode,
                              unsigned dataBits, unsigned stopBitsCode, FailedStep* failed);

  static void ArmInputWait(CSerialLink* link);
  static void InputSignalled(CSerialLink* link);
  static void EventWaitFailed(CSerialLink* link, DWORD error);
  static void WriteFrame(CSerialLink* link, const Frame& frame);
  // Waits for the overlapped operation to end, or for shutdown (then cancels it).
  static IoStatus FinishIo(CSerialLink* link, OVERLAPPED* overlapped, DWORD* count, DWORD* error);
  static IoStatus ReadOneByte(CSerialLink* link, std::uint8_t* byte, DWORD* error);
  static void CancelInputWait(CSerialLink* link);
  static void PortLost(CSerialLink* link);
  static void Failed(CSerialLink* link, unsigned* failures, const char* operation, DWORD error);
  static bool PauseAfterFailure(CSerialLink* link, unsigned failures);

  Win32Calls* m_sys;
  MonitorRun m_run;                         // the monitor thread and its running flag
  std::atomic<DWORD> m_monitorThreadId{0};  // written by the monitor thread, read by tests

  // Serialises device work: Open's replacement and configuration of the
  // device, and the monitor thread's purges, queries, reads and writes.
  // Never held while the owner is called.
  mutable std::mutex m_ioLock;
  HANDLE m_port = nullptr;  // guarded by m_ioLock while a monitor runs; null when none is open
  UniqueHandle m_claim;     // our mark on the port number while it is open (see Open)

  // Manual-reset events, created by the first Open, reset by each Open and
  // Close, closed by the destructor.
  UniqueHandle m_shutdownEvent;
  UniqueHandle m_writeEvent;
  UniqueHandle m_overlappedEvent;  // the port event wait's
  UniqueHandle m_readEvent;        // one-byte reads'
  UniqueHandle m_writeDoneEvent;   // writes'
  // One record per kind of operation: a write may start while an event wait
  // or a read is still pending, and must not overwrite its record.
  OVERLAPPED m_waitOverlapped{};
  OVERLAPPED m_readOverlapped{};
  OVERLAPPED m_writeOverlapped{};

  FrameQueue m_pending;
  OwnerGate m_owner;

  // Written by Open on the owner's thread while no monitor runs; read by the monitor.
  COMMTIMEOUTS m_timeouts{};
  DCB m_lineSettings{};
  unsigned m_portNumber = 0;
  std::uint32_t m_eventMask = 0;
  unsigned m_writeBufferSize = 0;
  std::string m_lastOpenError;
  OpenFailure m_lastOpenFailure = OpenFailure::kNone;

  // Monitor thread only (reset by Open before the thread starts).
  bool m_portLost = false;
  InputWait m_armed = InputWait::kNone;
  bool m_eventWaitUsable = true;
  unsigned m_emptyEvents = 0;    // event waits in a row that found nothing to read
  DWORD m_eventWord = 0;         // filled by the pending event wait
  std::uint8_t m_waitByte = 0;   // filled by the pending one-byte read
  unsigned m_waitFailures = 0;   // failures in a row of the wait itself
  unsigned m_readFailures = 0;   // reads failed in a row
  unsigned m_queryFailures = 0;  // input queue queries failed in a row
  unsigned m_writeFailures = 0;  // writes failed in a row
};

}  // namespace quorvane
