// The main window's ways to the readings history: F2 and the context menu of
// its background, which also offers the F1 box.
#include <windowsx.h>

#include "app/win32/controller_dlg.h"
#include "app/win32/history_window.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

namespace {

enum : UINT { kMenuHistory = 1, kMenuAbout };

// The window's captions and frames take no clicks of their own; everything
// else keeps its own menu (the entry fields' editing menu) or has none.
bool CaptionOrFrame(HWND control) {
  wchar_t type[32] = {};
  GetClassNameW(control, type, 32);
  if (_wcsicmp(type, WC_STATICW) == 0) return true;
  return _wcsicmp(type, WC_BUTTONW) == 0 &&
         (GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

}  // namespace

void CControllerDlg::ShowHistory() {
  if (m_sessionEnded) return;
  if (m_history == nullptr) m_history = std::make_unique<HistoryWindow>(m_readings, m_hWnd);
  m_history->Show();
}

void CControllerDlg::OnContextMenu(HWND target, LPARAM where) {
  if (m_sessionEnded || (target != m_hWnd && !CaptionOrFrame(target))) return;
  POINT at{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
  if (where == -1) {
    // From the keyboard (Shift+F10, the menu key): at the window's top left.
    at = {0, 0};
    ClientToScreen(m_hWnd, &at);
  }
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  AppendMenuW(menu, MF_STRING, kMenuHistory, (Widen(kHistoryMenuItem) + L"\tF2").c_str());
  AppendMenuW(menu, MF_STRING, kMenuAbout, L"About Quorvane\u2026\tF1");
  EndHold();  // the menu's own loop takes the release
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, m_hWnd, nullptr));
  DestroyMenu(menu);
  if (chosen == kMenuHistory) ShowHistory();
  if (chosen == kMenuAbout && m_help) m_help(m_hWnd);
}

}  // namespace quorvane
