// A reader that goes away as EPIPE instead of SIGPIPE, whose default ends the
// program mid-row with no word and status 141.
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "ctl/output.h"

namespace quorvane::ctl {

// Ignored: the failed write that follows tells all a handler could. The
// serial link writes to a terminal, never a pipe, so nothing else changes.
void TakeClosedPipeAsWriteError() { std::signal(SIGPIPE, SIG_IGN); }

bool ReaderHasGone(int error) { return error == EPIPE; }

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

int WriteUnbuffered(std::FILE* stream, const std::string& text) {
  const int fd = ::fileno(stream);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

}  // namespace quorvane::ctl
