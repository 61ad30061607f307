// Key and mouse pre-filter of the main window.
#include "app/win32/pre_filter.h"

namespace quorvane {

bool PreFilter::PreTranslateMessage(MSG& msg) const {
  const bool ours = msg.hwnd == m_targets.dialog || IsChild(m_targets.dialog, msg.hwnd);
  switch (msg.message) {
    case WM_KEYDOWN:
      if (!ours) break;
      if (msg.wParam == VK_RETURN) {
        // Keys come to the window with the focus, so this is the field typed in.
        if (msg.hwnd == m_targets.currentEdit) {
          m_handlers.setCurrent();
        } else if (msg.hwnd == m_targets.frequencyEdit) {
          m_handlers.setFrequency();
        } else if (msg.hwnd == m_targets.durationEdit) {
          m_handlers.setDuration();
        }
        return true;  // never a default button, a click or the end of the dialog
      }
      if (msg.wParam == VK_ESCAPE) return true;  // never closes the window
      if (msg.wParam == VK_F1) {
        m_handlers.help();
        return true;
      }
      if (msg.wParam == VK_F2) {
        if (m_handlers.history) m_handlers.history();
        return true;
      }
      break;
    case WM_LBUTTONDOWN:
      // The second press of a double click arrives as WM_LBUTTONDBLCLK and
      // so starts no hold.
      if (msg.hwnd == m_targets.downButton) m_handlers.nudgePress(NudgeDirection::Down);
      if (msg.hwnd == m_targets.upButton) m_handlers.nudgePress(NudgeDirection::Up);
      break;
    case WM_LBUTTONUP:
      // Wherever the button comes up (a dropped-down port list included), a
      // hold ends.
      m_handlers.mouseRelease();
      break;
    default:
      break;
  }
  return ours && IsDialogMessageW(m_targets.dialog, &msg) != FALSE;
}

}  // namespace quorvane
