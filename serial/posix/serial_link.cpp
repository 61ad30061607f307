// CSerialLink's window-thread side: open and configure, start and stop the
// monitor thread, queue frames, report errors.
#include "serial/posix/serial_link.h"

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "serial/posix/error_text.h"

namespace quorvane {

CSerialLink::CSerialLink(std::filesystem::path deviceDirectory, SystemCalls& sys)
    : m_sys(&sys), m_ports(std::move(deviceDirectory)), m_shutdownEvent(sys), m_writeEvent(sys) {}

CSerialLink::~CSerialLink() {
  // An owner still attached is alive (it detaches before it goes), so it may
  // be pumped to finish a delivery in flight; after this nothing calls it.
  if (m_shutdownEvent.Exists()) m_shutdownEvent.Set();
  m_owner.Detach();
  StopMonitorWithoutPumping();
  ClosePort();
}

bool CSerialLink::Open(SerialOwner* owner, unsigned portNumber, unsigned baudRate, char parityCode,
                       unsigned dataBits, unsigned stopBitsCode, std::uint32_t eventMask,
                       unsigned writeBufferSize, std::uint32_t readIntervalTimeout,
                       std::uint32_t readTotalTimeoutMultiplier,
                       std::uint32_t readTotalTimeoutConstant,
                       std::uint32_t writeTotalTimeoutMultiplier,
                       std::uint32_t writeTotalTimeoutConstant) {
  StopMonitorWithoutPumping();  // the owner always closes first; this is a guard

  for (ManualResetEvent* event : {&m_writeEvent, &m_shutdownEvent}) {
    if (event->Exists()) {
      event->Reset();
    } else if (!event->Create()) {
      m_lastOpenError = "Could not create the link's events: " + SystemErrorText(errno);
      m_lastOpenFailure = OpenFailure::kOther;
      return false;
    }
  }

  m_owner.Attach(owner);
  m_pending.Clear();  // a frame sent while no monitor ran is never written
  m_portNumber = portNumber;
  m_writeBufferSize = writeBufferSize;
  m_eventMask = eventMask;
  m_portLost = false;
  m_waitFailures = 0;
  m_readFailures = 0;

  ClosePort();  // the owner closes first; this is a guard
  std::unique_lock lock(m_ioLock);

  const std::optional<std::filesystem::path> path = m_ports.DevicePath(portNumber);
  if (!path) {
    m_lastOpenError = DescribeOpenFailure(portNumber, std::nullopt, ENOENT);
    m_lastOpenFailure = OpenFailure::kNoDevice;
    return false;
  }
  const LineSettings line{baudRate, parityCode, dataBits, stopBitsCode};

  int error = 0;
  std::optional<PortDevice> device = PortDevice::Open(*m_sys, path->string(), &error);
  if (!device) {
    m_lastOpenError = DescribeOpenFailure(portNumber, path, error);
    m_lastOpenFailure = ClassifyOpenFailure(error);
    return false;
  }

  // Seconds in, milliseconds stored, in unsigned 32-bit arithmetic.
  m_timeouts = CommTimeouts{readIntervalTimeout * 1000u, readTotalTimeoutMultiplier * 1000u,
                            readTotalTimeoutConstant * 1000u, writeTotalTimeoutMultiplier * 1000u,
                            writeTotalTimeoutConstant * 1000u};
  if (const std::optional<FailedStep> failed = ConfigureDevice(*device, line)) {
    m_lastOpenError =
        DescribeConfigurationFailure(portNumber, *path, failed->operation, failed->error);
    m_lastOpenFailure = OpenFailure::kOther;
    // The box waits for the operator, and whoever shows it may need the link
    // meanwhile; the device stays ours until the box is gone, then closes, so
    // a port left in the driver's cooked settings is never reported open.
    lock.unlock();
    ReportError(failed->operation, failed->error);
    device.reset();
    return false;
  }
  device->Purge(TCIOFLUSH);  // a failure leaves nothing worse than stale bytes
  m_port = std::move(device);
  m_lastOpenError.clear();
  m_lastOpenFailure = OpenFailure::kNone;
  return true;
}

// The first failing step ends the chain; its name is the operation the error box shows.
std::optional<CSerialLink::FailedStep> CSerialLink::ConfigureDevice(PortDevice& port,
                                                                    const LineSettings& line) {
  const auto failed = [](const char* operation) { return FailedStep{operation, errno}; };
  if (!port.MakeNonBlocking()) return failed("SetCommTimeouts()");
  if (!port.CheckWatchable()) return failed("SetCommMask()");
  if (!port.ReadSettings()) return failed("GetCommState()");
  if (!port.WriteSettings(line)) return failed("SetCommState()");
  return std::nullopt;
}

bool CSerialLink::StartMonitor() {
  // Without the events from Open nothing could ever stop the thread.
  if (!m_shutdownEvent.Exists() || !m_writeEvent.Exists()) return false;
  return m_run.Start([this] { MonitorThread(this); });
}

void CSerialLink::Send(const std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return;
  m_pending.Push(bytes, count);
  if (m_writeEvent.Exists()) m_writeEvent.Set();
}

void CSerialLink::Close() {
  // At least one pass. Pumping lets a delivery that waits for this very
  // thread complete; the monitor then sees the shutdown before its next byte.
  do {
    if (m_shutdownEvent.Exists()) m_shutdownEvent.Set();
    if (SerialOwner* owner = m_owner.Current()) owner->PumpMessages();
  } while (!m_run.WaitStopped(std::chrono::milliseconds(1)));
  m_run.Join();
  ClosePort();
  for (ManualResetEvent* event : {&m_shutdownEvent, &m_writeEvent})
    if (event->Exists()) event->Reset();
}

std::string CSerialLink::LastOpenError() const { return m_lastOpenError; }

OpenFailure CSerialLink::LastOpenFailure() const { return m_lastOpenFailure; }

void CSerialLink::DetachOwner() { m_owner.Detach(); }

void CSerialLink::ReportError(const char* operation) { ReportError(operation, errno); }

void CSerialLink::ReportError(const char* operation, int error) {
  const std::string text = FormatErrorReport(operation, SystemErrorText(error), m_portNumber);
  // With no owner (at exit, after it detached) the report still goes somewhere.
  if (!m_owner.ShowError(text, kErrorCaption)) {
    std::fprintf(stderr, "%s: %s\n", kErrorCaption, text.c_str());
  }
}

void CSerialLink::ClosePort() {
  std::optional<PortDevice> port;
  {
    std::lock_guard lock(m_ioLock);
    port.swap(m_port);
  }
  if (!port) return;
  // Reported with no lock held, like every box. A device that has gone away
  // may say so once more as it closes; that is no news to anyone.
  const int error = port->Close();
  if (error != 0 && !IsDeviceGoneError(error)) ReportError("CloseHandle()", error);
}

bool CSerialLink::MonitorRunning() const { return m_run.Running(); }

bool CSerialLink::DeviceOpen() const {
  std::lock_guard lock(m_ioLock);
  return m_port.has_value();
}

std::array<int, 2> CSerialLink::EventDescriptors() const {
  return {m_shutdownEvent.Fd(), m_writeEvent.Fd()};
}

void CSerialLink::StopMonitorWithoutPumping() {
  m_run.StopWithoutPumping([this] { m_shutdownEvent.Set(); });
}

}  // namespace quorvane
