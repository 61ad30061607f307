// A reader that goes away as EPIPE instead of SIGPIPE, whose default ends the
// program mid-row with no word and status 141.
#include <cerrno>
#include <csignal>

#include "ctl/output.h"

namespace quorvane::ctl {

// Ignored: the failed write that follows tells all a handler could. The
// serial link writes to a terminal, never a pipe, so nothing else changes.
void TakeClosedPipeAsWriteError() { std::signal(SIGPIPE, SIG_IGN); }

bool ReaderHasGone(int error) { return error == EPIPE; }

}  // namespace quorvane::ctl
