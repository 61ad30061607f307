// Shared parts of the byte hand-off benchmark: a pseudo-terminal, the timing
// loop that feeds it one byte at a time, and the figures.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/unique_fd.h"

namespace quorvane::bench {

using Clock = std::chrono::steady_clock;

struct Pty {
  UniqueFd master;
  UniqueFd slave;  // kept open so the pair outlives the reader's opens
  std::string slavePath;
  static bool Make(Pty& pty);
};

struct Figures {
  std::size_t count = 0;
  double medianUs = 0;
  double p99Us = 0;
  double maxUs = 0;
};

// When each byte reached the reader's handler; the reader's thread records,
// the feeding thread waits.
class Arrivals {
 public:
  void Record();
  void WaitFor(std::size_t count);
  std::vector<Clock::time_point> Times() const;

 private:
  mutable std::mutex m_mutex;  // guards m_times
  std::condition_variable m_grown;
  std::vector<Clock::time_point> m_times;
};

// Per-byte latency from each write to its arrival, in microseconds.
std::vector<double> Latencies(const std::vector<Clock::time_point>& sent, const Arrivals& arrivals);
Figures Summarise(std::vector<double> latenciesUs);

// Writes `count` bytes to the master one at a time; before each write it
// waits until the reader has handled the previous byte, then pauses `gap` so
// every byte finds the reader idle, as bytes do at 9600 baud. Returns the
// write times.
std::vector<Clock::time_point> FeedBytes(int master, std::size_t count, Arrivals& arrivals,
                                         std::chrono::microseconds gap);

}  // namespace quorvane::bench
