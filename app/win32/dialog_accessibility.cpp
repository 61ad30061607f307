// What the main window tells a screen reader, and the Tab steps that reach
// the read-outs: the texts come from app/accessible_texts.h, shared with the
// Qt window, so both speak alike.
#include <ole2.h>
#include <oleacc.h>

#include <iterator>

#include "app/accessible_texts.h"
#include "app/limit_marks.h"
#include "app/main_layout_readouts.h"
#include "app/win32/controller_dlg.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

namespace {
// The role the system gives each standard control class, set here as well
// because not every implementation of the standard objects knows the classes
// (some call every one of them a "client").
long RoleOf(HWND control) {
  struct ClassRole {
    const wchar_t* windowClass;
    long role;
  };
  static constexpr ClassRole kRoles[] = {
      {L"Button", ROLE_SYSTEM_PUSHBUTTON},        {L"Edit", ROLE_SYSTEM_TEXT},
      {L"Static", ROLE_SYSTEM_STATICTEXT},        {L"ComboBoxEx32", ROLE_SYSTEM_COMBOBOX},
      {L"msctls_trackbar32", ROLE_SYSTEM_SLIDER},
  };
  wchar_t name[64] = {};
  GetClassNameW(control, name, 64);
  for (const ClassRole& entry : kRoles)
    if (lstrcmpiW(name, entry.windowClass) == 0) return entry.role;
  return 0;
}
}  // namespace

void CControllerDlg::AnnotateControls() {
  static_assert(std::size(kAccessibleTexts) == kAnnotatedControls);
  for (std::size_t i = 0; i < kAnnotatedControls; ++i) {
    const AccessibleText& text = kAccessibleTexts[i];
    m_accessible[i].Attach(Control(text.id), Widen(text.name), Widen(text.description));
    m_accessible[i].SetRole(RoleOf(Control(text.id)));
    if (text.id == IDC_SOFT_ACTIVE) {
      // A toggle whose state only the board's reply sets.
      m_accessible[i].SetRole(ROLE_SYSTEM_CHECKBUTTON);
      m_accessible[i].SetChecked(false);
    }
    if (IsReadout(text.id)) m_accessible[i].MakeReadout();
  }
}

CAccessibleAnnotation* CControllerDlg::Annotation(int id) {
  for (std::size_t i = 0; i < kAnnotatedControls; ++i)
    if (kAccessibleTexts[i].id == id) return &m_accessible[i];
  return nullptr;
}

void CControllerDlg::AnnounceCaption(int controlId, std::string_view caption) {
  CAccessibleAnnotation* annotation = Annotation(controlId);
  if (annotation == nullptr) return;
  if (const char* name = NameForCaption(controlId, caption)) annotation->SetName(Widen(name));
}

void CControllerDlg::AnnounceOpenPortHint(std::string_view hint) {
  // Without a mouse there is no tooltip: the reason a port did not open is
  // the button's description too, and its change is announced. The link's
  // own error is a failed open; any other hint is about the port opened.
  const bool openFailed = !hint.empty() && hint == m_link.LastOpenError();
  if (CAccessibleAnnotation* annotation = Annotation(IDC_OPEN_PORT))
    annotation->SetDescription(Widen(OpenPortDescription(hint, openFailed)));
}

// Tab reaches the read-outs after the settings, top to bottom. They are not
// tab stops of the template, so the dialog's own Tab, and so the look and the
// template, stay as they were.
bool CControllerDlg::OnTab(bool backward) {
  HWND focus = GetFocus();
  while (focus != nullptr && GetParent(focus) != m_hWnd) focus = GetParent(focus);
  if (focus == nullptr) return false;
  const HWND first = GetNextDlgTabItem(m_hWnd, nullptr, FALSE);
  const HWND last = GetNextDlgTabItem(m_hWnd, first, TRUE);
  const int lastReadout = static_cast<int>(kReadoutsTopToBottom.size()) - 1;
  HWND next = nullptr;
  if (const int at = ReadoutIndex(GetDlgCtrlID(focus)); at >= 0) {
    if (backward) {
      next = at > 0 ? Control(kReadoutsTopToBottom[at - 1]) : last;
    } else {
      next = at < lastReadout ? Control(kReadoutsTopToBottom[at + 1]) : first;
    }
  } else if (!backward && focus == last) {
    next = Control(kReadoutsTopToBottom[0]);
  } else if (backward && focus == first) {
    next = Control(kReadoutsTopToBottom[lastReadout]);
  }
  if (next == nullptr) return false;
  // As the dialog's own Tab does: the focus cues show from now on.
  SendMessageW(m_hWnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
  return true;
}

}  // namespace quorvane
