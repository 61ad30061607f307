// The monitor thread: waits on shutdown, write requests and the port, in that
// priority, writes pending frames and hands received bytes to the owner.
#include <algorithm>
#include <optional>
#include <utility>

#include "serial/win32/error_text.h"
#include "serial/win32/serial_link.h"

namespace quorvane {
namespace {

// Event waits in a row that find nothing to read before the port is watched
// with a waiting read instead: one such wake after a drain is normal (the
// event was raised by a byte the drain already took), a run of them is a
// driver that does not wait.
constexpr unsigned kMaxEmptyEvents = 8;

bool Signalled(HANDLE event) { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

int CSerialLink::MonitorThread(CSerialLink* link) {
  link->m_monitorThreadId = ::GetCurrentThreadId();
  // monitorRunning was set by StartMonitor before this thread existed.
  {
    std::lock_guard lock(link->m_ioLock);
    if (link->m_port != nullptr)
      link->m_sys->PurgeComm(link->m_port,
                             PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }
  for (;;) {
    const bool watch =
        link->m_port != nullptr && !link->m_portLost && (link->m_eventMask & EV_RXCHAR) != 0;
    if (watch && link->m_armed == InputWait::kNone) ArmInputWait(link);
    // Stop before write, write before read: the lowest signalled index is served.
    const HANDLE waitSet[3] = {link->m_shutdownEvent.Get(), link->m_writeEvent.Get(),
                               link->m_armed == InputWait::kRead ? link->m_readEvent.Get()
                                                                 : link->m_overlappedEvent.Get()};
    const DWORD count = link->m_armed == InputWait::kNone ? 2 : 3;
    // A port still watched whose wait could not start is tried again after
    // the pause its failure took; meanwhile a stop or a write is served first.
    const bool retryArming = watch && !link->m_portLost && link->m_armed == InputWait::kNone;
    const DWORD woke = ::WaitForMultipleObjects(count, waitSet, FALSE, retryArming ? 0 : INFINITE);
    if (woke == WAIT_TIMEOUT) continue;
    if (woke == WAIT_OBJECT_0) break;
    if (woke == WAIT_OBJECT_0 + 1) {
      link->m_waitFailures = 0;
      WriteQueued(link);
    } else if (woke == WAIT_OBJECT_0 + 2) {
      link->m_waitFailures = 0;
      InputSignalled(link);
    } else {
      // A wait that failed fails again at once: one box for the whole run,
      // and a growing pause between tries instead of a spin.
      Failed(link, &link->m_waitFailures, "WaitCommEvent()", ::GetLastError());
      if (PauseAfterFailure(link, link->m_waitFailures)) break;
    }
  }
  CancelInputWait(link);
  link->m_monitorThreadId = 0;
  link->m_run.MarkStopped();  // the last access to the link
  return kMonitorExitCode;
}

// Starts the wait for input: a port event where the driver supports one, a
// one-byte read otherwise. Leaves m_armed at kNone when neither could start.
void CSerialLink::ArmInputWait(CSerialLink* link) {
  Win32Calls& sys = *link->m_sys;
  if (link->m_eventWaitUsable) {
    BOOL started = FALSE;
    DWORD error = 0;
    {
      std::lock_guard lock(link->m_ioLock);
      link->m_eventWord = 0;
      started = sys.WaitCommEvent(link->m_port, &link->m_eventWord, &link->m_waitOverlapped);
      if (!started) error = ::GetLastError();
    }
    // An event already there has signalled the record's event too: the
    // three-way wait serves it in its turn, after a stop or a write.
    if (started || error == ERROR_IO_PENDING) {
      link->m_armed = InputWait::kEvent;
      return;
    }
    EventWaitFailed(link, error);
    if (link->m_portLost || link->m_eventWaitUsable) return;
  }
  DWORD error = 0;
  BOOL started = FALSE;
  {
    std::lock_guard lock(link->m_ioLock);
    started = sys.ReadFile(link->m_port, &link->m_waitByte, 1, &link->m_readOverlapped);
    if (!started) error = ::GetLastError();
  }
  if (started || error == ERROR_IO_PENDING) {
    link->m_armed = InputWait::kRead;
    return;
  }
  if (IsDeviceGoneError(error)) return PortLost(link);
  Failed(link, &link->m_readFailures, "ReadFile()", error);
  PauseAfterFailure(link, link->m_readFailures);
}

// The wait for input has ended; its record tells how.
void CSerialLink::InputSignalled(CSerialLink* link) {
  Win32Calls& sys = *link->m_sys;
  const InputWait armed = std::exchange(link->m_armed, InputWait::kNone);
  if (armed == InputWait::kEvent) {
    DWORD ignored = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
    {
      std::lock_guard lock(link->m_ioLock);
      ok = sys.GetOverlappedResult(link->m_port, &link->m_waitOverlapped, &ignored, FALSE);
      if (!ok) error = ::GetLastError();
    }
    if (!ok) return EventWaitFailed(link, error);
    // The mask was EV_RXCHAR; the event word is not needed to know what to do.
    if (DrainInput(link) > 0) {
      link->m_emptyEvents = 0;
    } else if (++link->m_emptyEvents >= kMaxEmptyEvents) {
      link->m_eventWaitUsable = false;
    }
    return;
  }
  if (armed != InputWait::kRead) return;
  DWORD count = 0;
  BOOL ok = FALSE;
  DWORD error = 0;
  {
    std::lock_guard lock(link->m_ioLock);
    ok = sys.GetOverlappedResult(link->m_port, &link->m_readOverlapped, &count, FALSE);
    if (!ok) error = ::GetLastError();
  }
  if (!ok) {
    if (IsDeviceGoneError(error)) return PortLost(link);
    Failed(link, &link->m_readFailures, "GetOverlappedResults() in ReadFile()", error);
    PauseAfterFailure(link, link->m_readFailures);
    return;
  }
  if (count == 0) {
    // The read time-outs ran out with nothing received. Only time-outs far
    // shorter than the panel's make that happen often; the pause keeps such
    // a port from costing a spin.
    ++link->m_readFailures;
    PauseAfterFailure(link, link->m_readFailures);
    return;
  }
  link->m_readFailures = 0;
  link->m_owner.DeliverByte(link->m_waitByte, link->m_portNumber);
  DrainInput(link);
}

// The event wait ended without an event, or would not start. A vanished
// device says so when asked for its queue; a device that answers simply has
// no usable event wait, and is watched with a waiting read from now on.
void CSerialLink::EventWaitFailed(CSerialLink* link, DWORD error) {
  DWORD errors = 0;
  COMSTAT status{};
  BOOL queried = FALSE;
  DWORD queryError = 0;
  {
    std::lock_guard lock(link->m_ioLock);
    queried = link->m_sys->ClearCommError(link->m_port, &errors, &status);
    if (!queried) queryError = ::GetLastError();
  }
  if (!queried && IsDeviceGoneError(queryError)) return PortLost(link);
  if (IsDeviceGoneError(error) && error != ERROR_OPERATION_ABORTED) return PortLost(link);
  link->m_eventWaitUsable = false;
  // An event wait ended by the driver, or refused as not supported, is no
  // news to the operator; anything else is shown once.
  if (error != ERROR_OPERATION_ABORTED && error != ERROR_INVALID_PARAMETER &&
      error != ERROR_NOT_SUPPORTED)
    Failed(link, &link->m_waitFailures, "WaitCommEvent()", error);
  if (queried && status.cbInQue > 0) DrainInput(link);
}

void CSerialLink::WriteQueued(CSerialLink* link) {
  // Reset first: a Send from here on sets it again and earns another pass.
  ::ResetEvent(link->m_writeEvent.Get());
  while (!Signalled(link->m_shutdownEvent.Get())) {
    std::optional<Frame> frame = link->m_pending.Pop();
    if (!frame) return;
    // The frame is ours alone now: later Sends queue behind it and cannot alter it.
    if (link->m_port == nullptr || link->m_portLost) continue;  // no device to write to: dropped
    WriteFrame(link, *frame);
  }
}

void CSerialLink::WriteFrame(CSerialLink* link, const Frame& frame) {
  Win32Calls& sys = *link->m_sys;
  DWORD error = 0;
  IoStatus status = IoStatus::kDone;
  const char* operation = "WriteFile()";
  {
    std::lock_guard lock(link->m_ioLock);
    // Clear output that is stuck, and only that: our previous frame may still
    // be on its way out, so it gets its line time first. Received bytes not
    // yet read are left alone, so the replies they hold are still delivered.
    DWORD errors = 0;
    COMSTAT state{};
    if (sys.ClearCommError(link->m_port, &errors, &state) && state.cbOutQue > 0) {
      const DWORD rate = link->m_lineSettings.BaudRate == 0 ? 9600 : link->m_lineSettings.BaudRate;
      // Start, data, parity and stop bits: at most 12 bit times per character.
      const DWORD lineTime = 1 + static_cast<DWORD>((state.cbOutQue * 12ull * 1000) / rate);
      ::WaitForSingleObject(link->m_shutdownEvent.Get(), lineTime);
      if (sys.ClearCommError(link->m_port, &errors, &state) && state.cbOutQue > 0)
        sys.PurgeComm(link->m_port, PURGE_TXABORT | PURGE_TXCLEAR);
    }
    link->m_writeOverlapped.Offset = 0;
    link->m_writeOverlapped.OffsetHigh = 0;
    if (!sys.WriteFile(link->m_port, frame.data(), static_cast<DWORD>(frame.size()),
                       &link->m_writeOverlapped)) {
      error = ::GetLastError();
      if (error == ERROR_IO_PENDING) {
        DWORD written = 0;
        status = FinishIo(link, &link->m_writeOverlapped, &written, &error);
        operation = "GetOverlappedResults() in WriteFile()";
      } else {
        status = IoStatus::kFailed;
      }
    } else {
      // Finished at once; the record still holds the outcome.
      DWORD written = 0;
      if (!sys.GetOverlappedResult(link->m_port, &link->m_writeOverlapped, &written, FALSE)) {
        error = ::GetLastError();
        status = IoStatus::kFailed;
      }
    }
    if (status == IoStatus::kFailed && IsDeviceGoneError(error)) status = IoStatus::kGone;
  }
  // Boxes and notices with no lock held.
  switch (status) {
    case IoStatus::kDone:
      link->m_writeFailures = 0;
      return;
    case IoStatus::kGone:
      return PortLost(link);
    case IoStatus::kFailed:
    case IoStatus::kWaitFailed:
      return Failed(link, &link->m_writeFailures, operation, error);
    case IoStatus::kStopped:
      return;
  }
}

std::size_t CSerialLink::DrainInput(CSerialLink* link) {
  std::size_t delivered = 0;
  // The shutdown test before every byte lets Close end a long burst early.
  while (!link->m_portLost && !Signalled(link->m_shutdownEvent.Get())) {
    DWORD errors = 0;
    COMSTAT status{};
    BOOL queried = FALSE;
    DWORD error = 0;
    {
      std::lock_guard lock(link->m_ioLock);
      queried = link->m_sys->ClearCommError(link->m_port, &errors, &status);
      if (!queried) error = ::GetLastError();
    }
    if (!queried) {
      if (IsDeviceGoneError(error)) {
        PortLost(link);
      } else {
        Failed(link, &link->m_queryFailures, "ClearCommError()", error);
        PauseAfterFailure(link, link->m_queryFailures);
      }
      break;
    }
    link->m_queryFailures = 0;
    if (status.cbInQue == 0) break;
    std::uint8_t byte = 0;
    const IoStatus read = ReadOneByte(link, &byte, &error);
    if (read == IoStatus::kDone) {
      link->m_readFailures = 0;
      ++delivered;
      // The owner is called with no lock held.
      link->m_owner.DeliverByte(byte, link->m_portNumber);
      continue;
    }
    if (read == IoStatus::kGone) {
      PortLost(link);
    } else if (read == IoStatus::kFailed || read == IoStatus::kWaitFailed) {
      Failed(link, &link->m_readFailures,
             read == IoStatus::kFailed ? "ReadFile()" : "GetOverlappedResults() in ReadFile()",
             error);
      PauseAfterFailure(link, link->m_readFailures);
    }
    break;
  }
  return delivered;
}

CSerialLink::IoStatus CSerialLink::ReadOneByte(CSerialLink* link, std::uint8_t* byte,
                                               DWORD* error) {
  std::lock_guard lock(link->m_ioLock);
  Win32Calls& sys = *link->m_sys;
  DWORD count = 0;
  IoStatus status = IoStatus::kDone;
  if (sys.ReadFile(link->m_port, byte, 1, &link->m_readOverlapped)) {
    if (!sys.GetOverlappedResult(link->m_port, &link->m_readOverlapped, &count, FALSE)) {
      *error = ::GetLastError();
      status = IoStatus::kFailed;
    }
  } else if ((*error = ::GetLastError()) == ERROR_IO_PENDING) {
    status = FinishIo(link, &link->m_readOverlapped, &count, error);
  } else {
    status = IoStatus::kFailed;
  }
  if ((status == IoStatus::kFailed || status == IoStatus::kWaitFailed) && IsDeviceGoneError(*error))
    return IoStatus::kGone;
  if (status == IoStatus::kDone && count != 1) return IoStatus::kStopped;  // timed out: none read
  return status;
}

// Called with m_ioLock held. The time-outs the panel sets are long (1000 s),
// so a wait that shutdown could not end would hold up Close for that long.
CSerialLink::IoStatus CSerialLink::FinishIo(CSerialLink* link, OVERLAPPED* overlapped, DWORD* count,
                                            DWORD* error) {
  const HANDLE waitSet[2] = {link->m_shutdownEvent.Get(), overlapped->hEvent};
  const DWORD woke = ::WaitForMultipleObjects(2, waitSet, FALSE, INFINITE);
  if (woke == WAIT_OBJECT_0) {
    ::CancelIoEx(link->m_port, overlapped);
    // The record must not be written by the system after we leave.
    link->m_sys->GetOverlappedResult(link->m_port, overlapped, count, TRUE);
    return IoStatus::kStopped;
  }
  if (woke != WAIT_OBJECT_0 + 1) {
    *error = ::GetLastError();
    ::CancelIoEx(link->m_port, overlapped);
    link->m_sys->GetOverlappedResult(link->m_port, overlapped, count, TRUE);
    return IoStatus::kWaitFailed;
  }
  if (!link->m_sys->GetOverlappedResult(link->m_port, overlapped, count, FALSE)) {
    *error = ::GetLastError();
    return IoStatus::kWaitFailed;
  }
  return IoStatus::kDone;
}

// At exit the pending wait is cancelled and its end awaited: the system must
// not write into the records after the thread has left them.
void CSerialLink::CancelInputWait(CSerialLink* link) {
  const InputWait armed = std::exchange(link->m_armed, InputWait::kNone);
  if (armed == InputWait::kNone) return;
  OVERLAPPED* overlapped =
      armed == InputWait::kEvent ? &link->m_waitOverlapped : &link->m_readOverlapped;
  std::lock_guard lock(link->m_ioLock);
  DWORD ignored = 0;
  ::CancelIoEx(link->m_port, overlapped);
  link->m_sys->GetOverlappedResult(link->m_port, overlapped, &ignored, TRUE);
}

// One box for a run of failures of the same kind; the run ends with a success.
void CSerialLink::Failed(CSerialLink* link, unsigned* failures, const char* operation,
                         DWORD error) {
  if ((*failures)++ == 0) link->ReportError(operation, error);
}

// Waits on the shutdown event alone, 10 ms after the first failure of a run,
// doubling up to a second, so a lasting fault costs nothing and Close is never
// held up. True when shutdown was asked for.
bool CSerialLink::PauseAfterFailure(CSerialLink* link, unsigned failures) {
  const DWORD pause = std::min(10u << std::min(failures == 0 ? 0u : failures - 1, 7u), 1000u);
  if (::WaitForSingleObject(link->m_shutdownEvent.Get(), pause) == WAIT_FAILED) ::Sleep(pause);
  return Signalled(link->m_shutdownEvent.Get());
}

// The device is gone: stop watching it so a dead handle cannot keep waking
// the thread, and tell the owner once. Shutdown and writes are still served;
// writes are dropped.
void CSerialLink::PortLost(CSerialLink* link) {
  if (link->m_portLost) return;
  link->m_portLost = true;
  link->m_owner.PortLost(link->m_portNumber);
}

}  // namespace quorvane
