// The pass-through seam: each member is the system call of the same name.
#include "serial/win32/win32_calls.h"

namespace quorvane {

HANDLE Win32Calls::CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition,
                               DWORD flags) {
  return ::CreateFileA(name, access, share, nullptr, disposition, flags, nullptr);
}

BOOL Win32Calls::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

BOOL Win32Calls::SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  return ::SetCommTimeouts(port, timeouts);
}

BOOL Win32Calls::SetCommMask(HANDLE port, DWORD mask) { return ::SetCommMask(port, mask); }

BOOL Win32Calls::GetCommState(HANDLE port, DCB* settings) { return ::GetCommState(port, settings); }

BOOL Win32Calls::SetCommState(HANDLE port, DCB* settings) { return ::SetCommState(port, settings); }

BOOL Win32Calls::PurgeComm(HANDLE port, DWORD flags) { return ::PurgeComm(port, flags); }

BOOL Win32Calls::WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped) {
  return ::WaitCommEvent(port, events, overlapped);
}

BOOL Win32Calls::ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
  return ::ClearCommError(port, errors, status);
}

// The byte count is always taken from GetOverlappedResult: with an overlapped
// handle the count ReadFile and WriteFile fill in may be stale.
BOOL Win32Calls::ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* overlapped) {
  return ::ReadFile(port, buffer, count, nullptr, overlapped);
}

BOOL Win32Calls::WriteFile(HANDLE port, const void* buffer, DWORD count, OVERLAPPED* overlapped) {
  return ::WriteFile(port, buffer, count, nullptr, overlapped);
}

BOOL Win32Calls::GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* count,
                                     BOOL wait) {
  return ::GetOverlappedResult(port, overlapped, count, wait);
}

Win32Calls& RealWin32Calls() {
  static Win32Calls calls;
  return calls;
}

}  // namespace quorvane
