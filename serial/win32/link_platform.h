// The serial link's Windows part: an overlapped COM handle, manual-reset
// events, and a monitor that waits for a port event or, where the driver has
// none that waits (Wine's pseudo-terminals), for a one-byte read.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "serial/link_monitor.h"
#include "serial/port_io.h"
#include "serial/win32/port_table.h"
#include "serial/win32/system_calls.h"
#include "serial/win32/unique_handle.h"

namespace quorvane {

// Threads as PortIo says. The handles are guarded by the link's I/O lock
// while a monitor runs.
class LinkPlatform final : public PortIo {
 public:
  LinkPlatform(std::filesystem::path deviceDirectory, SystemCalls& sys);
  ~LinkPlatform() override;

  // The control block last asked of the device.
  const DCB& DeviceSettings() const { return m_lineSettings; }
  // The monitor thread's id while it runs (0 before it has started).
  DWORD MonitorThreadId() const { return m_monitorThreadId.load(); }

  bool PrepareForOpen() override;
  bool EventsReady() const override;
  void ResetEvents() override;
  void SignalShutdown() override;
  void SignalWrite() override;
  bool ShutdownSignalled() const override;

  std::optional<OpenRefusal> OpenDevice(unsigned portNumber) override;
  std::optional<FailedStep> ConfigureDevice(unsigned portNumber, const LineSettings& line,
                                            const CommTimeouts& timeouts,
                                            std::uint32_t eventMask) override;
  void AdoptDevice() override;
  void DiscardDevice() override;
  bool DeviceOpen() const override;
  bool TakeDevice() override;
  SystemError CloseTakenDevice() override;

  void RunMonitor(LinkMonitor& link) override;
  void ResetWriteSignal() override;
  void WriteFrame(LinkMonitor& link, const Frame& frame) override;
  bool WaitForShutdown(std::chrono::milliseconds period) override;

  SystemError LastError() const override;
  std::string ErrorText(SystemError error) const override;
  bool IsDeviceGone(SystemError error) const override;
  std::string PortName(unsigned portNumber) const override { return std::to_string(portNumber); }

 private:
  // How the monitor learns that input has arrived. A port event is the
  // natural way, but some drivers end every event wait at once without an
  // event (Wine's pseudo-terminals: no modem lines), which would make the
  // monitor spin; on those a one-byte read that waits for data takes its place.
  enum class InputWait { kNone, kEvent, kRead };
  // How one read or write ended.
  enum class IoStatus { kDone, kGone, kFailed, kWaitFailed, kStopped };

  void ArmInputWait(LinkMonitor& link);
  void InputSignalled(LinkMonitor& link);
  void EventWaitFailed(LinkMonitor& link, DWORD error);
  // Delivers every byte waiting, one at a time; how many it delivered.
  std::size_t DrainInput(LinkMonitor& link);
  // Waits for the overlapped operation to end, or for shutdown (then cancels it).
  IoStatus FinishIo(OVERLAPPED* overlapped, DWORD* count, DWORD* error);
  IoStatus ReadOneByte(LinkMonitor& link, std::uint8_t* byte, DWORD* error);
  void CancelInputWait(LinkMonitor& link);

  SystemCalls* m_sys;
  PortTable m_ports;
  std::atomic<DWORD> m_monitorThreadId{0};  // written by the monitor thread, read by tests

  HANDLE m_port = nullptr;     // the link's device; null when none is open
  UniqueHandle m_claim;        // our mark on its port number while it is open (see OpenDevice)
  HANDLE m_opening = nullptr;  // opened, not yet the link's
  UniqueHandle m_openingClaim;
  HANDLE m_closing = nullptr;  // taken out of the link to be closed
  UniqueHandle m_closingClaim;

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

  // Written by ConfigureDevice while no monitor runs; read by the monitor.
  COMMTIMEOUTS m_timeouts{};
  DCB m_lineSettings{};

  // Monitor thread only (reset by PrepareForOpen before the thread starts).
  InputWait m_armed = InputWait::kNone;
  bool m_eventWaitUsable = true;
  unsigned m_emptyEvents = 0;   // event waits in a row that found nothing to read
  DWORD m_eventWord = 0;        // filled by the pending event wait
  std::uint8_t m_waitByte = 0;  // filled by the pending one-byte read
  FailureRun m_waitFailures;    // failures in a row of the wait itself
  FailureRun m_readFailures;    // reads failed in a row
  FailureRun m_queryFailures;   // input queue queries failed in a row
  FailureRun m_writeFailures;   // writes failed in a row
};

}  // namespace quorvane
