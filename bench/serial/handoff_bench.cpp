// Pseudo-terminal set-up, the feeding loop and the percentile arithmetic.
#include "bench/serial/handoff_bench.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace quorvane::bench {

bool Pty::Make(Pty& pty) {
  pty.master.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.master || grantpt(pty.master.Get()) != 0 || unlockpt(pty.master.Get()) != 0)
    return false;
  char name[128] = {};
  if (ptsname_r(pty.master.Get(), name, sizeof name) != 0) return false;
  pty.slavePath = name;
  pty.slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  return pty.slave.Valid();
}

void Arrivals::Record() {
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(m_mutex);
  m_times.push_back(now);
  m_grown.notify_all();
}

void Arrivals::WaitFor(std::size_t count) {
  std::unique_lock lock(m_mutex);
  m_grown.wait_for(lock, std::chrono::seconds(5), [&] { return m_times.size() >= count; });
}

std::vector<Clock::time_point> Arrivals::Times() const {
  std::lock_guard lock(m_mutex);
  return m_times;
}

std::vector<double> Latencies(const std::vector<Clock::time_point>& sent,
                              const Arrivals& arrivals) {
  const std::vector<Clock::time_point> arrived = arrivals.Times();
  std::vector<double> latenciesUs;
  for (std::size_t i = 0; i < std::min(sent.size(), arrived.size()); ++i)
    latenciesUs.push_back(std::chrono::duration<double, std::micro>(arrived[i] - sent[i]).count());
  return latenciesUs;
}

Figures Summarise(std::vector<double> latenciesUs) {
  Figures figures;
  figures.count = latenciesUs.size();
  if (latenciesUs.empty()) return figures;
  std::sort(latenciesUs.begin(), latenciesUs.end());
  const auto at = [&](double fraction) {
    return latenciesUs[static_cast<std::size_t>(fraction * (latenciesUs.size() - 1))];
  };
  figures.medianUs = at(0.5);
  figures.p99Us = at(0.99);
  figures.maxUs = latenciesUs.back();
  return figures;
}

std::vector<Clock::time_point> FeedBytes(int master, std::size_t count, Arrivals& arrivals,
                                         std::chrono::microseconds gap) {
  std::vector<Clock::time_point> sent(count);
  for (std::size_t i = 0; i < count; ++i) {
    arrivals.WaitFor(i);
    std::this_thread::sleep_for(gap);
    const std::uint8_t byte = static_cast<std::uint8_t>(i);
    sent[i] = Clock::now();
    if (::write(master, &byte, 1) != 1) {
      sent.resize(i);
      break;
    }
  }
  return sent;
}

}  // namespace quorvane::bench
