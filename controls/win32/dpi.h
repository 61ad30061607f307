// Display scaling for the panel's windows: the DPI a window is drawn at and
// the system's sizes at that DPI, on every Windows the panel starts on (the
// per-monitor calls exist only on later systems, so they are looked up).
#pragma once

#include "controls/win32/windows_api.h"

namespace quorvane {

// The DPI that lengths written for 100 % scaling are given at.
inline constexpr UINT kBaseDpi = 96;

// The DPI the window is drawn at: its monitor's where the system scales per
// monitor, the session's otherwise.
UINT DpiOf(HWND window);

// GetSystemMetrics(index) as it is at dpi.
int SystemMetricAt(int index, UINT dpi);

// A length given at 100 % scaling, at dpi (rounded).
inline int ScaleToDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

// Leaves the window's rescaling on a DPI change to its own WM_DPICHANGED
// handler: a per-monitor dialog is otherwise rescaled by the system too.
void TakeOverDialogRescaling(HWND dialog);

}  // namespace quorvane
