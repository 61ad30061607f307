// A move-only owner of a kernel object handle (events, the claim on a port).
#pragma once

#include <windows.h>

#include <utility>

namespace quorvane {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  HANDLE Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }
  HANDLE Release() { return std::exchange(m_handle, nullptr); }
  // Closes the handle held, if any; a failed close has nothing left to undo.
  void Reset(HANDLE handle = nullptr) {
    if (m_handle != nullptr) ::CloseHandle(m_handle);
    m_handle = handle;
  }

 private:
  HANDLE m_handle = nullptr;  // never INVALID_HANDLE_VALUE: CreateEvent and CreateMutex give null
};

}  // namespace quorvane
