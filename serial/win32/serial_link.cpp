// CSerialLink's window-thread side: open and configure, start and stop the
// monitor thread, queue frames, report errors.
#include "serial/win32/serial_link.h"

#include <cstdio>
#include <system_error>
#include <utility>

#include "serial/win32/error_text.h"

namespace quorvane {
namespace {

BYTE StopBitsOf(unsigned code) {
  switch (code) {
    case 1:
      return ONE5STOPBITS;
    case 2:
      return TWOSTOPBITS;
    default:
      return ONESTOPBIT;  // 0, and codes without a meaning
  }
}

// An exact upper-case letter; anything else, lower case included, is none.
BYTE ParityOf(char code) {
  switch (code) {
    case 'E':
      return EVENPARITY;
    case 'M':
      return MARKPARITY;
    case 'O':
      return ODDPARITY;
    case 'S':
      return SPACEPARITY;
    default:
      return NOPARITY;
  }
}

// Windows refuses a second open of a COM port, but Wine hands out as many
// handles to one as are asked for, and two panels on one port would split
// the board's replies between them. A named object per port number keeps a
// second panel out wherever the driver does not.
enum class Claim { kTaken, kHeldElsewhere, kUnavailable };
Claim ClaimPort(unsigned portNumber, UniqueHandle* claim) {
  char name[64];
  std::snprintf(name, sizeof name, "Global\\quorvane-serial-COM%u", portNumber);
  UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, name));
  const DWORD error = ::GetLastError();
  if (mutex && error == ERROR_ALREADY_EXISTS) return Claim::kHeldElsewhere;
  if (!mutex) return error == ERROR_ACCESS_DENIED ? Claim::kHeldElsewhere : Claim::kUnavailable;
  *claim = std::move(mutex);
  return Claim::kTaken;
}

}  // namespace

CSerialLink::CSerialLink() : CSerialLink(RealWin32Calls()) {}

CSerialLink::CSerialLink(Win32Calls& calls) : m_sys(&calls) {}

CSerialLink::~CSerialLink() {
  // An owner still attached is alive (it detaches before it goes), so it may
  // be pumped to finish a delivery in flight; after this nothing calls it.
  if (m_shutdownEvent) ::SetEvent(m_shutdownEvent.Get());
  m_owner.Detach();
  StopMonitorWithoutPumping();
  ClosePort();
}

bool CSerialLink::PrepareEvents() {
  for (UniqueHandle* event :
       {&m_overlappedEvent, &m_writeEvent, &m_shutdownEvent, &m_readEvent, &m_writeDoneEvent}) {
    if (*event) {
      ::ResetEvent(event->Get());
      continue;
    }
    event->Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!*event) return false;
  }
  m_waitOverlapped = OVERLAPPED{};
  m_waitOverlapped.hEvent = m_overlappedEvent.Get();
  m_readOverlapped = OVERLAPPED{};
  m_readOverlapped.hEvent = m_readEvent.Get();
  m_writeOverlapped = OVERLAPPED{};
  m_writeOverlapped.hEvent = m_writeDoneEvent.Get();
  return true;
}

bool CSerialLink::Open(SerialOwner* owner, unsigned portNumber, unsigned baudRate, char parityCode,
                       unsigned dataBits, unsigned stopBitsCode, std::uint32_t eventMask,
                       unsigned writeBufferSize, std::uint32_t readIntervalTimeout,
                       std::uint32_t readTotalTimeoutMultiplier,
                       std::uint32_t readTotalTimeoutConstant,
                       std::uint32_t writeTotalTimeoutMultiplier,
                       std::uint32_t writeTotalTimeoutConstant) {
  StopMonitorWithoutPumping();  // the owner always closes first; this is a guard

  if (!PrepareEvents()) {
    m_lastOpenError = "Could not create the link's events: " + SystemErrorText(::GetLastError());
    m_lastOpenFailure = OpenFailure::kOther;
    return false;
  }

  m_owner.Attach(owner);
  m_pending.Clear();  // a frame sent while no monitor ran is never written
  m_portNumber = portNumber;
  m_writeBufferSize = writeBufferSize;
  m_eventMask = eventMask;
  m_portLost = false;
  m_armed = InputWait::kNone;
  m_eventWaitUsable = true;
  m_emptyEvents = 0;
  m_waitFailures = 0;
  m_readFailures = 0;
  m_queryFailures = 0;
  m_writeFailures = 0;

  ClosePort();  // the owner closes first; this is a guard
  std::unique_lock lock(m_ioLock);

  UniqueHandle claim;
  if (ClaimPort(portNumber, &claim) == Claim::kHeldElsewhere) {
    m_lastOpenError = DescribeOpenFailure(portNumber, ERROR_ACCESS_DENIED);
    m_lastOpenFailure = OpenFailure::kBusy;
    return false;
  }

  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\COM%u", portNumber);
  const HANDLE port = m_sys->CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED);
  if (port == INVALID_HANDLE_VALUE || port == nullptr) {
    // Taken once: building the sentence may call the system again.
    const DWORD error = ::GetLastError();
    m_lastOpenError = DescribeOpenFailure(portNumber, error);
    m_lastOpenFailure = ClassifyOpenFailure(error);
    return false;
  }

  // Seconds in, milliseconds stored, in unsigned 32-bit arithmetic.
  m_timeouts.ReadIntervalTimeout = readIntervalTimeout * 1000u;
  m_timeouts.ReadTotalTimeoutMultiplier = readTotalTimeoutMultiplier * 1000u;
  m_timeouts.ReadTotalTimeoutConstant = readTotalTimeoutConstant * 1000u;
  m_timeouts.WriteTotalTimeoutMultiplier = writeTotalTimeoutMultiplier * 1000u;
  m_timeouts.WriteTotalTimeoutConstant = writeTotalTimeoutConstant * 1000u;

  FailedStep failed{};
  if (!ConfigureDevice(this, port, baudRate, parityCode, dataBits, stopBitsCode, &failed)) {
    m_lastOpenError = DescribeConfigurationFailure(portNumber, failed.operation, failed.error);
    m_lastOpenFailure = OpenFailure::kOther;
    // The box waits for the operator, and whoever shows it may need the link
    // meanwhile; the device stays ours until the box is gone, then closes, so
    // a port left with the driver's settings is never reported open.
    lock.unlock();
    ReportError(failed.operation, failed.error);
    m_sys->CloseHandle(port);
    return false;
  }
  // Whatever the device held from before is not ours to deliver. A failure
  // leaves nothing worse than stale bytes.
  m_sys->PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  m_port = port;
  m_claim = std::move(claim);
  m_lastOpenError.clear();
  m_lastOpenFailure = OpenFailure::kNone;
  return true;
}

