// The window's one way to the Windows headers: <commctrl.h> needs <windows.h>
// before it, which an include sorter would not keep.
#pragma once

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
