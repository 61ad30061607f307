// CSerialLink's window-thread side: open and configure, start and stop the
// monitor thread, queue frames, report errors. The same on every platform.
#include "serial/serial_link.h"

#include <chrono>
#include <optional>
#include <utility>

namespace quorvane {

CSerialLink::CSerialLink(std::filesystem::path deviceDirectory, SystemCalls& sys)
    : m_io(MakePortIo(std::move(deviceDirectory), sys)),
      m_monitor(*m_io, m_pending, m_owner, m_ioLock) {}

CSerialLink::~CSerialLink() {
  // An owner still attached is alive (it detaches before it goes), so it may
  // be pumped to finish a delivery in flight; after this nothing calls it.
  m_io->SignalShutdown();
  m_owner.Detach();
  StopMonitorWithoutPumping();
  ClosePort();
}

bool CSerialLink::FailOpen(std::string sentence, OpenFailure kind) {
  m_lastOpenError = std::move(sentence);
  m_lastOpenFailure = kind;
  return false;
}

bool CSerialLink::Open(SerialOwner* owner, unsigned portNumber, unsigned baudRate, char parityCode,
                       unsigned dataBits, unsigned stopBitsCode, std::uint32_t eventMask,
                       unsigned writeBufferSize, std::uint32_t readIntervalTimeout,
                       std::uint32_t readTotalTimeoutMultiplier,
                       std::uint32_t readTotalTimeoutConstant,
                       std::uint32_t writeTotalTimeoutMultiplier,
                       std::uint32_t writeTotalTimeoutConstant) {
  StopMonitorWithoutPumping();  // the owner always closes first; this is a guard

  if (!m_io->PrepareForOpen()) {
    // Taken once: building the sentence may call the system again.
    const SystemError error = m_io->LastError();
    return FailOpen("Could not create the link's events: " + m_io->ErrorText(error),
                    OpenFailure::kOther);
  }

  m_owner.Attach(owner);
  m_pending.Clear();  // a frame sent while no monitor ran is never written
  m_monitor.Begin(portNumber, eventMask);
  m_writeBufferSize = writeBufferSize;

  ClosePort();  // the owner closes first; this is a guard
  std::unique_lock lock(m_ioLock);

  if (std::optional<OpenRefusal> refused = m_io->OpenDevice(portNumber))
    return FailOpen(std::move(refused->sentence), refused->kind);

  // Seconds in, milliseconds stored, in unsigned 32-bit arithmetic.
  m_timeouts = CommTimeouts{readIntervalTimeout * 1000u, readTotalTimeoutMultiplier * 1000u,
                            readTotalTimeoutConstant * 1000u, writeTotalTimeoutMultiplier * 1000u,
                            writeTotalTimeoutConstant * 1000u};
  const LineSettings line{baudRate, parityCode, dataBits, stopBitsCode};
  if (std::optional<FailedStep> failed =
          m_io->ConfigureDevice(portNumber, line, m_timeouts, eventMask)) {
    FailOpen(std::move(failed->sentence), failed->kind);
    // The box waits for the operator, and whoever shows it may need the link
    // meanwhile; the device stays ours until the box is gone, then closes, so
    // a port left in the driver's own settings is never reported open.
    lock.unlock();
    ReportError(failed->operation, failed->error);
    m_io->DiscardDevice();
    return false;
  }
  m_io->AdoptDevice();
  m_lastOpenError.clear();
  m_lastOpenFailure = OpenFailure::kNone;
  return true;
}

bool CSerialLink::StartMonitor() {
  // Without the events from Open nothing could ever stop the thread.
  if (!m_io->EventsReady()) return false;
  return m_run.Start([this] { MonitorThread(this); });
}

int CSerialLink::MonitorThread(CSerialLink* link) {
  // monitorRunning was set by StartMonitor before this thread existed.
  link->m_io->RunMonitor(link->m_monitor);
  link->m_run.MarkStopped();  // the last access to the link
  return kMonitorExitCode;
}

void CSerialLink::Send(const std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return;
  m_pending.Push(bytes, count);
  m_io->SignalWrite();
}

void CSerialLink::Close() {
  // At least one pass. Pumping lets a delivery that waits for this very
  // thread complete; the monitor then sees the shutdown before its next byte.
  do {
    m_io->SignalShutdown();
    if (SerialOwner* owner = m_owner.Current()) owner->PumpMessages();
  } while (!m_run.WaitStopped(std::chrono::milliseconds(1)));
  m_run.Join();
  ClosePort();
  m_io->ResetEvents();
}

std::string CSerialLink::LastOpenError() const { return m_lastOpenError; }

OpenFailure CSerialLink::LastOpenFailure() const { return m_lastOpenFailure; }

void CSerialLink::DetachOwner() { m_owner.Detach(); }

void CSerialLink::ReportError(const char* operation) { ReportError(operation, m_io->LastError()); }

void CSerialLink::ReportError(const char* operation, SystemError error) {
  m_monitor.ReportError(operation, error);
}

void CSerialLink::ClosePort() {
  {
    std::lock_guard lock(m_ioLock);
    if (!m_io->TakeDevice()) return;
  }
  // Reported with no lock held, like every box. A device that has gone away
  // may say so once more as it closes; that is no news to anyone.
  const SystemError error = m_io->CloseTakenDevice();
  if (error != 0 && !m_io->IsDeviceGone(error)) ReportError("CloseHandle()", error);
}

bool CSerialLink::MonitorRunning() const { return m_run.Running(); }

bool CSerialLink::DeviceOpen() const {
  std::lock_guard lock(m_ioLock);
  return m_io->DeviceOpen();
}

void CSerialLink::StopMonitorWithoutPumping() {
  m_run.StopWithoutPumping([this] { m_io->SignalShutdown(); });
}

}  // namespace quorvane
