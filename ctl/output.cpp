// Checked writes of the results, and the message when one fails.
#include "ctl/output.h"

#include <cerrno>

#include "ctl/exit_status.h"
#include "history/csv_file.h"

namespace quorvane::ctl {

int WriteWhole(std::FILE* stream, const std::string& text) {
  errno = 0;
  // Flushed at once: a failure is seen here, while it can still change the
  // exit status, not when the C library flushes at exit and nobody checks.
  if (std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0)
    return 0;
  const int error = errno;
  if (ReaderHasGone(error)) return EPIPE;
  // Some C runtimes leave errno alone on a failed write; there is a reason all the same.
  return error != 0 ? error : EIO;
}

int OutputFailed(int error, std::FILE* err) {
  // Unchecked: when err fails too, there is nowhere left to say so.
  const std::string text = "quorvane-ctl: cannot write the output: " + SystemReason(error) + ".\n";
  std::fwrite(text.data(), 1, text.size(), err);
  std::fflush(err);
  return kExitFailure;
}

}  // namespace quorvane::ctl
