// Ctrl-C (and a polite kill or a hang-up) as a request to stop, delivered on a thread of
// its own so the program can end its run cleanly instead of dying mid-row.
#pragma once

#include <functional>
#include <mutex>
#include <thread>

namespace quorvane::ctl {

// Create it first in main, before any other thread exists: on Linux the
// signals are blocked for every thread started later and taken by a waiting
// thread; on Windows the console's control handler takes their place.
// Thread contract: Listen and the destructor run on the main thread; the
// listener is called on the signal thread.
class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Whom to tell; a request that came before is passed on at once.
  void Listen(std::function<void()> listener);
  // From the signal thread.
  void Raise();

 private:
  std::mutex m_mutex;  // guards m_listener and m_raised
  std::function<void()> m_listener;
  bool m_raised = false;
  std::thread m_thread;  // Linux: waits for the signals
};

}  // namespace quorvane::ctl
