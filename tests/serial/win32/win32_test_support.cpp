// The board's port and log, the pumped owner, the faulty seam, thread CPU time.
#include "tests/serial/win32/win32_test_support.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quorvane::test {

long CurrentThreadId() { return static_cast<long>(::GetCurrentThreadId()); }

unsigned BoardPort() {
  const char* text = std::getenv("QUORVANE_TEST_COM");
  return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 0;
}

std::vector<std::vector<std::uint8_t>> BoardFrames(const std::string& direction) {
  std::vector<std::vector<std::uint8_t>> frames;
  const char* path = std::getenv("QUORVANE_BOARD_LOG");
  if (path == nullptr) return frames;
  // A Linux path; Wine's drive Z: is the Linux root.
  std::ifstream log(std::string("Z:") + path);
  std::string line;
  // "    2.674 <- 4E 53 02 00 A3  CMD_READ_STATUS": the hex pairs after the
  // arrow. Other lines ("link PATH -> /dev/pts/3") have none.
  const auto isHexPair = [](const std::string& word) {
    return word.size() == 2 && std::isxdigit(static_cast<unsigned char>(word[0])) &&
           std::isxdigit(static_cast<unsigned char>(word[1]));
  };
  while (std::getline(log, line)) {
    const std::size_t at = line.find(" " + direction + " ");
    if (at == std::string::npos) continue;
    std::istringstream words(line.substr(at + 4));
    std::vector<std::uint8_t> frame;
    std::string word;
    while (words >> word && isHexPair(word))
      frame.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    if (!frame.empty()) frames.push_back(std::move(frame));
  }
  return frames;
}

void FaultyWin32Calls::Inject(Call call, DWORD error, int times) {
  std::lock_guard lock(m_mutex);
  m_faults[call] = Fault{error, times};
}

HANDLE FaultyWin32Calls::LastOpened() const {
  std::lock_guard lock(m_mutex);
  return m_lastOpened;
}

std::vector<DCB> FaultyWin32Calls::RequestedStates() const {
  std::lock_guard lock(m_mutex);
  return m_requested;
}

bool FaultyWin32Calls::Trip(Call call) {
  std::lock_guard lock(m_mutex);
  auto found = m_faults.find(call);
  if (found == m_faults.end() || found->second.times <= 0) return false;
  --found->second.times;
  ::SetLastError(found->second.error);
  return true;
}

HANDLE FaultyWin32Calls::CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition,
                                     DWORD flags) {
  if (Trip(Call::kCreateFile)) return INVALID_HANDLE_VALUE;
  const HANDLE handle = SystemCalls::CreateFileA(name, access, share, disposition, flags);
  std::lock_guard lock(m_mutex);
  m_lastOpened = handle;
  return handle;
}

BOOL FaultyWin32Calls::SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
  return Trip(Call::kSetCommTimeouts) ? FALSE : SystemCalls::SetCommTimeouts(port, timeouts);
}

BOOL FaultyWin32Calls::SetCommMask(HANDLE port, DWORD mask) {
  return Trip(Call::kSetCommMask) ? FALSE : SystemCalls::SetCommMask(port, mask);
}

BOOL FaultyWin32Calls::GetCommState(HANDLE port, DCB* settings) {
  return Trip(Call::kGetCommState) ? FALSE : SystemCalls::GetCommState(port, settings);
}

BOOL FaultyWin32Calls::SetCommState(HANDLE port, DCB* settings) {
  {
    std::lock_guard lock(m_mutex);
    m_requested.push_back(*settings);
  }
  return Trip(Call::kSetCommState) ? FALSE : SystemCalls::SetCommState(port, settings);
}

BOOL FaultyWin32Calls::WaitCommEvent(HANDLE port, DWORD* events, OVERLAPPED* overlapped) {
  return Trip(Call::kWaitCommEvent) ? FALSE : SystemCalls::WaitCommEvent(port, events, overlapped);
}

BOOL FaultyWin32Calls::ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
  return Trip(Call::kClearCommError) ? FALSE : SystemCalls::ClearCommError(port, errors, status);
}

BOOL FaultyWin32Calls::ReadFile(HANDLE port, void* buffer, DWORD count, OVERLAPPED* overlapped) {
  return Trip(Call::kReadFile) ? FALSE : SystemCalls::ReadFile(port, buffer, count, overlapped);
}

BOOL FaultyWin32Calls::WriteFile(HANDLE port, const void* buffer, DWORD count,
                                 OVERLAPPED* overlapped) {
  return Trip(Call::kWriteFile) ? FALSE : SystemCalls::WriteFile(port, buffer, count, overlapped);
}

BOOL FaultyWin32Calls::GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* count,
                                           BOOL wait) {
  // A waiting call is the link's clean-up after a cancel; it must really wait.
  if (!wait && Trip(Call::kGetOverlappedResult)) return FALSE;
  return SystemCalls::GetOverlappedResult(port, overlapped, count, wait);
}

std::chrono::milliseconds ThreadCpuTime(DWORD threadId) {
  const HANDLE thread = ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
  if (thread == nullptr) return std::chrono::milliseconds(-1);
  FILETIME created{}, exited{}, kernel{}, user{};
  const BOOL ok = ::GetThreadTimes(thread, &created, &exited, &kernel, &user);
  ::CloseHandle(thread);
  if (!ok) return std::chrono::milliseconds(-1);
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10000);  // 100 ns ticks
}

}  // namespace quorvane::test
