// The pace timer's queue: one pause at a time, each step run only after the
// steps ahead of it, so the board sees the same frames and gaps as when the
// window thread slept.
#include "controller/paced_queue.h"

#include <algorithm>
#include <utility>

namespace quorvane {

void PacedQueue::Serve(Work work, int tick) {
  if (m_steps.empty()) {
    if (m_depth == 0) m_insertAt = 0;
    Run(work);
    Drain();
    return;
  }
  if (tick != 0 && std::any_of(m_steps.begin(), m_steps.end(),
                               [tick](const Step& step) { return step.tick == tick; })) {
    return;
  }
  m_steps.push_back(Step{std::chrono::milliseconds(0), std::move(work), tick});
}

void PacedQueue::PauseThen(std::chrono::milliseconds pause, Work then) {
  const std::size_t at = std::min(m_insertAt, m_steps.size());
  m_steps.insert(m_steps.begin() + static_cast<std::ptrdiff_t>(at),
                 Step{pause, std::move(then), 0});
  m_insertAt = at + 1;
}

void PacedQueue::OnPaceTimer() {
  if (!m_timing) return;
  m_timing = false;
  m_window.StopTimer(TIMER_PACE);
  if (!m_steps.empty()) m_steps.front().pause = std::chrono::milliseconds(0);
  Drain();
}

void PacedQueue::ForgetTicks(int tick) {
  // Ticks are only ever queued behind the continuations, never timed.
  std::erase_if(m_steps, [tick](const Step& step) { return step.tick == tick; });
}

void PacedQueue::Drain() {
  // A nested run leaves the line to the outermost one; a running pause and a
  // hold leave it to the pace timer and to Resume.
  if (m_depth > 0 || m_timing || m_holds > 0) return;
  while (!m_steps.empty()) {
    if (m_steps.front().pause.count() > 0) {
      m_timing = true;
      m_window.StartTimer(TIMER_PACE, m_steps.front().pause);
      return;
    }
    const Work work = std::move(m_steps.front().work);
    m_steps.pop_front();
    m_insertAt = 0;
    Run(work);
    if (m_holds > 0) return;
  }
}

void PacedQueue::Run(const Work& work) {
  ++m_depth;
  work();
  --m_depth;
}

}  // namespace quorvane
