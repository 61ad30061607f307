// The frames waiting to be written, oldest first: a second Send must never
// replace a frame the board has not yet received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace quorvane {

using Frame = std::vector<std::uint8_t>;

// Push runs on the window thread, Pop on the monitor thread; Clear on the
// window thread while no monitor runs. Internally locked.
class FrameQueue {
 public:
  static constexpr std::size_t kDefaultCapacity = 256;
  explicit FrameQueue(std::size_t capacity = kDefaultCapacity) : m_capacity(capacity) {}

  // Appends a copy; when full, the oldest frame makes room and is counted.
  void Push(const std::uint8_t* bytes, std::size_t count);
  std::optional<Frame> Pop();
  void Clear();
  std::size_t Size() const;
  std::size_t Dropped() const;

 private:
  const std::size_t m_capacity;
  mutable std::mutex m_mutex;  // guards m_frames and m_dropped
  std::deque<Frame> m_frames;
  std::size_t m_dropped = 0;  // frames pushed out unwritten because the queue was full
};

}  // namespace quorvane
