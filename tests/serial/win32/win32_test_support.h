// What the Windows link suites share: the board's COM port and frame log, an
// owner pumped on the test thread, a seam that fails chosen calls, and the
// CPU time of a thread.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "serial/win32/system_calls.h"
#include "tests/serial/pumped_owner.h"

namespace quorvane::test {

using namespace std::chrono_literals;

// The COM number the board runs on (with_board.sh says which), 0 when none.
unsigned BoardPort();
// The board's frames so far, as logged: direction "<-" (to the board) or "->"
// (from it), each frame as its bytes.
std::vector<std::vector<std::uint8_t>> BoardFrames(const std::string& direction);

// Pass-through seam that fails chosen calls, and remembers what was asked.
class FaultyWin32Calls : public SystemCalls {
 public:
  enum class Call {
    kCreateFile,
    kSetCommTimeouts,
    kSetCommMask,
    kGetCommState,
    kSetCommState,
    kWaitCommEvent,
    kClearCommError,
    kReadFile,
    kWriteFile,
    kGetOverlappedResult
  };
  static constexpr int kAlways = 1 << 30;
  // The next `times` calls fail with error; {0, 0} removes the fault.
  void Inject(Call call, DWORD error, int times = 1);
  HANDLE LastOpened() const;
  std::vector<DCB> RequestedStates() const;

  HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override;
  BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override;
  BOOL SetCommMask(HANDLE port, DWORD mask) override;
  BOOL GetCommState(HANDLE port, DCB* settings) override;
  BOOL SetCommState(HANDLE port, DCB* settings) override;
  BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped) override;
  BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) override;
  BOOL ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE port, const void* buffer, DWORD count, OVERLAPPED* overlapped) override;
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* count, BOOL wait) override;

 private:
  struct Fault {
    DWORD error = 0;
    int times = 0;
  };
  // True (last error set) when this call is to fail.
  bool Trip(Call call);

  mutable std::mutex m_mutex;  // guards everything below
  std::map<Call, Fault> m_faults;
  HANDLE m_lastOpened = nullptr;
  std::vector<DCB> m_requested;
};

// CPU time (user + kernel) the thread has used so far.
std::chrono::milliseconds ThreadCpuTime(DWORD threadId);

}  // namespace quorvane::test
