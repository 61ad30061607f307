// The bridge command's options, declared beside the other commands' (Linux
// only: the Windows build has no MQTT library).
#pragma once

#include "ctl/ctl_options.h"

namespace CLI {
class App;
}

namespace quorvane::ctl {

// Declares `bridge` on app with its options written into options.
CLI::App* AddBridgeCommand(CLI::App& app, BridgeOptions& options);

}  // namespace quorvane::ctl
