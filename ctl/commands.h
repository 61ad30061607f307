// The four commands of quorvane-ctl, each ending in the program's exit status.
#pragma once

#include <cstdio>

#include "ctl/ctl_options.h"
#include "ctl/stop_signal.h"

namespace quorvane::ctl {

// Results go to out, errors and notes to err.
int RunCommand(const CtlOptions& options, StopSignal& stop, std::FILE* out, std::FILE* err);

}  // namespace quorvane::ctl
