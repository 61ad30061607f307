// Windows has no SIGPIPE: a write to a pipe whose reader has gone already
// fails, and the C runtime reports it as EPIPE. Nothing to set up.
#include "ctl/output.h"

namespace quorvane::ctl {

void TakeClosedPipeAsWriteError() {}

}  // namespace quorvane::ctl
