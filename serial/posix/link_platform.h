// The serial link's POSIX part: a termios device, two eventfd events and a
// monitor that waits in one poll on shutdown, the write event and the port.
#pragma once

#include <array>
#include <filesystem>
#include <optional>

#include "serial/link_monitor.h"
#include "serial/port_io.h"
#include "serial/posix/manual_reset_event.h"
#include "serial/posix/port_device.h"
#include "serial/posix/port_table.h"
#include "serial/posix/system_calls.h"

namespace quorvane {

// Threads as PortIo says. The devices are guarded by the link's I/O lock
// while a monitor runs.
class LinkPlatform final : public PortIo {
 public:
  LinkPlatform(std::filesystem::path deviceDirectory, SystemCalls& sys);

  // Descriptors of the shutdown and write events (-1 before the first Open).
  std::array<int, 2> EventDescriptors() const;

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
  std::string PortName(unsigned portNumber) const override;

 private:
  void DrainInput(LinkMonitor& link);
  void ReadFailed(LinkMonitor& link, const char* operation, int error);

  SystemCalls* m_sys;
  PortTable m_ports;
  ManualResetEvent m_shutdownEvent;
  ManualResetEvent m_writeEvent;

  std::optional<PortDevice> m_port;     // the link's device
  std::optional<PortDevice> m_opening;  // opened, not yet the link's
  std::filesystem::path m_openingPath;  // its path, for the operator's sentence
  std::optional<PortDevice> m_closing;  // taken out of the link to be closed

  // Monitor thread only (reset by PrepareForOpen before the thread starts).
  FailureRun m_waitFailures;  // waits failed in a row
  FailureRun m_readFailures;  // reads failed in a row
};

}  // namespace quorvane
