// The pass-through seam: each member is the system call of the same name.
#include "serial/win32/system_calls.h"

namespace quorvane {

HANDLE SystemCalls::CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition,
                                DWORD flags) {
  return ::CreateFileA(name, access, share, nullptr, disposition, flags, nullptr);
}

BOOL SystemCalls::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

BOOL SystemCalls::SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  return ::SetCommTimeouts(port, timeouts);
}

BOOL SystemCalls::SetCommMask(HANDLE port, DWORD mask) { return ::SetCommMask(port, mask); }

BOOL SystemCalls::GetCommState(HANDLE port, DCB* settings) {
  return ::GetCommState(port, settings);
}

BOOL SystemCalls::SetCommState(HANDLE port, DCB* settings) {
  return ::SetCommState(port, settings);
}

BOOL SystemCalls::PurgeComm(HANDLE port, DWORD flags) { return ::PurgeComm(port, flags); }

BOOL SystemCalls::WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped) {
  return ::WaitCommEvent(port, events, overlapped);
}

BOOL SystemCalls::ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
  return ::ClearCommError(port, errors, status);
}

// The byte count is always taken from GetOverlappedResult: with an overlapped
// handle the count ReadFile and WriteFile fill in may be stale.
BOOL SystemCalls::ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* overlapped) {
  return ::ReadFile(port, buffer, count, nullptr, overlapped);
}

BOOL SystemCalls::WriteFile(HANDLE port, const void* buffer, DWORD count, OVERLAPPED* overlapped) {
  return ::WriteFile(port, buffer, count, nullptr, overlapped);
}

BOOL SystemCalls::GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* count,
                                      BOOL wait) {
  return ::GetOverlappedResult(port, overlapped, count, wait);
}

SystemCalls& RealSystemCalls() {
  static SystemCalls calls;
  return calls;
}

}  // namespace quorvane
