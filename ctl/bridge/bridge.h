// quorvane-ctl bridge: one board on an MQTT broker (Linux only).
#pragma once

#include <cstdio>
#include <string>

#include "ctl/ctl_options.h"
#include "ctl/stop_signal.h"
#include "limits/lab_limits.h"

namespace quorvane::ctl {

// Runs until stopped; the exit status. Notes and errors go to err.
int RunBridge(const CtlOptions& options, const LimitsSources& sources, StopSignal& stop,
              std::FILE* err);

// Empty when the password file may be used; else why not. The password is
// its first line.
std::string ReadPasswordFile(const std::string& path, std::string* password);

}  // namespace quorvane::ctl
