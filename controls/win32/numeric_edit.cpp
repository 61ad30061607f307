// The typed-character filter of the three entry fields, for typing and
// pasting, on a subclassed edit.
#include "controls/win32/numeric_edit.h"

#include <string>

#include "board/operator_entry.h"

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

namespace {

// wchar_t is UTF-16 on Windows.
std::u16string_view Utf16(const std::wstring& text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

// The clipboard's text, empty when there is none or another program holds
// the clipboard open (the control's own paste would do nothing then either).
std::wstring ClipboardText(HWND owner) {
  if (!OpenClipboard(owner)) return {};
  std::wstring text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

}  // namespace

std::wstring CNumericEdit::Text() const {
  const int length = GetWindowTextLengthW(m_hWnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(m_hWnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
  return text;
}

bool CNumericEdit::OnChar(WPARAM ch) const {
  // The rule looks at the whole text, never at the caret or the selection.
  return AdmitsTypedChar(static_cast<char32_t>(ch), Utf16(Text()));
}

void CNumericEdit::OnPaste() const {
  const std::wstring pasted = ClipboardText(m_hWnd);
  if (pasted.empty()) return;
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(m_hWnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const std::u16string kept = FilterInsertedText(Utf16(Text()), start, end, Utf16(pasted));
  // Nothing kept changes nothing, as when no typed character is admitted.
  if (kept.empty()) return;
  const std::wstring insert(kept.begin(), kept.end());
  SendMessageW(m_hWnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(insert.c_str()));
}

LRESULT CALLBACK CNumericEdit::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR, DWORD_PTR data) {
  const auto* self = reinterpret_cast<const CNumericEdit*>(data);
  // Copy, cut, paste and undo arrive as the control characters 0x03, 0x18,
  // 0x16 and 0x1A and are dropped with every other non-number character.
  if (message == WM_CHAR && !self->OnChar(wParam)) return 0;
  // Shift+Insert pastes inside the control without a WM_PASTE; the context
  // menu's Paste sends one.
  const bool shiftInsert =
      message == WM_KEYDOWN && wParam == VK_INSERT && (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  if (message == WM_PASTE || shiftInsert) {
    self->OnPaste();
    return 0;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &CNumericEdit::SubclassProc, kSubclassId);
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace quorvane
