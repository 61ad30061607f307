// Pseudo-terminal pairs, device folders, the pumped owner and the faulty seam.
#include "tests/serial/serial_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvane::test {

long CurrentThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

PtyPair PtyPair::Make() {
  PtyPair pair;
  pair.master.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pair.master || grantpt(pair.master.Get()) != 0 || unlockpt(pair.master.Get()) != 0)
    throw std::runtime_error("no pseudo-terminal");
  char name[128] = {};
  if (ptsname_r(pair.master.Get(), name, sizeof name) != 0)
    throw std::runtime_error("no pseudo-terminal name");
  pair.slavePath = name;
  pair.slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pair.slave) throw std::runtime_error("cannot open pseudo-terminal slave");
  // The master keeps its default raw settings; the slave starts cooked, as a
  // fresh device would, until the link configures it.
  return pair;
}

void PtyPair::Write(const std::vector<std::uint8_t>& bytes) const {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(master.Get(), bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) throw std::runtime_error("write to pseudo-terminal master failed");
    done += static_cast<std::size_t>(put);
  }
}

std::vector<std::uint8_t> PtyPair::Read(std::size_t count, std::chrono::milliseconds limit) const {
  std::vector<std::uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master.Get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    std::uint8_t buffer[4096];
    const std::size_t want = std::min(sizeof buffer, count - bytes.size());
    const ssize_t got = ::read(master.Get(), buffer, want);
    if (got <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

DeviceDir::DeviceDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "serial-devXXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

DeviceDir::~DeviceDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

void DeviceDir::Link(const std::string& name, const std::filesystem::path& target) const {
  std::filesystem::create_symlink(target, m_path / name);
}

void DeviceDir::Remove(const std::string& name) const { std::filesystem::remove(m_path / name); }

void FaultySystemCalls::Inject(Call call, Fault fault) {
  std::lock_guard lock(m_mutex);
  m_faults[call] = fault;
}

int FaultySystemCalls::Count(Call call) const {
  std::lock_guard lock(m_mutex);
  const auto found = m_counts.find(call);
  return found == m_counts.end() ? 0 : found->second;
}

int FaultySystemCalls::Count(Call call, long argument) const {
  std::lock_guard lock(m_mutex);
  int count = 0;
  for (const auto& [made, with] : m_log) count += made == call && with == argument;
  return count;
}

std::vector<std::pair<FaultySystemCalls::Call, long>> FaultySystemCalls::Log() const {
  std::lock_guard lock(m_mutex);
  return m_log;
}

std::optional<FaultySystemCalls::Fault> FaultySystemCalls::Trip(Call call, int fd, long argument,
                                                                nfds_t pollSize) {
  std::lock_guard lock(m_mutex);
  ++m_counts[call];
  m_log.emplace_back(call, argument);
  const auto found = m_faults.find(call);
  if (found == m_faults.end() || found->second.times <= 0) return std::nullopt;
  Fault& fault = found->second;
  if (fault.ioctlRequest != 0 && static_cast<long>(fault.ioctlRequest) != argument)
    return std::nullopt;
  if (fault.deviceOnly && IsEventFd(fd)) return std::nullopt;
  if (fault.pollSize != 0 && fault.pollSize != pollSize) return std::nullopt;
  // A write limit holds for every write until the fault is replaced.
  if (fault.maxWrite == 0) --fault.times;
  return fault;
}

int FaultySystemCalls::Fail(const Fault& fault) {
  errno = fault.error;
  return -1;
}

int FaultySystemCalls::Open(const char* path, int flags) {
  if (auto fault = Trip(Call::kOpen, -1)) return Fail(*fault);
  return SystemCalls::Open(path, flags);
}
int FaultySystemCalls::Flock(int fd, int operation) {
  if (auto fault = Trip(Call::kFlock, fd)) return Fail(*fault);
  return SystemCalls::Flock(fd, operation);
}
int FaultySystemCalls::Ioctl(int fd, unsigned long request, void* argument) {
  if (auto fault = Trip(Call::kIoctl, fd, static_cast<long>(request))) {
    if (!fault->answer) return Fail(*fault);
    *static_cast<int*>(argument) = *fault->answer;
    return 0;
  }
  return SystemCalls::Ioctl(fd, request, argument);
}
int FaultySystemCalls::Fcntl(int fd, int command, int argument) {
  if (auto fault = Trip(Call::kFcntl, fd)) return Fail(*fault);
  return SystemCalls::Fcntl(fd, command, argument);
}
int FaultySystemCalls::TcGetAttr(int fd, termios* settings) {
  if (auto fault = Trip(Call::kTcGetAttr, fd)) return Fail(*fault);
  return SystemCalls::TcGetAttr(fd, settings);
}
int FaultySystemCalls::TcSetAttr(int fd, int when, const termios* settings) {
  if (auto fault = Trip(Call::kTcSetAttr, fd)) return Fail(*fault);
  {
    std::lock_guard lock(m_mutex);
    m_requested.push_back(*settings);
  }
  return SystemCalls::TcSetAttr(fd, when, settings);
}

std::vector<termios> FaultySystemCalls::Requested() const {
  std::lock_guard lock(m_mutex);
  return m_requested;
}
int FaultySystemCalls::TcFlush(int fd, int queue) {
  if (auto fault = Trip(Call::kTcFlush, fd, queue)) return Fail(*fault);
  return SystemCalls::TcFlush(fd, queue);
}
ssize_t FaultySystemCalls::Read(int fd, void* buffer, std::size_t count) {
  if (auto fault = Trip(Call::kRead, fd)) return Fail(*fault);
  return SystemCalls::Read(fd, buffer, count);
}
ssize_t FaultySystemCalls::Write(int fd, const void* buffer, std::size_t count) {
  std::size_t limit = count;
  if (auto fault = Trip(Call::kWrite, fd)) {
    if (fault->maxWrite == 0) return Fail(*fault);
    limit = fault->maxWrite;
  }
  return SystemCalls::Write(fd, buffer, std::min(count, limit));
}
int FaultySystemCalls::Close(int fd) {
  const auto fault = Trip(Call::kClose, fd);
  const int result = SystemCalls::Close(fd);
  return fault ? Fail(*fault) : result;
}
int FaultySystemCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  if (auto fault = Trip(Call::kPoll, count > 0 ? fds[0].fd : -1, 0, count)) {
    if (fault->revents == 0 || count == 0) return Fail(*fault);
    for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
    fds[count - 1].revents = fault->revents;
    return 1;
  }
  return SystemCalls::Poll(fds, count, timeoutMs);
}
int FaultySystemCalls::EventFd(unsigned initial, int flags) {
  if (auto fault = Trip(Call::kEventFd, -1)) return Fail(*fault);
  return SystemCalls::EventFd(initial, flags);
}

bool IsEventFd(int fd) {
  if (fd < 0) return false;
  char target[64] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  return length > 0 &&
         std::string(target, static_cast<std::size_t>(length)) == "anon_inode:[eventfd]";
}

long ThreadCpuTicks(pid_t tid) {
  std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  // After the command name: state is field 3, utime field 14, stime field 15.
  for (int index = 3; index <= 15 && fields >> field; ++index) {
    if (index == 14) utime = std::stol(field);
    if (index == 15) stime = std::stol(field);
  }
  return utime + stime;
}

}  // namespace quorvane::test
