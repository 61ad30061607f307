// The Windows panel in a figure program: its window thread's loop, and the
// port opened from the list as an operator would, until the board is synced.
#pragma once

// clang-format off
#include "controls/win32/windows_api.h"
// clang-format on

#include <chrono>
#include <string>

#include "app/win32/controller_dlg.h"
#include "controller/control_ids.h"

namespace quorvane::bench {

// The common controls the panel's dialog is made of, as its program loads them.
inline void InitPanelControls() {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_BAR_CLASSES | ICC_USEREX_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
}

// The window thread's loop, as the panel's own, for a while; with no panel,
// the thread's other windows are served alone.
inline void RunFor(std::chrono::milliseconds span, CControllerDlg* dlg) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    if (dlg != nullptr) {
      dlg->ProcessPending();
    } else {
      for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
    }
  }
}

// Picks port in the list, presses Open and serves the window for up to 3 s;
// true once the board is synced.
inline bool OpenAndSync(CControllerDlg& dlg, const std::string& port) {
  ShowWindow(dlg.Handle(), SW_SHOW);
  HWND list = dlg.Control(IDC_PORT_LIST);
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    dlg.SelectPort(i);
    if (dlg.GetText(IDC_PORT_LIST) == port) break;
  }
  SendMessageW(dlg.Control(IDC_OPEN_PORT), BM_CLICK, 0, 0);
  RunFor(std::chrono::seconds(3), &dlg);
  return dlg.GetController().Flags().synced;
}

}  // namespace quorvane::bench
