// Linux termios and file-descriptor work behind PortDevice.
#include "serial/posix/port_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <utility>

#include "serial/posix/error_text.h"

namespace quorvane {
namespace {

struct BaudEntry {
  unsigned rate;
  speed_t speed;
};
constexpr BaudEntry kBaudRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::optional<speed_t> SpeedOf(unsigned rate) {
  for (const auto& entry : kBaudRates)
    if (entry.rate == rate) return entry.speed;
  return std::nullopt;
}

std::optional<tcflag_t> CharacterSize(unsigned dataBits) {
  switch (dataBits & 0xFFu) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    case 8:
      return CS8;
    default:
      return std::nullopt;
  }
}

// Mark and space parity use the stick-parity bit; an unknown letter means none.
tcflag_t ParityFlags(char code) {
  switch (code) {
    case 'E':
      return PARENB;
    case 'O':
      return PARENB | PARODD;
    case 'M':
      return PARENB | CMSPAR | PARODD;
    case 'S':
      return PARENB | CMSPAR;
    default:
      return 0;
  }
}

// termios has no one-and-a-half stop bits; the UART sends 1.5 when asked for
// two with five data bits, so code 1 asks for two as well.
std::optional<tcflag_t> StopBitFlags(unsigned code) {
  switch (code) {
    case 0:
      return 0;
    case 1:
    case 2:
      return CSTOPB;
    default:
      return std::nullopt;
  }
}

// A pseudo-terminal or a plain file has no modem-control lines; that is not a failure.
bool NoSuchControl(int error) { return error == ENOTTY || error == EINVAL; }

}  // namespace

