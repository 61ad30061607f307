// The typed-character filter of the three entry fields, on a subclassed edit.
#include "app/win32/numeric_edit.h"

#include <string>

#include "controller/operator_entry.h"

namespace quorvane {

namespace {
constexpr UINT_PTR kSubclassId = 0x4E45;  // one subclass of ours per edit
}

void CNumericEdit::Attach(HWND edit) {
  m_hWnd = edit;
  SetWindowSubclass(edit, &CNumericEdit::SubclassProc, kSubclassId,
                    reinterpret_cast<DWORD_PTR>(this));
}

void CNumericEdit::Detach() {
  if (m_hWnd != nullptr) RemoveWindowSubclass(m_hWnd, &CNumericEdit::SubclassProc, kSubclassId);
  m_hWnd = nullptr;
}

bool CNumericEdit::OnChar(WPARAM ch) const {
  // The rule looks at the whole text, never at the caret or the selection.
  const int length = GetWindowTextLengthW(m_hWnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(m_hWnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
  // wchar_t is UTF-16 on Windows.
  const std::u16string_view view(reinterpret_cast<const char16_t*>(text.data()), text.size());
  return AdmitsTypedChar(static_cast<char32_t>(ch), view);
}

LRESULT CALLBACK CNumericEdit::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR, DWORD_PTR data) {
  const auto* self = reinterpret_cast<const CNumericEdit*>(data);
  // Copy, cut, paste and undo arrive as the control characters 0x03, 0x18,
  // 0x16 and 0x1A and are dropped with every other non-number character.
  if (message == WM_CHAR && !self->OnChar(wParam)) return 0;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &CNumericEdit::SubclassProc, kSubclassId);
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace quorvane
