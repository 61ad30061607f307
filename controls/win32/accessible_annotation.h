// What a screen reader is told about one control beyond what the standard
// accessible object reads from it: a name and a description in words (the
// captions on screen are terse or empty), and for some controls a role, a
// checked state or the text shown as a value. The control answers
// WM_GETOBJECT itself with the standard object wrapped (a window subclass):
// the system's property-annotation service would be less code, but not every
// Windows implementation the panel runs on has one.
#pragma once

#include "controls/win32/windows_api.h"

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// Threads: every call runs on the thread that owns the control. The wrapped
// object may be held by a reader after the control or this annotation is
// gone; it then answers as the standard object would, or fails.
class CAccessibleAnnotation {
 public:
  CAccessibleAnnotation() = default;
  ~CAccessibleAnnotation();
  CAccessibleAnnotation(const CAccessibleAnnotation&) = delete;
  CAccessibleAnnotation& operator=(const CAccessibleAnnotation&) = delete;

  // Subclasses control, once; the annotation must outlive it or detach here
  // on destruction.
  void Attach(HWND control, std::wstring name, std::wstring description);
  HWND Handle() const { return m_hWnd; }

  // Each raises the matching change event when the text really changes.
  void SetName(std::wstring name);
  void SetDescription(std::wstring description);
  void SetRole(long role) { m_role = role; }
  // From the first call on the control reports checked or not checked.
  void SetChecked(bool checked);
  // A read-out: its text is its value, a change of which is announced; it
  // draws a focus mark while it has the focus (Tab reaches it, nothing else
  // shows that it has it).
  void MakeReadout() { m_readout = true; }
  // Sets the read-out's text, and announces it, only when it differs.
  void SetValueText(std::wstring_view text);

  const std::wstring& Name() const { return m_name; }
  const std::wstring& Description() const { return m_description; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Detach();
  void Notify(DWORD event) const;

  HWND m_hWnd = nullptr;
  std::wstring m_name;
  std::wstring m_description;
  long m_role = 0;  // 0: the standard object's
  std::optional<bool> m_checked;
  bool m_readout = false;
};

}  // namespace quorvane
