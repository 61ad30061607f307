// One open serial device: exclusive open, line settings, purge and byte I/O,
// with the device's own settings put back when it is closed.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/unique_fd.h"
#include "serial/port_io.h"
#include "serial/posix/system_calls.h"

namespace quorvane {

// How one read or write ended.
enum class IoStatus {
  kDone,        // the byte was read / the whole frame was written
  kGone,        // the device vanished (unplugged, hung up)
  kFailed,      // the read or write call failed; error holds errno
  kWaitFailed,  // waiting for the device to become ready failed; error holds errno
  kStopped,     // the stop descriptor became readable while waiting
  kEmpty,       // a read that must not wait found nothing to read
};

// Used by one thread at a time (the link's ioLock sees to that). Move-only.
class PortDevice {
 public:
  // Opens path for reading and writing, exclusively: flock keeps out every
  // other opener that locks (root included), TIOCEXCL the ones that do not.
  // On failure returns nothing and sets *error to errno.
  static std::optional<PortDevice> Open(SystemCalls& sys, const std::string& path, int* error);

  PortDevice(PortDevice&& other) noexcept;
  PortDevice& operator=(PortDevice&& other) noexcept;
  ~PortDevice();

  int Fd() const { return m_fd.Get(); }

  // Hands the device back as it was found and closes it; 0, or the errno of
  // a failed close (the descriptor is gone either way). The destructor does
  // the same and ignores the result.
  int Close();

  // The configuration chain; each returns false with errno set.
  // I/O never blocks in the driver; every wait is a poll, which is where the
  // time-outs of other platforms live.
  bool MakeNonBlocking();
  // Only "bytes received" can be waited for; this checks the device can be
  // polled for it.
  bool CheckWatchable();
  // Reads the current settings; the first read is kept to be restored on close.
  bool ReadSettings();
  // Raw mode with the given line settings on top of what ReadSettings found,
  // then RTS raised where the device has modem lines.
  bool WriteSettings(const LineSettings& line);
  const termios& Settings() const { return m_settings; }

  // tcflush with TCIFLUSH, TCOFLUSH or TCIOFLUSH.
  bool Purge(int queue);
  // Bytes received and not yet read (FIONREAD); false with errno set.
  bool BytesWaiting(int* count);
  // Bytes written and not yet sent (TIOCOUTQ); 0 when unknown.
  int BytesUnsent();
  // How long count bytes take on the line at the configured rate.
  std::chrono::milliseconds TimeToSend(int count) const;

  // Waits for the byte (until stopFd is readable).
  IoStatus ReadByte(std::uint8_t* byte, int stopFd, int* error);
  // Reads a byte only if one is there now; kEmpty when not.
  IoStatus ReadByteNow(std::uint8_t* byte, int* error);
  IoStatus WriteAll(const std::uint8_t* bytes, std::size_t count, int stopFd, int* error);

 private:
  PortDevice(SystemCalls& sys, UniqueFd fd) : m_sys(&sys), m_fd(std::move(fd)) {}
  void Release();
  // Waits until the device reports `events` or stopFd is readable.
  IoStatus WaitReady(short events, int stopFd, int* error);

  SystemCalls* m_sys;
  UniqueFd m_fd;
  termios m_settings{};
  std::optional<termios> m_original;
  unsigned m_baudRate = 9600;
};

}  // namespace quorvane
