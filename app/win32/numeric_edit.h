// Entry field that only lets typing produce characters a decimal number can
// contain. Text the program sets, and paste from the context menu or
// Shift+Insert (keys, not typed characters), are not filtered.
#pragma once

#include "app/win32/windows_api.h"

namespace quorvane {

class CNumericEdit {
 public:
  // Subclasses the edit control; from then on its WM_CHAR passes OnChar first.
  void Attach(HWND edit);
  void Detach();
  HWND Handle() const { return m_hWnd; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  // True when the character may reach the control.
  bool OnChar(WPARAM ch) const;

  HWND m_hWnd = nullptr;
};

}  // namespace quorvane
