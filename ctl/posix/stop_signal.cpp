// SIGINT, SIGTERM and SIGHUP (a terminal or ssh session gone) through sigwait: no
// async-signal-safety limits on what a stop may do, and no system call in the program ever sees
// EINTR from them.
#include <pthread.h>
#include <signal.h>

#include <atomic>

#include "ctl/stop_signal.h"

namespace quorvane::ctl {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  // A hang-up ends the program as politely as a kill: the port closed and a
  // private link removed, not left behind by the signal's default.
  sigaddset(&set, SIGHUP);
  return set;
}

// Set before the destructor wakes the thread with a signal of its own, so
// that wake-up is not taken for a request.
std::atomic<bool> g_ending{false};

}  // namespace

StopSignal::StopSignal() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  g_ending = false;
  m_thread = std::thread([this, set] {
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (g_ending) return;
      Raise();
    }
  });
}

StopSignal::~StopSignal() {
  g_ending = true;
  pthread_kill(m_thread.native_handle(), SIGTERM);
  m_thread.join();
}

}  // namespace quorvane::ctl
