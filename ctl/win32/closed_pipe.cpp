// A reader that goes away, on Windows: there is no SIGPIPE to set aside, but
// the C runtime reports the failed write as EINVAL, so the system's own code,
// which it keeps in _doserrno, tells it apart.
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

}  // namespace quorvane::ctl
