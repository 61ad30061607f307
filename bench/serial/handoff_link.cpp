// The link's side of the hand-off benchmark: pty master write, monitor thread,
// synchronous delivery to an owner thread that handles the byte.
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "bench/serial/handoff_bench.h"
#include "bench/serial/handoff_runs.h"
#include "serial/serial_link.h"

namespace quorvane::bench {
namespace {

// Hands each byte to the owner thread and waits until it was handled, the way
// a window's blocking queued call does.
class ThreadOwner : public SerialOwner {
 public:
  ThreadOwner(Arrivals& arrivals, Arrivals& atMonitor)
      : m_arrivals(arrivals), m_atMonitor(atMonitor) {}

  void OnSerialByte(std::uint8_t, unsigned) override {
    m_atMonitor.Record();
    std::unique_lock lock(m_mutex);
    m_pending = true;
    // Notified without the lock, so the woken owner does not block on it at once.
    lock.unlock();
    m_changed.notify_all();
    lock.lock();
    m_changed.wait(lock, [&] { return !m_pending; });
  }
  void PumpMessages() override {
    std::lock_guard lock(m_mutex);
    HandleLocked();
  }
  void ShowError(const std::string&, const std::string&) override {}
  void OnPortLost(unsigned) override {}

  // The owner thread's event loop: handles deliveries until told to stop.
  void Run() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
      m_changed.wait(lock, [&] { return m_pending || m_stop; });
      HandleLocked();
    }
  }
  void Stop() {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_changed.notify_all();
  }

 private:
  void HandleLocked() {
    if (!m_pending) return;
    m_arrivals.Record();
    m_pending = false;
    m_changed.notify_all();
  }

  Arrivals& m_arrivals;
  Arrivals& m_atMonitor;
  std::mutex m_mutex;  // guards m_pending and m_stop
  std::condition_variable m_changed;
  bool m_pending = false;
  bool m_stop = false;
};

}  // namespace

std::optional<LinkLatencies> RunLinkHandoff(std::size_t count, std::chrono::microseconds gap,
                                            std::string* error) {
  Pty pty;
  if (!Pty::Make(pty)) {
    *error = "no pseudo-terminal";
    return std::nullopt;
  }
  const std::string dir = "/tmp/quorvane-bench-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  std::filesystem::remove(dir + "/ttyUSB0");
  std::filesystem::create_symlink(pty.slavePath, dir + "/ttyUSB0");

  Arrivals arrivals;
  Arrivals atMonitor;
  ThreadOwner owner(arrivals, atMonitor);
  std::thread ownerThread([&] { owner.Run(); });
  std::optional<LinkLatencies> figures;
  {
    CSerialLink link(dir);
    if (!link.Open(&owner, 33, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1000, 1000, 1000, 1000, 1000) ||
        !link.StartMonitor()) {
      *error = "could not open the link: " + link.LastOpenError();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // past the start-up purge
      const auto sent = FeedBytes(pty.master.Get(), count, arrivals, gap);
      arrivals.WaitFor(sent.size());
      figures = LinkLatencies{Latencies(sent, arrivals), Latencies(sent, atMonitor)};
      link.DetachOwner();
      link.Close();
    }
  }
  owner.Stop();
  ownerThread.join();
  std::filesystem::remove_all(dir);
  return figures;
}

}  // namespace quorvane::bench
