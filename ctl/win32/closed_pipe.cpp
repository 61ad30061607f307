// A reader that goes away, on Windows: there is no SIGPIPE to set aside, but
// the C runtime reports the failed write as EINVAL, so the system's own code,
// which it keeps in _doserrno, tells it apart.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "ctl/output.h"

namespace quorvane::ctl {

void TakeClosedPipeAsWriteError() {}

bool ReaderHasGone(int error) {
  // Windows says the pipe is being closed (ERROR_NO_DATA) or has been
  // (ERROR_BROKEN_PIPE); Wine that no one is on the other end.
  const unsigned long system = _doserrno;
  return error == EPIPE || system == ERROR_NO_DATA || system == ERROR_BROKEN_PIPE ||
         system == ERROR_PIPE_NOT_CONNECTED;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace quorvane::ctl

namespace quorvane::ctl {

int WriteUnbuffered(std::FILE* stream, const std::string& text) {
  const int fd = _fileno(stream);
  std::size_t done = 0;
  while (done < text.size()) {
    errno = 0;
    const int written = _write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
    if (written <= 0) {
      const int error = errno;
      if (ReaderHasGone(error)) return EPIPE;
      return error != 0 ? error : EIO;
    }
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

}  // namespace quorvane::ctl