// The first failing step ends the chain; its name is the operation the error box shows.
bool CSerialLink::ConfigureDevice(CSerialLink* link, HANDLE port, unsigned baudRate,
                                  char parityCode, unsigned dataBits, unsigned stopBitsCode,
                                  FailedStep* failed) {
  Win32Calls& sys = *link->m_sys;
  const auto fail = [&](const char* operation) {
    *failed = FailedStep{operation, ::GetLastError()};
    return false;
  };
  if (!sys.SetCommTimeouts(port, &link->m_timeouts)) return fail("SetCommTimeouts()");
  if (!sys.SetCommMask(port, link->m_eventMask)) return fail("SetCommMask()");
  DCB settings{};
  settings.DCBlength = sizeof settings;
  if (!sys.GetCommState(port, &settings)) return fail("GetCommState()");
  // Everything else (flow control, DTR, the special characters) goes back as
  // the driver reported it.
  settings.fRtsControl = RTS_CONTROL_ENABLE;
  settings.EvtChar = 'q';
  settings.BaudRate = baudRate;
  settings.Parity = ParityOf(parityCode);
  settings.ByteSize = static_cast<BYTE>(dataBits & 0xFFu);
  settings.StopBits = StopBitsOf(stopBitsCode);
  link->m_lineSettings = settings;
  if (!sys.SetCommState(port, &link->m_lineSettings)) return fail("SetCommState()");
  return true;
}

bool CSerialLink::StartMonitor() {
  // Without the events from Open nothing could ever stop the thread.
  if (!m_shutdownEvent || !m_writeEvent) return false;
  return m_run.Start([this] { MonitorThread(this); });
}

void CSerialLink::Send(const std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return;
  m_pending.Push(bytes, count);
  if (m_writeEvent) ::SetEvent(m_writeEvent.Get());
}

void CSerialLink::Close() {
  // At least one pass. Pumping lets a delivery that waits for this very
  // thread complete; the monitor then sees the shutdown before its next byte.
  do {
    if (m_shutdownEvent) ::SetEvent(m_shutdownEvent.Get());
    if (SerialOwner* owner = m_owner.Current()) owner->PumpMessages();
  } while (!m_run.WaitStopped(std::chrono::milliseconds(1)));
  m_run.Join();
  ClosePort();
  for (UniqueHandle* event : {&m_shutdownEvent, &m_overlappedEvent, &m_writeEvent})
    if (*event) ::ResetEvent(event->Get());
}

std::string CSerialLink::LastOpenError() const { return m_lastOpenError; }

OpenFailure CSerialLink::LastOpenFailure() const { return m_lastOpenFailure; }

void CSerialLink::DetachOwner() { m_owner.Detach(); }

void CSerialLink::ReportError(const char* operation) { ReportError(operation, ::GetLastError()); }

void CSerialLink::ReportError(const char* operation, DWORD error) {
  const std::string text = FormatErrorReport(operation, SystemErrorText(error), m_portNumber);
  // With no owner (at exit, after it detached) the report still goes somewhere.
  if (!m_owner.ShowError(text, kErrorCaption)) {
    std::fprintf(stderr, "%s: %s\n", kErrorCaption, text.c_str());
  }
}

void CSerialLink::ClosePort() {
  HANDLE port = nullptr;
  {
    std::lock_guard lock(m_ioLock);
    port = std::exchange(m_port, nullptr);
  }
  if (port != nullptr) {
    // Output held back by flow control would otherwise keep the close waiting
    // in the driver. Received bytes are left alone; they go with the handle.
    m_sys->PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
    m_sys->CloseHandle(port);
  }
  m_claim.Reset();
}

bool CSerialLink::MonitorRunning() const { return m_run.Running(); }

bool CSerialLink::DeviceOpen() const {
  std::lock_guard lock(m_ioLock);
  return m_port != nullptr;
}

void CSerialLink::StopMonitorWithoutPumping() {
  m_run.StopWithoutPumping([this] {
    if (m_shutdownEvent) ::SetEvent(m_shutdownEvent.Get());
  });
}

}  // namespace quorvane
