// Entry field that only lets typing and pasting produce characters a decimal
// number can contain. Text the program sets is not filtered.
#pragma once

#include "controls/win32/windows_api.h"

#include <string>

namespace quorvane {

class CNumericEdit {
 public:
  // Subclasses the edit control; from then on its WM_CHAR passes OnChar and
  // its WM_PASTE (Shift+Insert, the context menu's Paste) goes to OnPaste.
  void Attach(HWND edit);
  void Detach();
  HWND Handle() const { return m_hWnd; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  // True when the character may reach the control.
  bool OnChar(WPARAM ch) const;
  // Replaces the selection with what of the clipboard's text typing would keep.
  void OnPaste() const;
  std::wstring Text() const;

  HWND m_hWnd = nullptr;
};

}  // namespace quorvane
