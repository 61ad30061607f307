// What the controller does to the window, carried out on the dialog's controls.

#include <string>

#include "app/main_layout_readouts.h"
#include "app/win32/controller_dlg.h"
#include "app/win32/dialog_messages.h"
#include "controller/control_ids.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

void CControllerDlg::StartTimer(int id, std::chrono::milliseconds period) {
  // SetTimer on an id that runs replaces its period.
  SetTimer(m_hWnd, static_cast<UINT_PTR>(id), static_cast<UINT>(period.count()), nullptr);
}

void CControllerDlg::StopTimer(int id) { KillTimer(m_hWnd, static_cast<UINT_PTR>(id)); }

std::string CControllerDlg::GetText(int controlId) const {
  HWND control = Control(controlId);
  if (control == nullptr) return {};
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
  return Narrow(text);
}

void CControllerDlg::SetText(int controlId, std::string_view text) {
  CAccessibleAnnotation* annotation = Annotation(controlId);
  if (annotation != nullptr && annotation->Handle() != nullptr && IsReadout(controlId)) {
    annotation->SetValueText(Widen(text));  // announced only when it changes
    return;
  }
  SetDlgItemTextW(m_hWnd, controlId, Widen(text).c_str());
  AnnounceCaption(controlId, text);
}

void CControllerDlg::SetSliderRange(std::int32_t maximum) {
  // Two messages rather than TBM_SETRANGE, whose packed limits are 16 bits.
  SendMessageW(m_currentSlider, TBM_SETRANGEMIN, FALSE, 0);
  SendMessageW(m_currentSlider, TBM_SETRANGEMAX, FALSE, maximum);
}

void CControllerDlg::AddSliderTick(std::int32_t position) {
  SendMessageW(m_currentSlider, TBM_SETTIC, 0, position);
}

void CControllerDlg::SetSliderPosition(std::int32_t position) {
  SendMessageW(m_currentSlider, TBM_SETPOS, TRUE, position);
}

std::int32_t CControllerDlg::SliderPosition() const {
  return static_cast<std::int32_t>(SendMessageW(m_currentSlider, TBM_GETPOS, 0, 0));
}

void CControllerDlg::PresentSoftActive(ColorRef color, std::string_view caption) {
  m_softActiveButton.SetColor(color);
  SetWindowTextW(m_softActiveButton.Handle(), Widen(caption).c_str());
  if (CAccessibleAnnotation* annotation = Annotation(IDC_SOFT_ACTIVE))
    annotation->SetChecked(color == kSoftActiveOnColor);
  // The colour must show even when the caption stays the same ("ON" on grey
  // becoming "ON" on red).
  InvalidateRect(m_softActiveButton.Handle(), nullptr, FALSE);
}

void CControllerDlg::ClearPortList() {
  SendMessageW(m_portList, CB_RESETCONTENT, 0, 0);
  m_portDetailTexts.clear();
  ShowPortDetails();
}

void CControllerDlg::InsertPort(int index, std::string_view name, std::string_view details) {
  std::wstring text = Widen(name);
  COMBOBOXEXITEMW item{};
  item.mask = CBEIF_TEXT;
  item.iItem = index;
  item.pszText = text.data();
  const LRESULT at = SendMessageW(m_portList, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  if (at < 0) return;
  const auto position = static_cast<std::size_t>(at);
  if (position > m_portDetailTexts.size()) m_portDetailTexts.resize(position);
  m_portDetailTexts.insert(m_portDetailTexts.begin() + static_cast<std::ptrdiff_t>(position),
                           std::string(details));
  ShowPortDetails();
}

void CControllerDlg::SelectPort(int index) {
  SendMessageW(m_portList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ShowPortDetails();
}

int CControllerDlg::SelectedPort() const {
  return static_cast<int>(SendMessageW(m_portList, CB_GETCURSEL, 0, 0));
}

void CControllerDlg::EnablePortList(bool enabled) {
  EnableWindow(m_portList, enabled ? TRUE : FALSE);
}

void CControllerDlg::ShowPortDetails() {
  const int selected = SelectedPort();
  m_portDetails = selected >= 0 && static_cast<std::size_t>(selected) < m_portDetailTexts.size()
                      ? Widen(m_portDetailTexts[static_cast<std::size_t>(selected)])
                      : std::wstring();
}

void CControllerDlg::SetOpenPortHint(std::string_view text) {
  m_openPortHint = Widen(text);
  if (text.empty()) HideOpenPortHint();
  AnnounceOpenPortHint(text);
}

bool CControllerDlg::LeftButtonDown() const {
  // The physical button, not the last message seen: a box's own loop or
  // another window may have taken the release. GetAsyncKeyState reports the
  // physical buttons, so a left-handed mapping puts the logical left button
  // on the right one.
  const int key = GetSystemMetrics(SM_SWAPBUTTON) != 0 ? VK_RBUTTON : VK_LBUTTON;
  return (static_cast<unsigned short>(GetAsyncKeyState(key)) & 0x8000U) != 0;
}

void CControllerDlg::PopUpOpenPortHint() {
  if (m_openPortHint.empty() || m_hintPopUp == nullptr || !IsWindowVisible(m_hWnd)) return;
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = m_hWnd;
  tool.uId = 1;
  tool.lpszText = m_openPortHint.data();
  SendMessageW(m_hintPopUp, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  // Just below the button, where the operator is looking after the press.
  RECT button{};
  GetWindowRect(m_openPortButton, &button);
  SendMessageW(m_hintPopUp, TTM_TRACKPOSITION, 0, MAKELPARAM(button.left, button.bottom));
  SendMessageW(m_hintPopUp, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  SetTimer(m_hWnd, kHintTimer, kHintShownMs, nullptr);
}

void CControllerDlg::HideOpenPortHint() {
  if (m_hWnd != nullptr) KillTimer(m_hWnd, kHintTimer);
  if (m_hintPopUp == nullptr) return;
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = m_hWnd;
  tool.uId = 1;
  SendMessageW(m_hintPopUp, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace quorvane
