// Ctrl-C, Ctrl-Break and a closed console window through the console's
// control handler, which Windows already calls on a thread of its own.
#include <windows.h>

#include <atomic>

#include "ctl/stop_signal.h"

namespace quorvane::ctl {
namespace {

std::atomic<StopSignal*> g_signal{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      if (StopSignal* signal = g_signal.load()) {
        signal->Raise();
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

StopSignal::StopSignal() {
  g_signal = this;
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopSignal::~StopSignal() {
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  g_signal = nullptr;
}

}  // namespace quorvane::ctl
