// The window's own messages and timers, beside the link's WM_SERIAL_RXBYTE
// and the controller's timer ids 1-4.
#pragma once

#include "controls/win32/windows_api.h"

namespace quorvane {

inline constexpr UINT WM_APP_RUN_SENT = WM_APP + 1;       // lParam: the std::function to run
inline constexpr UINT WM_APP_RUN_POSTED = WM_APP + 2;     // runs the oldest posted function
inline constexpr UINT WM_APP_PORTS_SCANNED = WM_APP + 3;  // a device change's port scan is done

inline constexpr UINT_PTR kHintTimer = 100;  // hides the pop-up hint
inline constexpr UINT kHintShownMs = 5000;
// Windows sends several WM_DEVICECHANGE for one plug; the ports are scanned
// once they have been quiet this long, so one plug is one device change.
inline constexpr UINT_PTR kDevicesQuietTimer = 101;
inline constexpr UINT kDevicesQuietMs = 250;

}  // namespace quorvane
