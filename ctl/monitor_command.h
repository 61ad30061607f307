// quorvane-ctl monitor: a row per status reply, and under the lab's limits the
// alarms those rows carry.
#pragma once

#include <cstdio>

#include "ctl/connection.h"
#include "ctl/ctl_options.h"
#include "limits/lab_limits.h"

namespace quorvane::ctl {

// On a synced connection, until --count, a stop, a silence too long or a
// lost port; limits: the port's, whose alarms are watched when it has any.
int RunMonitor(const CtlOptions& o, const PortLimits& limits, Connection& c, std::FILE* out,
               std::FILE* err);

}  // namespace quorvane::ctl
