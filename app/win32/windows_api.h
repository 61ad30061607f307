// The window's one way to the Windows headers. The serial link interface names
// its port event flags (EV_RXCHAR ...) as Windows does; its constants must be
// declared before <windows.h> makes those names macros of the same values.
#pragma once

// clang-format off
#include "serial/serial_link_interface.h"
#include <windows.h>
#include <commctrl.h>
// clang-format on
