// The POSIX monitor thread: waits in one poll on shutdown, write requests and
// the port, in that priority, and hands received bytes to the owner.
#include <poll.h>

#include <mutex>

#include "serial/posix/error_text.h"
#include "serial/posix/link_platform.h"
#include "serial/serial_link_interface.h"

namespace quorvane {

void LinkPlatform::RunMonitor(LinkMonitor& link) {
  {
    std::lock_guard lock(link.IoLock());
    if (m_port) m_port->Purge(TCIOFLUSH);
  }
  for (;;) {
    // Stop before write, write before read: the lowest ready slot is served.
    const bool watchPort = m_port && !link.PortLost() && (link.EventMask() & EV_RXCHAR) != 0;
    const int waitSet[3] = {m_shutdownEvent.Fd(), m_writeEvent.Fd(), watchPort ? m_port->Fd() : -1};
    const WaitResult woke = WaitAny(*m_sys, waitSet, 3);
    if (woke.kind == WaitResult::kFailed) {
      // A wait that failed fails again at once: one box for the whole run,
      // and a growing pause between tries instead of a spin.
      link.Failed(m_waitFailures, "WaitCommEvent()", static_cast<SystemError>(woke.error));
      if (link.PauseAfterFailure(m_waitFailures)) break;
      continue;
    }
    m_waitFailures.End();
    if (woke.index == 0) break;
    if (woke.index == 1) {
      link.WriteQueued();
    } else if (woke.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      link.LosePort();
    } else {
      DrainInput(link);
    }
  }
}

void LinkPlatform::WriteFrame(LinkMonitor& link, const Frame& frame) {
  int error = 0;
  IoStatus status;
  {
    std::lock_guard lock(link.IoLock());
    PortDevice& port = *m_port;
    // Clear output that is stuck, and only that: our own previous frame may
    // still be on its way out at 9600 baud, so it gets the time it needs
    // first. The input side is left alone, so unread replies are still delivered.
    if (const int unsent = port.BytesUnsent(); unsent > 0) {
      pollfd stop{m_shutdownEvent.Fd(), POLLIN, 0};
      const auto wait = port.TimeToSend(unsent);
      RetryOnEintr([&] { return m_sys->Poll(&stop, 1, static_cast<int>(wait.count())); });
      if (port.BytesUnsent() > 0) port.Purge(TCOFLUSH);
    }
    status = port.WriteAll(frame.data(), frame.size(), m_shutdownEvent.Fd(), &error);
  }
  switch (status) {
    case IoStatus::kGone:
      return link.LosePort();
    case IoStatus::kFailed:
      return link.ReportError("WriteFile()", static_cast<SystemError>(error));
    case IoStatus::kWaitFailed:
      return link.ReportError("GetOverlappedResults() in WriteFile()",
                              static_cast<SystemError>(error));
    case IoStatus::kDone:
    case IoStatus::kStopped:
    case IoStatus::kEmpty:
      return;
  }
}

void LinkPlatform::DrainInput(LinkMonitor& link) {
  // The shutdown test before every byte lets Close end a long burst early.
  for (bool first = true; !m_shutdownEvent.IsSet(); first = false) {
    std::uint8_t byte = 0;
    int error = 0;
    bool probed = false;
    IoStatus status;
    {
      std::lock_guard lock(link.IoLock());
      PortDevice& port = *m_port;
      int waiting = 0;
      const bool queried = port.BytesWaiting(&waiting);
      if (queried && waiting > 0) {
        status = port.ReadByte(&byte, m_shutdownEvent.Fd(), &error);
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
        m_readFailures.End();
        link.Deliver(byte);
        break;
      case IoStatus::kGone:
        return link.LosePort();
      case IoStatus::kFailed:
        // Readable with nothing to give and a read that fails: this is not a
        // working port (a name linked to some other device, or a dead one).
        if (probed) return link.LosePort();
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
void LinkPlatform::ReadFailed(LinkMonitor& link, const char* operation, int error) {
  link.Failed(m_readFailures, operation, static_cast<SystemError>(error));
  link.PauseAfterFailure(m_readFailures);
}

}  // namespace quorvane
