// The Windows link's events and device: the claim on a port number, the
// exclusive overlapped open, the configuration chain named after the steps
// the error box shows, and the close.
#include "serial/win32/link_platform.h"

#include <cstdio>
#include <utility>

#include "serial/serial_link.h"
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

std::unique_ptr<PortIo> MakePortIo(std::filesystem::path deviceDirectory, SystemCalls& sys) {
  return std::make_unique<LinkPlatform>(std::move(deviceDirectory), sys);
}

const LinkPlatform& CSerialLink::Platform() const {
  return static_cast<const LinkPlatform&>(*m_io);
}

LinkPlatform::LinkPlatform(std::filesystem::path deviceDirectory, SystemCalls& sys)
    : m_sys(&sys), m_ports(std::move(deviceDirectory), sys) {}

// The link closes its device before it lets go of this part; a device still
// here was never handed to it.
LinkPlatform::~LinkPlatform() {
  for (HANDLE port : {m_port, m_opening, m_closing})
    if (port != nullptr) m_sys->CloseHandle(port);
}

bool LinkPlatform::PrepareForOpen() {
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

  m_armed = InputWait::kNone;
  m_eventWaitUsable = true;
  m_emptyEvents = 0;
  m_waitFailures.End();
  m_readFailures.End();
  m_queryFailures.End();
  m_writeFailures.End();
  return true;
}

bool LinkPlatform::EventsReady() const { return m_shutdownEvent && m_writeEvent; }

void LinkPlatform::ResetEvents() {
  for (UniqueHandle* event : {&m_shutdownEvent, &m_overlappedEvent, &m_writeEvent})
    if (*event) ::ResetEvent(event->Get());
}

void LinkPlatform::SignalShutdown() {
  if (m_shutdownEvent) ::SetEvent(m_shutdownEvent.Get());
}

void LinkPlatform::SignalWrite() {
  if (m_writeEvent) ::SetEvent(m_writeEvent.Get());
}

bool LinkPlatform::ShutdownSignalled() const {
  return ::WaitForSingleObject(m_shutdownEvent.Get(), 0) == WAIT_OBJECT_0;
}

void LinkPlatform::ResetWriteSignal() { ::ResetEvent(m_writeEvent.Get()); }

std::optional<OpenRefusal> LinkPlatform::OpenDevice(unsigned portNumber) {
  UniqueHandle claim;
  if (ClaimPort(portNumber, &claim) == Claim::kHeldElsewhere)
    return OpenRefusal{DescribeOpenFailure(portNumber, ERROR_ACCESS_DENIED), OpenFailure::kBusy};
  const HANDLE port =
      m_sys->CreateFileA(m_ports.DevicePath(portNumber).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  if (port == INVALID_HANDLE_VALUE || port == nullptr) {
    // Taken once: building the sentence may call the system again.
    const DWORD error = ::GetLastError();
    return OpenRefusal{DescribeOpenFailure(portNumber, error), ClassifyOpenFailure(error)};
  }
  m_opening = port;
  m_openingClaim = std::move(claim);
  return std::nullopt;
}

// The first failing step ends the chain; its name is the operation the error box shows.
std::optional<FailedStep> LinkPlatform::ConfigureDevice(unsigned portNumber,
                                                        const LineSettings& line,
                                                        const CommTimeouts& timeouts,
                                                        std::uint32_t eventMask) {
  const auto failed = [&](const char* operation) {
    const DWORD error = ::GetLastError();
    return FailedStep{operation, error, DescribeConfigurationFailure(portNumber, operation, error)};
  };
  m_timeouts.ReadIntervalTimeout = timeouts.readIntervalTimeout;
  m_timeouts.ReadTotalTimeoutMultiplier = timeouts.readTotalTimeoutMultiplier;
  m_timeouts.ReadTotalTimeoutConstant = timeouts.readTotalTimeoutConstant;
  m_timeouts.WriteTotalTimeoutMultiplier = timeouts.writeTotalTimeoutMultiplier;
  m_timeouts.WriteTotalTimeoutConstant = timeouts.writeTotalTimeoutConstant;
  if (!m_sys->SetCommTimeouts(m_opening, &m_timeouts)) return failed("SetCommTimeouts()");
  if (!m_sys->SetCommMask(m_opening, eventMask)) return failed("SetCommMask()");
  DCB settings{};
  settings.DCBlength = sizeof settings;
  if (!m_sys->GetCommState(m_opening, &settings)) return failed("GetCommState()");
  // Everything else (flow control, DTR, the special characters) goes back as
  // the driver reported it.
  settings.fRtsControl = RTS_CONTROL_ENABLE;
  settings.EvtChar = 'q';
  settings.BaudRate = line.baudRate;
  settings.Parity = ParityOf(line.parityCode);
  settings.ByteSize = static_cast<BYTE>(line.dataBits & 0xFFu);
  settings.StopBits = StopBitsOf(line.stopBitsCode);
  m_lineSettings = settings;
  if (!m_sys->SetCommState(m_opening, &m_lineSettings)) return failed("SetCommState()");
  return std::nullopt;
}

void LinkPlatform::AdoptDevice() {
  // Whatever the device held from before is not ours to deliver. A failure
  // leaves nothing worse than stale bytes.
  m_sys->PurgeComm(m_opening, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  m_port = std::exchange(m_opening, nullptr);
  m_claim = std::move(m_openingClaim);
}

void LinkPlatform::DiscardDevice() {
  if (m_opening != nullptr) m_sys->CloseHandle(std::exchange(m_opening, nullptr));
  m_openingClaim.Reset();
}

bool LinkPlatform::DeviceOpen() const { return m_port != nullptr; }

bool LinkPlatform::TakeDevice() {
  m_closing = std::exchange(m_port, nullptr);
  m_closingClaim = std::move(m_claim);
  return m_closing != nullptr;
}

SystemError LinkPlatform::CloseTakenDevice() {
  const HANDLE port = std::exchange(m_closing, nullptr);
  // Output held back by flow control would otherwise keep the close waiting
  // in the driver. Received bytes are left alone; they go with the handle.
  m_sys->PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
  const SystemError error = m_sys->CloseHandle(port) ? 0 : ::GetLastError();
  m_closingClaim.Reset();
  return error;
}

bool LinkPlatform::WaitForShutdown(std::chrono::milliseconds period) {
  return ::WaitForSingleObject(m_shutdownEvent.Get(), static_cast<DWORD>(period.count())) !=
         WAIT_FAILED;
}

SystemError LinkPlatform::LastError() const { return ::GetLastError(); }

std::string LinkPlatform::ErrorText(SystemError error) const { return SystemErrorText(error); }

bool LinkPlatform::IsDeviceGone(SystemError error) const { return IsDeviceGoneError(error); }

}  // namespace quorvane
