// The board's pauses without a sleeping window: board work that must leave a
// gap before its next frame hands the rest of itself to this queue, which
// times the gap on the window's pace timer while the window goes on serving
// its events. What the window hands over meanwhile waits behind, in order.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>

#include "controller/controller_window.h"

namespace quorvane {

// Window thread only, like the controller that owns it.
class PacedQueue {
 public:
  using Work = std::function<void()>;

  explicit PacedQueue(ControllerWindow& window) : m_window(window) {}

  // Runs work at once when nothing waits in line, otherwise after everything
  // ahead of it. Work handed over while other work runs with nothing waiting
  // (a message pumped inside Close) runs nested, as the pump delivered it
  // before. tick != 0 names the timer a tick came from: like a window timer's
  // messages, a timer has at most one tick waiting.
  void Serve(Work work, int tick = 0);
  // Only from inside running work: then runs once pause has passed, ahead of
  // anything handed over meanwhile; several calls chain in the order made.
  void PauseThen(std::chrono::milliseconds pause, Work then);
  // The window's TIMER_PACE fired.
  void OnPaceTimer();
  // The timer was stopped or restarted: a tick of it still waiting is void,
  // as a window timer's pending tick would be.
  void ForgetTicks(int tick);

  // While held (a box the monitor thread waits on is open), work that already
  // waits in line stays waiting: it may close the link. Fresh work with
  // nothing ahead of it is served as Serve says.
  void Hold() { ++m_holds; }
  void Release() {
    if (m_holds > 0) --m_holds;
  }
  // Serves what waited, once nothing holds the queue.
  void Resume() { Drain(); }

  // Some board work waits: a pause runs or work is in line behind one.
  bool Waiting() const { return !m_steps.empty(); }

 private:
  struct Step {
    std::chrono::milliseconds pause;  // still to pass before work runs
    Work work;
    int tick;  // 0 unless the step is a timer's tick
  };
  void Drain();
  void Run(const Work& work);

  ControllerWindow& m_window;
  std::deque<Step> m_steps;
  std::size_t m_insertAt = 0;  // where the running work's continuations go
  int m_depth = 0;             // work on the stack; above 1 inside a pump
  bool m_timing = false;       // TIMER_PACE runs for the front step's pause
  int m_holds = 0;
};

}  // namespace quorvane
