// Painting of the colour state button.
#include "controls/win32/state_button.h"

#include "controls/win32/dpi.h"

namespace quorvane {

namespace {
// Captions longer than this are cut, as a fixed caption buffer would.
constexpr int kCaptionBuffer = 512;
}  // namespace

void CStateButton::EnableOwnerDraw() {
  const LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~LONG_PTR{BS_TYPEMASK}) | BS_OWNERDRAW);
  InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CStateButton::DrawItem(const DRAWITEMSTRUCT& item) const {
  wchar_t caption[kCaptionBuffer] = {};
  const int length = GetWindowTextW(m_hWnd, caption, kCaptionBuffer);
  RECT area = item.rcItem;

  // COLORREF and ColorRef share the 0x00BBGGRR layout.
  HBRUSH fill = CreateSolidBrush(static_cast<COLORREF>(m_color));
  HBRUSH frame = CreateSolidBrush(static_cast<COLORREF>(Complement(m_color)));
  FillRect(item.hDC, &area, fill);
  // The caption keeps the font and text colour the context brings.
  const int oldMode = SetBkMode(item.hDC, TRANSPARENT);
  DrawTextW(item.hDC, caption, length, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_TABSTOP);
  SetBkMode(item.hDC, oldMode);
  // One pixel at 100 % scaling, as thick as that looks at any other.
  const int frameWidth = ScaleToDpi(1, DpiOf(m_hWnd));
  for (int i = 0; i < frameWidth && area.right - area.left > 2 && area.bottom - area.top > 2; ++i) {
    FrameRect(item.hDC, &area, frame);
    InflateRect(&area, -1, -1);
  }
  // The focus mark only once the keyboard is in use (the system's own rule
  // for focus cues), so the look under the mouse stays the same.
  if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0 &&
      area.right - area.left > 2 && area.bottom - area.top > 2) {
    InflateRect(&area, -1, -1);
    DrawFocusRect(item.hDC, &area);
  }
  DeleteObject(fill);
  DeleteObject(frame);
}

}  // namespace quorvane
