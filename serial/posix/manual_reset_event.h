// A manual-reset event the monitor thread can poll beside the port: it stays
// readable from Set until Reset, however many threads look at it.
#pragma once

#include <mutex>

#include "base/unique_fd.h"
#include "serial/posix/system_calls.h"

namespace quorvane {

// Set, Reset and IsSet may run on any thread; Create and destruction on one.
class ManualResetEvent {
 public:
  explicit ManualResetEvent(SystemCalls& sys = RealSystemCalls()) : m_sys(&sys) {}

  // False (errno set) when the kernel refuses the eventfd.
  bool Create();
  bool Exists() const { return m_fd.Valid(); }
  void Set();
  void Reset();
  // Answers from memory: the monitor asks before every received byte.
  bool IsSet() const;
  int Fd() const { return m_fd.Get(); }

 private:
  SystemCalls* m_sys;
  UniqueFd m_fd;
  mutable std::mutex m_mutex;  // guards m_set and keeps the eventfd counter equal to it
  bool m_set = false;
};

// Outcome of one wait on several descriptors.
struct WaitResult {
  enum Kind { kReady, kFailed } kind = kFailed;
  int index = -1;     // lowest ready slot when kReady
  short revents = 0;  // what poll reported for that slot
  int error = 0;      // errno when kFailed
};

// Waits without time-out until one of fds (entries < 0 are skipped) is
// readable or reports an error; the lowest ready index wins, so earlier slots
// take priority. Retries on EINTR. At most kMaxWaitSlots descriptors.
inline constexpr int kMaxWaitSlots = 4;
WaitResult WaitAny(SystemCalls& sys, const int* fds, int count);

}  // namespace quorvane
