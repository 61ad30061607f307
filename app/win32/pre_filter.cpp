// The main window's key and mouse pre-filter. It sees the window's queued
// input before any control does: Enter goes to the controller with the id of
// the entry field it was typed in and never reaches a control, Escape is
// swallowed, a plain left press goes to the controller with the control it
// hit and every left release after it, so a step button's hold starts and
// ends first; F1 opens the help box and F2 the readings history; the rest
// goes on to the dialog's keyboard navigation (Tab).
#include "app/win32/controller_dlg.h"

namespace quorvane {

namespace {

// The id of one of the dialog's own controls; -1 for any other window (the
// inner parts of the port list, another window's controls, a popup the
// dialog owns: GetParent would name the owner, and a popup has no id).
int ControlIdOf(HWND dialog, HWND window) {
  return window != nullptr && GetAncestor(window, GA_PARENT) == dialog ? GetDlgCtrlID(window) : -1;
}

}  // namespace

bool CControllerDlg::PreTranslateMessage(MSG& msg) {
  // The controller is done with once the session ends; the final Close
  // still pumps. Before the dialog exists there is nothing to filter for.
  if (m_sessionEnded || m_hWnd == nullptr) return false;
  const bool ours = msg.hwnd == m_hWnd || IsChild(m_hWnd, msg.hwnd);
  switch (msg.message) {
    case WM_KEYDOWN:
      if (!ours) break;
      if (msg.wParam == VK_RETURN) {
        // Keys come to the window with the focus, so this is the field typed in.
        m_controller.OnEnter(ControlIdOf(m_hWnd, msg.hwnd));
        return true;  // never a default button, a click or the end of the dialog
      }
      if (msg.wParam == VK_ESCAPE) return true;  // never closes the window
      if (msg.wParam == VK_F1) {
        EndHold();  // the help box's own loop takes the release
        if (m_help) m_help(m_hWnd);
        return true;
      }
      if (msg.wParam == VK_TAB && OnTab(GetKeyState(VK_SHIFT) < 0)) return true;
      if (msg.wParam == VK_F2) {
        ShowHistory();
        return true;
      }
      break;
    case WM_LBUTTONDOWN:
      // The second press of a double click arrives as WM_LBUTTONDBLCLK and
      // so starts no hold.
      m_controller.OnPress(ControlIdOf(m_hWnd, msg.hwnd));
      break;
    case WM_LBUTTONUP:
      // Wherever the button comes up (a dropped-down port list included), a
      // hold ends.
      m_controller.OnMouseRelease();
      break;
    default:
      break;
  }
  return ours && IsDialogMessageW(m_hWnd, &msg) != FALSE;
}

}  // namespace quorvane
