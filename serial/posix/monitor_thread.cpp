// The monitor thread: waits on shutdown, write requests and the port, in that
// priority, writes pending frames and hands received bytes to the owner.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "serial/posix/error_text.h"
#include "serial/posix/serial_link.h"

namespace quorvane {

int CSerialLink::MonitorThread(CSerialLink* link) {
  // monitorRunning was set by StartMonitor before this thread existed.
  {
    std::lock_guard lock(link->m_ioLock);
    if (link->m_port) link->m_port->Purge(TCIOFLUSH);
  }
  for (;;) {
    // Stop before write, write before read: the lowest ready slot is served.
    const bool watchPort =
        link->m_port && !link->m_portLost && (link->m_eventMask & EV_RXCHAR) != 0;
    const int waitSet[3] = {link->m_shutdownEvent.Fd(), link->m_writeEvent.Fd(),
                            watchPort ? link->m_port->Fd() : -1};
    const WaitResult woke = WaitAny(*link->m_sys, waitSet, 3);
    if (woke.kind == WaitResult::kFailed) {
      // A wait that failed fails again at once: one box for the whole run,
      // and a growing pause between tries instead of a spin.
      if (link->m_waitFailures++ == 0) link->ReportError("WaitCommEvent()", woke.error);
      if (PauseAfterFailure(link, link->m_waitFailures)) break;
      continue;
    }
    link->m_waitFailures = 0;
    if (woke.index == 0) break;
    if (woke.index == 1) {
      WriteQueued(link);
    } else if (woke.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      PortLost(link);
    } else {
      DrainInput(link);
    }
  }
  link->m_run.MarkStopped();  // the last access to the link
  return kMonitorExitCode;
}

void CSerialLink::WriteQueued(CSerialLink* link) {
  // Reset first: a Send from here on sets it again and earns another pass.
  link->m_writeEvent.Reset();
  while (!link->m_shutdownEvent.IsSet()) {
    std::optional<Frame> frame = link->m_pending.Pop();
    if (!frame) return;
    // The frame is ours alone now: later Sends queue behind it and cannot alter it.
    if (!link->m_port || link->m_portLost) continue;  // no device to write to: dropped
    WriteFrame(link, *frame);
  }
}

void CSerialLink::WriteFrame(CSerialLink* link, const Frame& frame) {
  int error = 0;
  IoStatus status;
  {
    std::lock_guard lock(link->m_ioLock);
    PortDevice& port = *link->m_port;
    // Clear output that is stuck, and only that: our own previous frame may
    // still be on its way out at 9600 baud, so it gets the time it needs
    // first. The input side is left alone, so unread replies are still delivered.
    if (const int unsent = port.BytesUnsent(); unsent > 0) {
      pollfd stop{link->m_shutdownEvent.Fd(), POLLIN, 0};
      const auto wait = port.TimeToSend(unsent);
      RetryOnEintr([&] { return link->m_sys->Poll(&stop, 1, static_cast<int>(wait.count())); });
      if (port.BytesUnsent() > 0) port.Purge(TCOFLUSH);
    }
    status = port.WriteAll(frame.data(), frame.size(), link->m_shutdownEvent.Fd(), &error);
  }
  switch (status) {
    case IoStatus::kGone:
      return PortLost(link);
    case IoStatus::kFailed:
      return link->ReportError("WriteFile()", error);
    case IoStatus::kWaitFailed:
      return link->ReportError("GetOverlappedResults() in WriteFile()", error);
    case IoStatus::kDone:
    case IoStatus::kStopped:
    case IoStatus::kEmpty:
      return;
  }
}

void CSerialLink::DrainInput(CSerialLink* link) {
  // The shutdown test before every byte lets Close end a long burst early.
  for (bool first = true; !link->m_shutdownEvent.IsSet(); first = false) {
    std::uint8_t byte = 0;
    int error = 0;
    bool probed = false;
    IoStatus status;
    {
      std::lock_guard lock(link->m_ioLock);
      PortDevice& port = *link->m_port;
      int waiting = 0;
      const bool queried = port.BytesWaiting(&waiting);
      if (queried && waiting > 0) {
        status = port.ReadByte(&byte, link->m_shutdownEvent.Fd(), &error);
      } else if (!queried && IsDeviceGoneError(errno)) {
        status = IoStatus::kGone;
      } else if (!first) {
        status = IoStatus::kEmpty;  // the burst is over
      } else {
        // Woken as readable, yet no count of waiting bytes: returning to the
        // wait would wake again at once. One read that does not wait settles it.
        probed = true;
        status = port.ReadByteNow(&byte, &error);
      }
    }
    // The owner is called with no lock held.
    switch (status) {
      case IoStatus::kDone:
        link->m_readFailures = 0;
        link->m_owner.DeliverByte(byte, link->m_portNumber);
        break;
      case IoStatus::kGone:
        return PortLost(link);
      case IoStatus::kFailed:
        // Readable with nothing to give and a read that fails: this is not a
        // working port (a name linked to some other device, or a dead one).
        if (probed) return PortLost(link);
        return ReadFailed(link, "ReadFile()", error);
      case IoStatus::kWaitFailed:
        return ReadFailed(link, "GetOverlappedResults() in ReadFile()", error);
      case IoStatus::kEmpty:  // nothing there after all: back to waiting
      case IoStatus::kStopped:
        return;
    }
  }
}

// The port still looks readable after a failed read, so the next pass would
// fail the same way at once: one box for the run, a growing pause between tries.
void CSerialLink::ReadFailed(CSerialLink* link, const char* operation, int error) {
  if (link->m_readFailures++ == 0) link->ReportError(operation, error);
  PauseAfterFailure(link, link->m_readFailures);
}

// Waits on the shutdown event alone, 10 ms after the first failure of a run,
// doubling up to a second, so a lasting fault costs nothing and Close is never
// held up. True when shutdown was asked for.
bool CSerialLink::PauseAfterFailure(CSerialLink* link, unsigned failures) {
  const std::chrono::milliseconds pause(std::min(10u << std::min(failures - 1, 7u), 1000u));
  pollfd stop{link->m_shutdownEvent.Fd(), POLLIN, 0};
  if (RetryOnEintr([&] { return link->m_sys->Poll(&stop, 1, static_cast<int>(pause.count())); }) <
      0)
    std::this_thread::sleep_for(pause);  // a failing poll must not turn the pause into a spin
  return link->m_shutdownEvent.IsSet();
}

// The device is gone: stop watching it so a hung-up descriptor cannot keep
// waking the thread, and tell the owner once. Shutdown and writes are still
// served; writes are dropped.
void CSerialLink::PortLost(CSerialLink* link) {
  if (link->m_portLost) return;
  link->m_portLost = true;
  link->m_owner.PortLost(link->m_portNumber);
}

}  // namespace quorvane
