// The step every panel timing run starts with: the port opened and the
// board's full parameter set received.
#pragma once

#include "app/qt/controller_dlg.h"

namespace quorvane::bench {

// Presses OpenPort and runs the event loop until the panel is synced, for 10 s
// at most. On failure says so on standard error, naming program.
bool OpenAndSync(CControllerDlg& dlg, const char* program);

}  // namespace quorvane::bench
