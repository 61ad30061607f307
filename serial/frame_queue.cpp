// Bounded FIFO of pending frames.
#include "serial/frame_queue.h"

namespace quorvane {

void FrameQueue::Push(const std::uint8_t* bytes, std::size_t count) {
  Frame frame(bytes, bytes + count);
  std::lock_guard lock(m_mutex);
  if (m_capacity == 0) {
    ++m_dropped;
    return;
  }
  if (m_frames.size() == m_capacity) {
    m_frames.pop_front();
    ++m_dropped;
  }
  m_frames.push_back(std::move(frame));
}

std::optional<Frame> FrameQueue::Pop() {
  std::lock_guard lock(m_mutex);
  if (m_frames.empty()) return std::nullopt;
  Frame frame = std::move(m_frames.front());
  m_frames.pop_front();
  return frame;
}

void FrameQueue::Clear() {
  std::lock_guard lock(m_mutex);
  m_frames.clear();
}

std::size_t FrameQueue::Size() const {
  std::lock_guard lock(m_mutex);
  return m_frames.size();
}

std::size_t FrameQueue::Dropped() const {
  std::lock_guard lock(m_mutex);
  return m_dropped;
}

}  // namespace quorvane
