// quorvane-ctl's whole run, from its arguments to its exit status, under the
// lab's limits from the given sources. The program passes the system's lab
// file; only a test-only program names another.
#pragma once

#include "limits/lab_limits.h"

namespace quorvane::ctl {

int CtlMain(int argc, char** argv, const LimitsSources& lab);

}  // namespace quorvane::ctl
