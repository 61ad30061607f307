#include "serial/link_monitor.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "serial/error_report.h"

namespace quorvane {

void LinkMonitor::Begin(unsigned portNumber, std::uint32_t eventMask) {
  m_portNumber = portNumber;
  m_eventMask = eventMask;
  m_portLost = false;
}

void LinkMonitor::LosePort() {
  if (m_portLost) return;
  m_portLost = true;
  m_owner.PortLost(m_portNumber);
}

void LinkMonitor::Deliver(std::uint8_t byte) { m_owner.DeliverByte(byte, m_portNumber); }

void LinkMonitor::WriteQueued() {
  // Reset first: a Send from here on sets it again and earns another pass.
  m_io.ResetWriteSignal();
  while (!m_io.ShutdownSignalled()) {
    std::optional<Frame> frame = m_pending.Pop();
    if (!frame) return;
    // The frame is ours alone now: later Sends queue behind it and cannot alter it.
    if (!m_io.DeviceOpen() || m_portLost) continue;  // no device to write to: dropped
    m_io.WriteFrame(*this, *frame);
  }
}

void LinkMonitor::Failed(FailureRun& run, const char* operation, SystemError error) {
  if (run.Count()) ReportError(operation, error);
}

bool LinkMonitor::PauseAfterFailure(const FailureRun& run) {
  const unsigned failures = run.Length();
  const std::chrono::milliseconds pause(
      std::min(10u << std::min(failures == 0 ? 0u : failures - 1, 7u), 1000u));
  // A failing wait must not turn the pause into a spin.
  if (!m_io.WaitForShutdown(pause)) std::this_thread::sleep_for(pause);
  return m_io.ShutdownSignalled();
}

void LinkMonitor::ReportError(const char* operation, SystemError error) {
  const std::string text =
      FormatErrorReport(operation, m_io.ErrorText(error), m_io.PortName(m_portNumber));
  // With no owner (at exit, after it detached) the report still goes somewhere.
  if (!m_owner.ShowError(text, kSerialErrorCaption)) {
    std::fprintf(stderr, "%s: %s\n", kSerialErrorCaption, text.c_str());
  }
}

}  // namespace quorvane
