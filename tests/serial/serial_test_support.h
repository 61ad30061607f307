// Real pseudo-terminals, a device folder of links to them, an owner that is
// pumped on the test thread, and a seam that makes chosen system calls fail.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/unique_fd.h"
#include "serial/posix/system_calls.h"
#include "tests/serial/pumped_owner.h"

namespace quorvane::test {

using namespace std::chrono_literals;

// A pseudo-terminal whose slave the link opens by path. The test keeps its own
// slave descriptor open so the pair lives across the link's opens and closes.
struct PtyPair {
  UniqueFd master;
  UniqueFd slave;
  std::string slavePath;

  static PtyPair Make();
  void Write(const std::vector<std::uint8_t>& bytes) const;
  // Reads from the master until count bytes came or the time ran out.
  std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds limit = 3s) const;
};

// A temporary folder standing in for /dev: links named like serial devices.
class DeviceDir {
 public:
  DeviceDir();
  ~DeviceDir();
  const std::filesystem::path& Path() const { return m_path; }
  void Link(const std::string& name, const std::filesystem::path& target) const;
  void Remove(const std::string& name) const;

 private:
  std::filesystem::path m_path;
};

// Pass-through seam that fails chosen calls a chosen number of times.
class FaultySystemCalls : public SystemCalls {
 public:
  enum class Call {
    kOpen,
    kFlock,
    kIoctl,
    kFcntl,
    kTcGetAttr,
    kTcSetAttr,
    kTcFlush,
    kRead,
    kWrite,
    kPoll,
    kEventFd,
    kClose
  };
  struct Fault {
    int error = 0;
    int times = 1;
    unsigned long ioctlRequest = 0;  // kIoctl only; 0 = any request
    bool deviceOnly = false;         // skip eventfd descriptors
    std::size_t maxWrite = 0;        // kWrite: instead of failing, write at most this many
    nfds_t pollSize = 0;             // kPoll: only waits on this many descriptors; 0 = any
    std::optional<int> answer =
        std::nullopt;   // kIoctl: instead of failing, succeed with this count
    short revents = 0;  // kPoll: instead of failing, the last descriptor reports these
  };
  // A later Inject for the same call replaces the fault; {.times = 0} removes it.
  void Inject(Call call, Fault fault);
  int Count(Call call) const;
  // Calls made with this ioctl request or tcflush queue.
  int Count(Call call, long argument) const;
  // The order of the calls: each with its ioctl request or tcflush queue (else 0).
  std::vector<std::pair<Call, long>> Log() const;
  // Every settings record handed to tcsetattr, in order.
  std::vector<termios> Requested() const;

  int Open(const char* path, int flags) override;
  int Flock(int fd, int operation) override;
  int Ioctl(int fd, unsigned long request, void* argument) override;
  int Fcntl(int fd, int command, int argument) override;
  int TcGetAttr(int fd, termios* settings) override;
  int TcSetAttr(int fd, int when, const termios* settings) override;
  int TcFlush(int fd, int queue) override;
  ssize_t Read(int fd, void* buffer, std::size_t count) override;
  ssize_t Write(int fd, const void* buffer, std::size_t count) override;
  // A failing close still closes, as Linux does.
  int Close(int fd) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
  int EventFd(unsigned initial, int flags) override;

 private:
  // True (errno set) when this call is to fail.
  // The fault that applies to this call, when one does; a tripped fault with a
  // write limit, an answer or events stays in force for its remaining times.
  std::optional<Fault> Trip(Call call, int fd, long argument = 0, nfds_t pollSize = 0);
  // Sets errno from the fault and fails.
  static int Fail(const Fault& fault);

  mutable std::mutex m_mutex;  // guards m_faults, m_counts, m_log and m_requested
  std::map<Call, Fault> m_faults;
  std::map<Call, int> m_counts;
  std::vector<std::pair<Call, long>> m_log;
  std::vector<termios> m_requested;
};

bool IsEventFd(int fd);
// CPU time the thread has used, in clock ticks (user + system).
long ThreadCpuTicks(pid_t tid);

}  // namespace quorvane::test