std::optional<PortDevice> PortDevice::Open(SystemCalls& sys, const std::string& path, int* error) {
  UniqueFd fd(RetryOnEintr(
      [&] { return sys.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
  if (!fd) {
    *error = errno;
    return std::nullopt;
  }
  if (RetryOnEintr([&] { return sys.Flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) {
    *error = errno == EWOULDBLOCK ? EBUSY : errno;
    return std::nullopt;
  }
  if (RetryOnEintr([&] { return sys.Ioctl(fd.Get(), TIOCEXCL, nullptr); }) != 0 &&
      !NoSuchControl(errno)) {
    *error = errno;
    return std::nullopt;
  }
  return PortDevice(sys, std::move(fd));
}

PortDevice::PortDevice(PortDevice&& other) noexcept
    : m_sys(other.m_sys),
      m_fd(std::move(other.m_fd)),
      m_settings(other.m_settings),
      m_original(std::exchange(other.m_original, std::nullopt)),
      m_baudRate(other.m_baudRate) {}

PortDevice& PortDevice::operator=(PortDevice&& other) noexcept {
  if (this != &other) {
    Release();
    m_sys = other.m_sys;
    m_fd = std::move(other.m_fd);
    m_settings = other.m_settings;
    m_original = std::exchange(other.m_original, std::nullopt);
    m_baudRate = other.m_baudRate;
  }
  return *this;
}

PortDevice::~PortDevice() { Release(); }

void PortDevice::Release() { Close(); }

// Settings, then exclusivity, then the descriptor. Failures before the close
// are ignored; a vanished device cannot be put back. Unsent output goes first:
// close waits in the driver until output drains, and output held back by flow
// control never does, which would freeze the caller for the driver's closing
// wait (up to 30 s).
int PortDevice::Close() {
  if (!m_fd) return 0;
  RetryOnEintr([&] { return m_sys->TcFlush(m_fd.Get(), TCOFLUSH); });
  if (m_original) RetryOnEintr([&] { return m_sys->TcSetAttr(m_fd.Get(), TCSANOW, &*m_original); });
  RetryOnEintr([&] { return m_sys->Ioctl(m_fd.Get(), TIOCNXCL, nullptr); });
  m_original.reset();
  const int error = m_sys->Close(m_fd.Release()) == 0 ? 0 : errno;
  // Interrupted, the descriptor is closed all the same.
  return error == EINTR ? 0 : error;
}

bool PortDevice::MakeNonBlocking() {
  const int flags = RetryOnEintr([&] { return m_sys->Fcntl(m_fd.Get(), F_GETFL, 0); });
  if (flags < 0) return false;
  return RetryOnEintr([&] { return m_sys->Fcntl(m_fd.Get(), F_SETFL, flags | O_NONBLOCK); }) == 0;
}

bool PortDevice::CheckWatchable() {
  pollfd p{m_fd.Get(), POLLIN, 0};
  if (RetryOnEintr([&] { return m_sys->Poll(&p, 1, 0); }) < 0) return false;
  if (p.revents & POLLNVAL) {
    errno = EBADF;
    return false;
  }
  return true;
}

bool PortDevice::ReadSettings() {
  termios settings{};
  if (RetryOnEintr([&] { return m_sys->TcGetAttr(m_fd.Get(), &settings); }) != 0) return false;
  m_settings = settings;
  if (!m_original) m_original = settings;
  return true;
}

bool PortDevice::WriteSettings(const LineSettings& line) {
  const auto speed = SpeedOf(line.baudRate);
  const auto size = CharacterSize(line.dataBits);
  const auto stop = StopBitFlags(line.stopBitsCode);
  if (!speed || !size || !stop) {
    errno = EINVAL;
    return false;
  }
  termios settings = m_settings;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  settings.c_cflag |= *size | ParityFlags(line.parityCode) | *stop;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  cfsetispeed(&settings, *speed);
  cfsetospeed(&settings, *speed);
  if (RetryOnEintr([&] { return m_sys->TcSetAttr(m_fd.Get(), TCSANOW, &settings); }) != 0)
    return false;
  m_settings = settings;
  m_baudRate = line.baudRate;
  int rts = TIOCM_RTS;
  if (RetryOnEintr([&] { return m_sys->Ioctl(m_fd.Get(), TIOCMBIS, &rts); }) != 0 &&
      !NoSuchControl(errno))
    return false;
  return true;
}

bool PortDevice::Purge(int queue) {
  return RetryOnEintr([&] { return m_sys->TcFlush(m_fd.Get(), queue); }) == 0;
}

bool PortDevice::BytesWaiting(int* count) {
  *count = 0;
  return RetryOnEintr([&] { return m_sys->Ioctl(m_fd.Get(), FIONREAD, count); }) == 0;
}

int PortDevice::BytesUnsent() {
  int count = 0;
  if (RetryOnEintr([&] { return m_sys->Ioctl(m_fd.Get(), TIOCOUTQ, &count); }) != 0) return 0;
  return count;
}

std::chrono::milliseconds PortDevice::TimeToSend(int count) const {
  // Start, data, parity and stop bits: at most 12 bit times per character.
  const unsigned rate = m_baudRate == 0 ? 9600 : m_baudRate;
  return std::chrono::milliseconds(1 + (static_cast<long long>(count) * 12 * 1000) / rate);
}

IoStatus PortDevice::WaitReady(short events, int stopFd, int* error) {
  pollfd set[2] = {{m_fd.Get(), events, 0}, {stopFd, POLLIN, 0}};
  if (RetryOnEintr([&] { return m_sys->Poll(set, 2, -1); }) < 0) {
    *error = errno;
    return IoStatus::kWaitFailed;
  }
  if (set[1].revents & POLLIN) return IoStatus::kStopped;
  if (set[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return IoStatus::kGone;
  return IoStatus::kDone;
}

IoStatus PortDevice::ReadByte(std::uint8_t* byte, int stopFd, int* error) {
  for (;;) {
    const IoStatus status = ReadByteNow(byte, error);
    if (status != IoStatus::kEmpty) return status;
    const IoStatus ready = WaitReady(POLLIN, stopFd, error);
    if (ready != IoStatus::kDone) return ready;
  }
}

IoStatus PortDevice::ReadByteNow(std::uint8_t* byte, int* error) {
  const ssize_t got = RetryOnEintr([&] { return m_sys->Read(m_fd.Get(), byte, 1); });
  if (got == 1) return IoStatus::kDone;
  if (got == 0) return IoStatus::kGone;  // end of file: the tty was hung up
  if (IsDeviceGoneError(errno)) return IoStatus::kGone;
  if (errno == EAGAIN || errno == EWOULDBLOCK) return IoStatus::kEmpty;
  *error = errno;
  return IoStatus::kFailed;
}

IoStatus PortDevice::WriteAll(const std::uint8_t* bytes, std::size_t count, int stopFd,
                              int* error) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t put =
        RetryOnEintr([&] { return m_sys->Write(m_fd.Get(), bytes + done, count - done); });
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && IsDeviceGoneError(errno)) return IoStatus::kGone;
    if (put < 0 && errno != EAGAIN) {
      *error = errno;
      return IoStatus::kFailed;
    }
    const IoStatus ready = WaitReady(POLLOUT, stopFd, error);
    if (ready != IoStatus::kDone) return ready;
  }
  return IoStatus::kDone;
}

}  // namespace quorvane
