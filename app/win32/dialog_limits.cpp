// The lab's limits on the window: notes on the settings' controls, read-outs
// in alarm, and the limits the F1 box lists.
#include <string>

#include "app/limit_marks.h"
#include "app/main_layout_readouts.h"
#include "app/win32/controller_dlg.h"
#include "board/display_forms.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

namespace {
// Where control lies in its dialog's client area.
RECT AreaOf(HWND dialog, HWND control) {
  RECT area{};
  GetWindowRect(control, &area);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
  return area;
}
}  // namespace

void CControllerDlg::SetControlNote(int controlId, std::string_view note) {
  if (Control(controlId) == nullptr) return;
  m_marks[controlId].note = std::string(note);
  ShowMarks(controlId);
}

void CControllerDlg::ShowAlarm(int readoutId, std::string_view reason) {
  HWND readout = Control(readoutId);
  if (readout == nullptr || !IsReadout(readoutId)) return;
  LimitMarks& marks = m_marks[readoutId];
  const bool starts = marks.alarm.empty() && !reason.empty();
  const bool redraw = marks.alarm.empty() != reason.empty();
  marks.alarm = std::string(reason);
  // COLORREF and ColorRef share the 0x00BBGGRR layout.
  if (starts && m_alarmBrush == nullptr)
    m_alarmBrush = CreateSolidBrush(static_cast<COLORREF>(kAlarmColor));
  ShowMarks(readoutId);
  if (redraw) InvalidateRect(readout, nullptr, TRUE);
  // The description's change alone is not read out for a control without
  // the focus; an alert is, once, as the alarm starts.
  if (starts) NotifyWinEvent(EVENT_SYSTEM_ALERT, readout, OBJID_CLIENT, CHILDID_SELF);
}

void CControllerDlg::ShowMarks(int controlId) {
  const LimitMarks& marks = m_marks[controlId];
  if (CAccessibleAnnotation* annotation = Annotation(controlId))
    annotation->SetDescription(Widen(MarkedDescription(controlId, marks)));
  AddMarkTip(controlId);
  m_markTips[controlId] = Widen(MarkedTooltip(marks));
  // A tip on show follows its text (a ramp's progress changes at each poll).
  if (m_tooltip != nullptr) SendMessageW(m_tooltip, TTM_UPDATE, 0, 0);
}

void CControllerDlg::AddMarkTip(int controlId) {
  if (m_tooltip == nullptr || m_markTips.count(controlId) != 0) return;
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = m_hWnd;
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  if (IsReadout(controlId)) {
    // A read-out lets the mouse through to the window, so its tip is an
    // area of the window's, named by the control's id.
    tool.uFlags = TTF_SUBCLASS;
    tool.uId = static_cast<UINT_PTR>(controlId);
    tool.rect = AreaOf(m_hWnd, Control(controlId));
  } else {
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(controlId));
  }
  SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CControllerDlg::PlaceMarkTips() {
  if (m_tooltip == nullptr) return;
  for (const auto& [id, text] : m_markTips) {
    if (!IsReadout(id)) continue;
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = m_hWnd;
    tool.uId = static_cast<UINT_PTR>(id);
    tool.rect = AreaOf(m_hWnd, Control(id));
    SendMessageW(m_tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

HBRUSH CControllerDlg::AlarmColours(HWND control, HDC dc) {
  if (GetParent(control) != m_hWnd) return nullptr;
  const auto found = m_marks.find(GetDlgCtrlID(control));
  if (found == m_marks.end() || found->second.alarm.empty() || m_alarmBrush == nullptr)
    return nullptr;
  SetTextColor(dc, static_cast<COLORREF>(kAlarmTextColor));
  SetBkColor(dc, static_cast<COLORREF>(kAlarmColor));
  return m_alarmBrush;
}

std::chrono::steady_clock::time_point CControllerDlg::Now() const {
  return std::chrono::steady_clock::now();
}

std::string CControllerDlg::LimitsHelpText() const {
  if (m_controller.State() != ConnectionState::Closed)
    return LimitsText(m_controller.Limits(), m_limitsSources.labFile);
  return LimitsText(LimitsFor(GetText(IDC_PORT_LIST), m_limitsSources), m_limitsSources.labFile);
}

}  // namespace quorvane
