// Push button that shows a state as a fill colour chosen by the program, its
// caption centred on it and a one-pixel frame (at 100 % scaling) in the
// complementary colour.
#pragma once

#include "controls/win32/windows_api.h"

#include "board/display_forms.h"

namespace quorvane {

class CStateButton {
 public:
  void Attach(HWND button) { m_hWnd = button; }
  HWND Handle() const { return m_hWnd; }

  // Adds BS_OWNERDRAW: from the next paint on the button is drawn by DrawItem.
  void EnableOwnerDraw();
  // Stores the colour only; it shows at the next paint.
  void SetColor(ColorRef color) { m_color = color; }
  ColorRef Color() const { return m_color; }

  // The owner-draw request the parent hands back. Pressed and disabled states
  // are not drawn: the look depends on colour and caption only; the focus is
  // marked while the system shows keyboard focus cues.
  void DrawItem(const DRAWITEMSTRUCT& item) const;

  static ColorRef Complement(ColorRef color) { return ~color & 0x00FFFFFFu; }

 private:
  HWND m_hWnd = nullptr;
  ColorRef m_color = 0;
};

}  // namespace quorvane
