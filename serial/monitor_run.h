// The monitor thread's life as the owner's thread sees it: the thread, and the
// running flag that Close, Open and the destructor wait on. Only the monitor
// thread clears the flag, as its last access to the link.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvane {

class MonitorRun {
 public:
  MonitorRun() = default;
  ~MonitorRun() { Join(); }
  MonitorRun(const MonitorRun&) = delete;
  MonitorRun& operator=(const MonitorRun&) = delete;

  // Sets the flag, then starts body on a new thread: a Close that follows at
  // once still waits for it. False, flag clear, when a run is still going or
  // no thread could be made. body must call MarkStopped as its last act.
  bool Start(std::function<void()> body);
  bool Running() const;
  // Waits up to period for the flag to clear; true when it has.
  bool WaitStopped(std::chrono::milliseconds period);
  // Calls signalStop until the flag clears, without pumping anything, then
  // reaps the thread.
  void StopWithoutPumping(const std::function<void()>& signalStop);
  // Reaps a thread that has cleared the flag.
  void Join();

  // Monitor thread.
  void MarkStopped();

 private:
  std::thread m_thread;
  mutable std::mutex m_mutex;  // guards m_running
  std::condition_variable m_changed;
  bool m_running = false;
};

}  // namespace quorvane
