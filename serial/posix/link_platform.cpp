// The POSIX link's events and device: exclusive open, the configuration
// chain named after the steps the error box shows, and the close.
#include "serial/posix/link_platform.h"

#include <cerrno>
#include <utility>

#include "serial/posix/error_text.h"
#include "serial/serial_link.h"

namespace quorvane {

std::unique_ptr<PortIo> MakePortIo(std::filesystem::path deviceDirectory, SystemCalls& sys) {
  return std::make_unique<LinkPlatform>(std::move(deviceDirectory), sys);
}

const LinkPlatform& CSerialLink::Platform() const {
  return static_cast<const LinkPlatform&>(*m_io);
}

LinkPlatform::LinkPlatform(std::filesystem::path deviceDirectory, SystemCalls& sys)
    : m_sys(&sys), m_ports(std::move(deviceDirectory)), m_shutdownEvent(sys), m_writeEvent(sys) {}

std::array<int, 2> LinkPlatform::EventDescriptors() const {
  return {m_shutdownEvent.Fd(), m_writeEvent.Fd()};
}

bool LinkPlatform::PrepareForOpen() {
  for (ManualResetEvent* event : {&m_writeEvent, &m_shutdownEvent}) {
    if (event->Exists()) {
      event->Reset();
    } else if (!event->Create()) {
      return false;
    }
  }
  m_waitFailures.End();
  m_readFailures.End();
  return true;
}

bool LinkPlatform::EventsReady() const { return m_shutdownEvent.Exists() && m_writeEvent.Exists(); }

void LinkPlatform::ResetEvents() {
  for (ManualResetEvent* event : {&m_shutdownEvent, &m_writeEvent})
    if (event->Exists()) event->Reset();
}

void LinkPlatform::SignalShutdown() {
  if (m_shutdownEvent.Exists()) m_shutdownEvent.Set();
}

void LinkPlatform::SignalWrite() {
  if (m_writeEvent.Exists()) m_writeEvent.Set();
}

bool LinkPlatform::ShutdownSignalled() const { return m_shutdownEvent.IsSet(); }

void LinkPlatform::ResetWriteSignal() { m_writeEvent.Reset(); }

std::optional<OpenRefusal> LinkPlatform::OpenDevice(unsigned portNumber) {
  const std::optional<std::filesystem::path> path = m_ports.DevicePath(portNumber);
  if (!path)
    return OpenRefusal{DescribeOpenFailure(portNumber, std::nullopt, ENOENT),
                       OpenFailure::kNoDevice};
  int error = 0;
  m_opening = PortDevice::Open(*m_sys, path->string(), &error);
  if (!m_opening)
    return OpenRefusal{DescribeOpenFailure(portNumber, path, error), ClassifyOpenFailure(error)};
  m_openingPath = *path;
  return std::nullopt;
}

// The first failing step ends the chain; its name is the operation the error
// box shows. I/O never blocks in the driver and every wait is a poll until
// shutdown, so the time-outs have nothing to apply to.
std::optional<FailedStep> LinkPlatform::ConfigureDevice(unsigned, const LineSettings& line,
                                                        const CommTimeouts&, std::uint32_t) {
  PortDevice& port = *m_opening;
  const auto failed = [&](const char* operation) {
    const int error = errno;
    // Terminal settings refused as such: the device is no serial port at all.
    return FailedStep{operation, static_cast<SystemError>(error),
                      DescribeConfigurationFailure(m_openingPath, operation, error),
                      error == ENOTTY ? OpenFailure::kNotSerial : OpenFailure::kOther};
  };
  if (!port.MakeNonBlocking()) return failed("SetCommTimeouts()");
  if (!port.CheckWatchable()) return failed("SetCommMask()");
  if (!port.ReadSettings()) return failed("GetCommState()");
  if (!port.WriteSettings(line)) return failed("SetCommState()");
  return std::nullopt;
}

void LinkPlatform::AdoptDevice() {
  m_opening->Purge(TCIOFLUSH);  // a failure leaves nothing worse than stale bytes
  m_port = std::exchange(m_opening, std::nullopt);
}

void LinkPlatform::DiscardDevice() { m_opening.reset(); }

bool LinkPlatform::DeviceOpen() const { return m_port.has_value(); }

bool LinkPlatform::TakeDevice() {
  m_closing = std::exchange(m_port, std::nullopt);
  return m_closing.has_value();
}

SystemError LinkPlatform::CloseTakenDevice() {
  const int error = m_closing->Close();
  m_closing.reset();
  return static_cast<SystemError>(error);
}

bool LinkPlatform::WaitForShutdown(std::chrono::milliseconds period) {
  pollfd stop{m_shutdownEvent.Fd(), POLLIN, 0};
  return RetryOnEintr([&] { return m_sys->Poll(&stop, 1, static_cast<int>(period.count())); }) >= 0;
}

SystemError LinkPlatform::LastError() const { return static_cast<SystemError>(errno); }

std::string LinkPlatform::ErrorText(SystemError error) const {
  return SystemErrorText(static_cast<int>(error));
}

bool LinkPlatform::IsDeviceGone(SystemError error) const {
  return IsDeviceGoneError(static_cast<int>(error));
}

std::string LinkPlatform::PortName(unsigned portNumber) const {
  // A number with no device was never opened; the box keeps its number then.
  const std::string name = m_ports.ListName(portNumber);
  return name.empty() ? std::to_string(portNumber) : name;
}

}  // namespace quorvane
