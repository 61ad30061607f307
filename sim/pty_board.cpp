// The pseudo-terminal, the link and the board thread's poll loop of PtyBoard.
#include "sim/pty_board.h"

#include <fcntl.h>
#include <poll.h>

#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace quorvane::sim {

namespace {

// Output held back while the slave side is not read (nobody has the port
// open and the pty buffer is full). Beyond it new output is dropped, as a
// line with no listener loses bytes.
constexpr std::size_t kMaxQueuedOutput = 64 * 1024;

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

struct Pty {
  UniqueFd master;
  UniqueFd slave;
  std::filesystem::path slavePath;
};

Pty OpenPty() {
  Pty pty;
  pty.master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!pty.master.Valid()) ThrowErrno("posix_openpt");
  if (::grantpt(pty.master.Get()) != 0) ThrowErrno("grantpt");
  if (::unlockpt(pty.master.Get()) != 0) ThrowErrno("unlockpt");
  char name[128];
  if (const int err = ::ptsname_r(pty.master.Get(), name, sizeof name); err != 0) {
    errno = err;
    ThrowErrno("ptsname_r");
  }
  pty.slavePath = name;
  pty.slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.slave.Valid()) ThrowErrno(std::string("open ") + name);
  // Raw from the start: the line discipline must not echo the board's replies
  // back to it, turn CR into NL or eat control characters.
  termios tio{};
  if (::tcgetattr(pty.slave.Get(), &tio) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  ::cfsetispeed(&tio, B9600);
  ::cfsetospeed(&tio, B9600);
  if (::tcsetattr(pty.slave.Get(), TCSANOW, &tio) != 0) ThrowErrno("tcsetattr");
  return pty;
}

// Replaces the link atomically (a new link under a temporary name, then
// rename), so a reader of the directory never sees it missing or half-made.
void PlaceLink(const std::filesystem::path& link, const std::filesystem::path& target) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    errno = EEXIST;
    ThrowErrno(link.string() + " exists and is not a symbolic link");
  }
  std::string temporaryName = ".";
  temporaryName += link.filename().string();
  temporaryName += ".new";
  temporaryName += std::to_string(::getpid());
  const std::filesystem::path temporary = link.parent_path() / temporaryName;
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0)
    ThrowErrno("symlink " + temporary.string());
  if (::rename(temporary.c_str(), link.c_str()) != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    errno = err;
    ThrowErrno("rename to " + link.string());
  }
}

// Removes the link only while it still points at our slave: somebody may
// have re-pointed it in the meantime.
void RemoveLink(const std::filesystem::path& link, const std::filesystem::path& target) {
  std::error_code ec;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, ec)) &&
      std::filesystem::read_symlink(link, ec) == target) {
    ::unlink(link.c_str());
  }
}

timespec ToTimespec(std::chrono::nanoseconds d) {
  d = std::max(d, std::chrono::nanoseconds(0));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(d);
  return {static_cast<time_t>(seconds.count()), static_cast<long>((d - seconds).count())};
}

}  // namespace

PtyBoard::PtyBoard(PtyBoardOptions options)
    : m_board([] { return std::chrono::steady_clock::now(); }, options.board),
      m_link(std::move(options.link)),
      m_pace(options.pace) {
  m_board.SetObserver(std::move(options.observer));
  m_wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!m_wake.Valid()) ThrowErrno("eventfd");
  std::lock_guard lock(m_control);
  Open();
}

PtyBoard::~PtyBoard() {
  std::lock_guard lock(m_control);
  Close();
}

std::filesystem::path PtyBoard::SlavePath() const {
  std::lock_guard lock(m_control);
  return m_slavePath;
}

std::filesystem::path PtyBoard::LinkPath() const { return m_link; }

bool PtyBoard::Present() const {
  std::lock_guard lock(m_control);
  return m_master.Valid();
}

void PtyBoard::HangUp() {
  std::lock_guard lock(m_control);
  Close();
}

void PtyBoard::Reappear() {
  std::lock_guard lock(m_control);
  if (!m_master.Valid()) Open();
}

void PtyBoard::SetSwitches(const BoardSwitches& switches) {
  m_board.SetSwitches(switches);
  Wake();
}

void PtyBoard::SetPacing(bool pace) {
  m_pace = pace;
  Wake();
}

void PtyBoard::Open() {
  Pty pty = OpenPty();
  if (!m_link.empty()) PlaceLink(m_link, pty.slavePath);
  m_master = std::move(pty.master);
  m_slaveHold = std::move(pty.slave);
  m_slavePath = std::move(pty.slavePath);
  m_stop = false;
  m_thread = std::thread(&PtyBoard::Run, this, m_master.Get());
}

void PtyBoard::Close() {
  if (!m_master.Valid()) return;
  m_stop = true;
  Wake();
  m_thread.join();
  // The link goes first, so nobody finds it pointing at a dead device.
  if (!m_link.empty()) RemoveLink(m_link, m_slavePath);
  m_master.Reset();
  m_slaveHold.Reset();
  m_board.DropLink();
}

void PtyBoard::Wake() {
  const std::uint64_t one = 1;
  // EAGAIN means the counter is already non-zero: the thread wakes anyway.
  while (::write(m_wake.Get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void PtyBoard::Run(int masterFd) {
  using Clock = std::chrono::steady_clock;
  std::vector<std::uint8_t> out;
  Clock::time_point nextByteAt = Clock::now();
  bool masterOk = true;  // false after the master failed: only the wake-up is watched

  while (!m_stop.load()) {
    Clock::time_point now = Clock::now();
    std::vector<std::uint8_t> produced = m_board.TakeOutput();
    if (out.size() + produced.size() <= kMaxQueuedOutput) {
      out.insert(out.end(), produced.begin(), produced.end());
    }

    // Write what may go now; with pacing at most one byte per byte time.
    const bool pace = m_pace.load();
    bool blocked = false;
    while (masterOk && !out.empty()) {
      if (pace && now < nextByteAt) break;
      const std::size_t count = pace ? 1 : out.size();
      const ssize_t written = ::write(masterFd, out.data(), count);
      if (written < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
          blocked = true;
        } else {
          masterOk = false;
        }
        break;
      }
      out.erase(out.begin(), out.begin() + written);
      if (pace) nextByteAt = std::max(nextByteAt, now) + kByteTime9600;
    }

    std::optional<Clock::time_point> wakeAt = m_board.NextDue();
    if (masterOk && pace && !out.empty() && !blocked) {
      wakeAt = wakeAt ? std::min(*wakeAt, nextByteAt) : nextByteAt;
    }

    pollfd fds[2] = {{m_wake.Get(), POLLIN, 0},
                     {masterFd, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0}};
    timespec timeout{};
    if (wakeAt) timeout = ToTimespec(*wakeAt - Clock::now());
    const int ready = ::ppoll(fds, masterOk ? 2 : 1, wakeAt ? &timeout : nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;  // plan again
      // Any other failure would fail again at once: the board stops rather than spin.
      std::fprintf(stderr, "virtual board: waiting failed: %s\n", std::strerror(errno));
      return;
    }

    if (fds[0].revents & POLLIN) {
      std::uint64_t count;
      (void)!::read(m_wake.Get(), &count, sizeof count);
    }
    if (!masterOk) continue;
    if (fds[1].revents & POLLIN) {
      std::uint8_t buffer[512];
      const ssize_t got = ::read(masterFd, buffer, sizeof buffer);
      if (got > 0) {
        m_board.Receive(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        masterOk = false;
      }
    } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      masterOk = false;
    }
  }
}

}  // namespace quorvane::sim
