// The monitor thread: waits on shutdown, write requests and the port, in that
// priority, writes pending frames and hands received bytes to the owner.
#include <poll.h>

#include "serial/error_text.h"
#include "serial/serial_link.h"

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
      link->ReportError("WaitCommEvent()", woke.error);
      continue;
    }
    if (woke.index == 0) break;
    if (woke.index == 1) {
      WriteQueued(link);
    } else if (woke.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      PortLost(link);
    } else {
      DrainInput(link);
    }
  }
  SetMonitorStopped(link);  // the last access to the link
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
      return;
  }
}

void CSerialLink::DrainInput(CSerialLink* link) {
  // The shutdown test before every byte lets Close end a long burst early.
  while (!link->m_shutdownEvent.IsSet()) {
    int waiting = 0;
    int error = 0;
    bool queried;
    {
      std::lock_guard lock(link->m_ioLock);
      queried = link->m_port->BytesWaiting(&waiting);
      error = errno;
    }
    if (!queried) {
      if (IsDeviceGoneError(error)) PortLost(link);
      return;
    }
    if (waiting == 0) return;

    std::uint8_t byte = 0;
    IoStatus status;
    {
      std::lock_guard lock(link->m_ioLock);
      status = link->m_port->ReadByte(&byte, link->m_shutdownEvent.Fd(), &error);
    }
    // The owner is called with no lock held.
    switch (status) {
      case IoStatus::kDone:
        link->m_owner.DeliverByte(byte, link->m_portNumber);
        break;
      case IoStatus::kGone:
        return PortLost(link);
      case IoStatus::kFailed:
        link->ReportError("ReadFile()", error);
        break;
      case IoStatus::kWaitFailed:
        link->ReportError("GetOverlappedResults() in ReadFile()", error);
        break;
      case IoStatus::kStopped:
        return;
    }
  }
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
