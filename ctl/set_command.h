// quorvane-ctl set: the value checked against the board's range and the lab's
// limits, then sent as the panel sends it, or raised a step per poll where
// the lab asks for a ramp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "ctl/connection.h"
#include "ctl/ctl_options.h"
#include "limits/lab_limits.h"

namespace quorvane::ctl {

// kExitOk when the value may be sent, else kExitBadValue after saying why:
// not a number the entry field takes, or beyond what the board takes.
int CheckValue(const CtlOptions& o, std::optional<std::int32_t> currentMax, std::FILE* err);

// On a synced connection; end: when the whole run must be over (--timeout).
int RunSet(const CtlOptions& o, const LabLimits& limits, Connection& c, Clock::time_point end,
           std::FILE* out, std::FILE* err);

}  // namespace quorvane::ctl
