// The half of the monitor thread that both platforms share: the loop that
// writes the queued frames, the lost port told once, and runs of failures
// shown in one box with a growing pause between tries.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "serial/frame_queue.h"
#include "serial/owner_gate.h"
#include "serial/port_io.h"

namespace quorvane {

inline constexpr const char* kSerialErrorCaption = "Application Error";

// A run of failures of one kind, ended by a success. Monitor thread only.
class FailureRun {
 public:
  // Counts one failure; true for the first of the run, the one to report.
  bool Count() { return m_failures++ == 0; }
  void End() { m_failures = 0; }
  unsigned Length() const { return m_failures; }

 private:
  unsigned m_failures = 0;
};

// Threads: Begin runs on the owner's thread while no monitor runs;
// ReportError on whichever thread found the failure; the rest on the monitor
// thread.
class LinkMonitor {
 public:
  LinkMonitor(PortIo& io, FrameQueue& pending, OwnerGate& owner, std::mutex& ioLock)
      : m_io(io), m_pending(pending), m_owner(owner), m_ioLock(ioLock) {}
  LinkMonitor(const LinkMonitor&) = delete;
  LinkMonitor& operator=(const LinkMonitor&) = delete;

  // A new port: its number and event mask, and nothing lost yet.
  void Begin(unsigned portNumber, std::uint32_t eventMask);
  unsigned PortNumber() const { return m_portNumber; }
  std::uint32_t EventMask() const { return m_eventMask; }

  // Serialises device work between the owner's thread and the monitor's.
  // Never held while the owner is called.
  std::mutex& IoLock() { return m_ioLock; }

  bool PortLost() const { return m_portLost; }
  // The device is gone: the monitor stops watching it so a dead device cannot
  // keep waking the thread, and the owner is told once. Shutdown and writes
  // are still served; writes are dropped.
  void LosePort();
  // Hands one received byte to the owner; call it with no lock held.
  void Deliver(std::uint8_t byte);
  // Writes the queued frames, oldest first, until the queue is empty or
  // shutdown is asked for.
  void WriteQueued();

  // Shows the box for the first failure of the run only: a failure that
  // lasts repeats at once, and one box is all the operator needs.
  void Failed(FailureRun& run, const char* operation, SystemError error);
  // Waits on the shutdown event alone, 10 ms after the first failure of a
  // run, doubling up to a second, so a lasting fault costs nothing and Close
  // is never held up. True when shutdown was asked for.
  bool PauseAfterFailure(const FailureRun& run);

  // Shows the error box for the failed operation, with the system's text for
  // error and the port's name; waits until it is dismissed.
  void ReportError(const char* operation, SystemError error);

 private:
  PortIo& m_io;
  FrameQueue& m_pending;
  OwnerGate& m_owner;
  std::mutex& m_ioLock;

  // Written by Begin on the owner's thread while no monitor runs; read by the monitor.
  unsigned m_portNumber = 0;
  std::uint32_t m_eventMask = 0;
  bool m_portLost = false;  // monitor thread only once it runs
};

}  // namespace quorvane
