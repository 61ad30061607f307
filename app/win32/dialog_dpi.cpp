// The main window at another display scaling. Dragged to a monitor with
// another DPI, the window takes the rectangle the system suggests, makes the
// dialog font at the new size and places its controls again from the layout
// in dialog units, which follow the font: it is drawn sharp at the new
// scaling instead of stretched.
#include "app/win32/controller_dlg.h"
#include "controller/control_ids.h"
#include "controls/win32/dpi.h"
#include "main_layout_table.h"

namespace quorvane {

namespace {

// The dialog base units of a font, measured as the dialog manager measures
// them: the mean width of the 52 letters, and the height.
SIZE BaseUnits(HWND window, HFONT font) {
  static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  SIZE letters{};
  const bool measured = GetTextMetricsW(dc, &metrics) != FALSE &&
                        GetTextExtentPoint32W(dc, kLetters, 52, &letters) != FALSE;
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  if (!measured) return {};
  return {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
}

HICON LoadAppIcon(int width, int height) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP),
                                       IMAGE_ICON, width, height, 0));
}

}  // namespace

void CControllerDlg::OnDpiChanged(UINT dpi, const RECT& suggested) {
  // The rectangle comes first: the system has already scaled the frame for
  // the new monitor, and a window left at its old size would straddle both.
  SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (dpi == 0 || dpi == m_dpi) return;

  // The template's font (face, weight, character set) at the new size.
  LOGFONTW face{};
  auto current = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  if (current == nullptr || GetObjectW(current, sizeof face, &face) != sizeof face) return;
  face.lfHeight = -MulDiv(kMainDialog.fontPoints, static_cast<int>(dpi), 72);
  face.lfWidth = 0;
  HFONT font = CreateFontIndirectW(&face);
  const SIZE base = font != nullptr ? BaseUnits(m_hWnd, font) : SIZE{};
  if (base.cx <= 0 || base.cy <= 0) {
    // Without the font the window keeps its look at the old size.
    if (font != nullptr) DeleteObject(font);
    return;
  }

  // The children are the template's rows in creation order; a child that is
  // not the row's control stops the walk rather than be put in its place.
  HWND child = GetWindow(m_hWnd, GW_CHILD);
  for (const TemplateRow& row : kMainTemplate) {
    if (child == nullptr || (row.id != kNoId && GetDlgCtrlID(child) != row.id)) break;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    MoveWindow(child, MulDiv(row.x, base.cx, 4), MulDiv(row.y, base.cy, 8),
               MulDiv(row.width, base.cx, 4), MulDiv(row.height, base.cy, 8), FALSE);
    child = GetWindow(child, GW_HWNDNEXT);
  }
  if (m_dpiFont != nullptr) DeleteObject(m_dpiFont);
  m_dpiFont = font;
  m_dpi = dpi;
  LoadIconsForDpi(dpi);
  PlaceMarkTips();
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void CControllerDlg::LoadIconsForDpi(UINT dpi) {
  // The sizes the taskbar and the title bar show at this DPI; the icon file
  // holds several, and the nearest is scaled rather than the 32-pixel one.
  HICON big = LoadAppIcon(SystemMetricAt(SM_CXICON, dpi), SystemMetricAt(SM_CYICON, dpi));
  HICON small = LoadAppIcon(SystemMetricAt(SM_CXSMICON, dpi), SystemMetricAt(SM_CYSMICON, dpi));
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(big != nullptr ? big : m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(small != nullptr ? small : m_hIcon));
  // The window no longer refers to the old ones.
  if (m_hBigIcon != nullptr) DestroyIcon(m_hBigIcon);
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
  m_hBigIcon = big;
  m_hSmallIcon = small;
}

}  // namespace quorvane
