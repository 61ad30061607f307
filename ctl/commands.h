// The four commands of quorvane-ctl, each ending in the program's exit status.
#pragma once

#include <cstdio>

#include "ctl/ctl_options.h"
#include "ctl/stop_signal.h"
#include "limits/lab_limits.h"

namespace quorvane::ctl {

// Results go to out, errors and notes to err; every setting is sent under
// the limits from sources.
int RunCommand(const CtlOptions& options, const LimitsSources& sources, StopSignal& stop,
               std::FILE* out, std::FILE* err);

}  // namespace quorvane::ctl
