// Every port call the link and the port table make, behind one seam, so tests
// can make chosen calls fail with the codes a vanished or broken device gives.
#pragma once

#include <windows.h>

namespace quorvane {

// Thread-safe as the system calls are; the link's ioLock orders the port calls.
class SystemCalls {
 public:
  virtual ~SystemCalls() = default;
  virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags);
  virtual BOOL CloseHandle(HANDLE handle);
  virtual BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
  virtual BOOL SetCommMask(HANDLE port, DWORD mask);
  virtual BOOL GetCommState(HANDLE port, DCB* settings);
  virtual BOOL SetCommState(HANDLE port, DCB* settings);
  virtual BOOL PurgeComm(HANDLE port, DWORD flags);
  virtual BOOL WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped);
  virtual BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status);
  virtual BOOL ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* overlapped);
  virtual BOOL WriteFile(HANDLE port, const void* buffer, DWORD count, OVERLAPPED* overlapped);
  virtual BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* count, BOOL wait);
};

// The pass-through to the system.
SystemCalls& RealSystemCalls();

}  // namespace quorvane
