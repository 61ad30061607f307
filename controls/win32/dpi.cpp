// Per-monitor DPI where the system has it, the session's DPI where it has not.
#include "controls/win32/dpi.h"

namespace quorvane {

namespace {

// A user32 function by name, or null on a system without it. The cast
// through a plain function pointer is the one a prototype-less lookup allows.
template <typename Function>
Function FromUser32(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS,
                                                   DIALOG_DPI_CHANGE_BEHAVIORS);

UINT SessionDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

UINT DpiOf(HWND window) {
  static const auto getDpiForWindow = FromUser32<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  return SessionDpi();
}

int SystemMetricAt(int index, UINT dpi) {
  static const auto forDpi = FromUser32<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (forDpi != nullptr) return forDpi(index, dpi);
  return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SessionDpi()));
}

void TakeOverDialogRescaling(HWND dialog) {
  static const auto setBehavior =
      FromUser32<SetDialogDpiChangeBehaviorFn>("SetDialogDpiChangeBehavior");
  if (setBehavior != nullptr) setBehavior(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
}

}  // namespace quorvane
