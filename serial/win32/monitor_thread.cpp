// The Windows monitor thread: waits on shutdown, write requests and the port,
// in that priority, and hands received bytes to the owner.
#include <mutex>
#include <utility>

#include "serial/serial_link_interface.h"
#include "serial/win32/error_text.h"
#include "serial/win32/link_platform.h"

namespace quorvane {
namespace {

// Event waits in a row that find nothing to read before the port is watched
// with a waiting read instead: one such wake after a drain is normal (the
// event was raised by a byte the drain already took), a run of them is a
// driver that does not wait.
constexpr unsigned kMaxEmptyEvents = 8;

}  // namespace

void LinkPlatform::RunMonitor(LinkMonitor& link) {
  m_monitorThreadId = ::GetCurrentThreadId();
  {
    std::lock_guard lock(link.IoLock());
    if (m_port != nullptr)
      m_sys->PurgeComm(m_port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }
  for (;;) {
    const bool watch = m_port != nullptr && !link.PortLost() && (link.EventMask() & EV_RXCHAR) != 0;
    if (watch && m_armed == InputWait::kNone) ArmInputWait(link);
    // Stop before write, write before read: the lowest signalled index is served.
    const HANDLE waitSet[3] = {
        m_shutdownEvent.Get(), m_writeEvent.Get(),
        m_armed == InputWait::kRead ? m_readEvent.Get() : m_overlappedEvent.Get()};
    const DWORD count = m_armed == InputWait::kNone ? 2 : 3;
    // A port still watched whose wait could not start is tried again after
    // the pause its failure took; meanwhile a stop or a write is served first.
    const bool retryArming = watch && !link.PortLost() && m_armed == InputWait::kNone;
    const DWORD woke = ::WaitForMultipleObjects(count, waitSet, FALSE, retryArming ? 0 : INFINITE);
    if (woke == WAIT_TIMEOUT) continue;
    if (woke == WAIT_OBJECT_0) break;
    if (woke == WAIT_OBJECT_0 + 1) {
      m_waitFailures.End();
      link.WriteQueued();
    } else if (woke == WAIT_OBJECT_0 + 2) {
      m_waitFailures.End();
      InputSignalled(link);
    } else {
      // A wait that failed fails again at once: one box for the whole run,
      // and a growing pause between tries instead of a spin.
      link.Failed(m_waitFailures, "WaitCommEvent()", ::GetLastError());
      if (link.PauseAfterFailure(m_waitFailures)) break;
    }
  }
  CancelInputWait(link);
  m_monitorThreadId = 0;
}

// Starts the wait for input: a port event where the driver supports one, a
// one-byte read otherwise. Leaves m_armed at kNone when neither could start.
void LinkPlatform::ArmInputWait(LinkMonitor& link) {
  if (m_eventWaitUsable) {
    BOOL started = FALSE;
    DWORD error = 0;
    {
      std::lock_guard lock(link.IoLock());
      m_eventWord = 0;
      started = m_sys->WaitCommEvent(m_port, &m_eventWord, &m_waitOverlapped);
      if (!started) error = ::GetLastError();
    }
    // An event already there has signalled the record's event too: the
    // three-way wait serves it in its turn, after a stop or a write.
    if (started || error == ERROR_IO_PENDING) {
      m_armed = InputWait::kEvent;
      return;
    }
    EventWaitFailed(link, error);
    if (link.PortLost() || m_eventWaitUsable) return;
  }
  DWORD error = 0;
  BOOL started = FALSE;
  {
    std::lock_guard lock(link.IoLock());
    started = m_sys->ReadFile(m_port, &m_waitByte, 1, &m_readOverlapped);
    if (!started) error = ::GetLastError();
  }
  if (started || error == ERROR_IO_PENDING) {
    m_armed = InputWait::kRead;
    return;
  }
  if (IsDeviceGoneError(error)) return link.LosePort();
  link.Failed(m_readFailures, "ReadFile()", error);
  link.PauseAfterFailure(m_readFailures);
}

// The wait for input has ended; its record tells how.
void LinkPlatform::InputSignalled(LinkMonitor& link) {
  const InputWait armed = std::exchange(m_armed, InputWait::kNone);
  if (armed == InputWait::kEvent) {
    DWORD ignored = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
    {
      std::lock_guard lock(link.IoLock());
      ok = m_sys->GetOverlappedResult(m_port, &m_waitOverlapped, &ignored, FALSE);
      if (!ok) error = ::GetLastError();
    }
    if (!ok) return EventWaitFailed(link, error);
    // The mask was EV_RXCHAR; the event word is not needed to know what to do.
    if (DrainInput(link) > 0) {
      m_emptyEvents = 0;
    } else if (++m_emptyEvents >= kMaxEmptyEvents) {
      m_eventWaitUsable = false;
    }
    return;
  }
  if (armed != InputWait::kRead) return;
  DWORD count = 0;
  BOOL ok = FALSE;
  DWORD error = 0;
  {
    std::lock_guard lock(link.IoLock());
    ok = m_sys->GetOverlappedResult(m_port, &m_readOverlapped, &count, FALSE);
    if (!ok) error = ::GetLastError();
  }
  if (!ok) {
    if (IsDeviceGoneError(error)) return link.LosePort();
    link.Failed(m_readFailures, "GetOverlappedResults() in ReadFile()", error);
    link.PauseAfterFailure(m_readFailures);
    return;
  }
  if (count == 0) {
    // The read time-outs ran out with nothing received. Only time-outs far
    // shorter than the panel's make that happen often; the pause keeps such
    // a port from costing a spin.
    m_readFailures.Count();
    link.PauseAfterFailure(m_readFailures);
    return;
  }
  m_readFailures.End();
  link.Deliver(m_waitByte);
  DrainInput(link);
}

// The event wait ended without an event, or would not start. A vanished
// device says so when asked for its queue; a device that answers simply has
// no usable event wait, and is watched with a waiting read from now on.
void LinkPlatform::EventWaitFailed(LinkMonitor& link, DWORD error) {
  DWORD errors = 0;
  COMSTAT status{};
  BOOL queried = FALSE;
  DWORD queryError = 0;
  {
    std::lock_guard lock(link.IoLock());
    queried = m_sys->ClearCommError(m_port, &errors, &status);
    if (!queried) queryError = ::GetLastError();
  }
  if (!queried && IsDeviceGoneError(queryError)) return link.LosePort();
  if (IsDeviceGoneError(error) && error != ERROR_OPERATION_ABORTED) return link.LosePort();
  m_eventWaitUsable = false;
  // An event wait ended by the driver, or refused as not supported, is no
  // news to the operator; anything else is shown once.
  if (error != ERROR_OPERATION_ABORTED && error != ERROR_INVALID_PARAMETER &&
      error != ERROR_NOT_SUPPORTED)
    link.Failed(m_waitFailures, "WaitCommEvent()", error);
  if (queried && status.cbInQue > 0) DrainInput(link);
}

void LinkPlatform::WriteFrame(LinkMonitor& link, const Frame& frame) {
  DWORD error = 0;
  IoStatus status = IoStatus::kDone;
  const char* operation = "WriteFile()";
  {
    std::lock_guard lock(link.IoLock());
    // Clear output that is stuck, and only that: our previous frame may still
    // be on its way out, so it gets its line time first. Received bytes not
    // yet read are left alone, so the replies they hold are still delivered.
    DWORD errors = 0;
    COMSTAT state{};
    if (m_sys->ClearCommError(m_port, &errors, &state) && state.cbOutQue > 0) {
      const DWORD rate = m_lineSettings.BaudRate == 0 ? 9600 : m_lineSettings.BaudRate;
      // Start, data, parity and stop bits: at most 12 bit times per character.
      const DWORD lineTime = 1 + static_cast<DWORD>((state.cbOutQue * 12ull * 1000) / rate);
      ::WaitForSingleObject(m_shutdownEvent.Get(), lineTime);
      if (m_sys->ClearCommError(m_port, &errors, &state) && state.cbOutQue > 0)
        m_sys->PurgeComm(m_port, PURGE_TXABORT | PURGE_TXCLEAR);
    }
    m_writeOverlapped.Offset = 0;
    m_writeOverlapped.OffsetHigh = 0;
    if (!m_sys->WriteFile(m_port, frame.data(), static_cast<DWORD>(frame.size()),
                          &m_writeOverlapped)) {
      error = ::GetLastError();
      if (error == ERROR_IO_PENDING) {
        DWORD written = 0;
        status = FinishIo(&m_writeOverlapped, &written, &error);
        operation = "GetOverlappedResults() in WriteFile()";
      } else {
        status = IoStatus::kFailed;
      }
    } else {
      // Finished at once; the record still holds the outcome.
      DWORD written = 0;
      if (!m_sys->GetOverlappedResult(m_port, &m_writeOverlapped, &written, FALSE)) {
        error = ::GetLastError();
        status = IoStatus::kFailed;
      }
    }
    if (status == IoStatus::kFailed && IsDeviceGoneError(error)) status = IoStatus::kGone;
  }
  // Boxes and notices with no lock held.
  switch (status) {
    case IoStatus::kDone:
      m_writeFailures.End();
      return;
    case IoStatus::kGone:
      return link.LosePort();
    case IoStatus::kFailed:
    case IoStatus::kWaitFailed:
      return link.Failed(m_writeFailures, operation, error);
    case IoStatus::kStopped:
      return;
  }
}

std::size_t LinkPlatform::DrainInput(LinkMonitor& link) {
  std::size_t delivered = 0;
  // The shutdown test before every byte lets Close end a long burst early.
  while (!link.PortLost() && !ShutdownSignalled()) {
    DWORD errors = 0;
    COMSTAT status{};
    BOOL queried = FALSE;
    DWORD error = 0;
    {
      std::lock_guard lock(link.IoLock());
      queried = m_sys->ClearCommError(m_port, &errors, &status);
      if (!queried) error = ::GetLastError();
    }
    if (!queried) {
      if (IsDeviceGoneError(error)) {
        link.LosePort();
      } else {
        link.Failed(m_queryFailures, "ClearCommError()", error);
        link.PauseAfterFailure(m_queryFailures);
      }
      break;
    }
    m_queryFailures.End();
    if (status.cbInQue == 0) break;
    std::uint8_t byte = 0;
    const IoStatus read = ReadOneByte(link, &byte, &error);
    if (read == IoStatus::kDone) {
      m_readFailures.End();
      ++delivered;
      // The owner is called with no lock held.
      link.Deliver(byte);
      continue;
    }
    if (read == IoStatus::kGone) {
      link.LosePort();
    } else if (read == IoStatus::kFailed || read == IoStatus::kWaitFailed) {
      link.Failed(m_readFailures,
                  read == IoStatus::kFailed ? "ReadFile()" : "GetOverlappedResults() in ReadFile()",
                  error);
      link.PauseAfterFailure(m_readFailures);
    }
    break;
  }
  return delivered;
}

LinkPlatform::IoStatus LinkPlatform::ReadOneByte(LinkMonitor& link, std::uint8_t* byte,
                                                 DWORD* error) {
  std::lock_guard lock(link.IoLock());
  DWORD count = 0;
  IoStatus status = IoStatus::kDone;
  if (m_sys->ReadFile(m_port, byte, 1, &m_readOverlapped)) {
    if (!m_sys->GetOverlappedResult(m_port, &m_readOverlapped, &count, FALSE)) {
      *error = ::GetLastError();
      status = IoStatus::kFailed;
    }
  } else if ((*error = ::GetLastError()) == ERROR_IO_PENDING) {
    status = FinishIo(&m_readOverlapped, &count, error);
  } else {
    status = IoStatus::kFailed;
  }
  if ((status == IoStatus::kFailed || status == IoStatus::kWaitFailed) && IsDeviceGoneError(*error))
    return IoStatus::kGone;
  if (status == IoStatus::kDone && count != 1) return IoStatus::kStopped;  // timed out: none read
  return status;
}

// Called with the I/O lock held. The time-outs the panel sets are long
// (1000 s), so a wait that shutdown could not end would hold up Close for that long.
LinkPlatform::IoStatus LinkPlatform::FinishIo(OVERLAPPED* overlapped, DWORD* count, DWORD* error) {
  const HANDLE waitSet[2] = {m_shutdownEvent.Get(), overlapped->hEvent};
  const DWORD woke = ::WaitForMultipleObjects(2, waitSet, FALSE, INFINITE);
  if (woke == WAIT_OBJECT_0) {
    ::CancelIoEx(m_port, overlapped);
    // The record must not be written by the system after we leave.
    m_sys->GetOverlappedResult(m_port, overlapped, count, TRUE);
    return IoStatus::kStopped;
  }
  if (woke != WAIT_OBJECT_0 + 1) {
    *error = ::GetLastError();
    ::CancelIoEx(m_port, overlapped);
    m_sys->GetOverlappedResult(m_port, overlapped, count, TRUE);
    return IoStatus::kWaitFailed;
  }
  if (!m_sys->GetOverlappedResult(m_port, overlapped, count, FALSE)) {
    *error = ::GetLastError();
    return IoStatus::kWaitFailed;
  }
  return IoStatus::kDone;
}

// At exit the pending wait is cancelled and its end awaited: the system must
// not write into the records after the thread has left them.
void LinkPlatform::CancelInputWait(LinkMonitor& link) {
  const InputWait armed = std::exchange(m_armed, InputWait::kNone);
  if (armed == InputWait::kNone) return;
  OVERLAPPED* overlapped = armed == InputWait::kEvent ? &m_waitOverlapped : &m_readOverlapped;
  std::lock_guard lock(link.IoLock());
  DWORD ignored = 0;
  ::CancelIoEx(m_port, overlapped);
  m_sys->GetOverlappedResult(m_port, overlapped, &ignored, TRUE);
}

}  // namespace quorvane
