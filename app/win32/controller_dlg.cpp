// The main window's creation, initialisation, message loop, message table and
// end of session.
#include "app/win32/controller_dlg.h"

#include <objbase.h>

#include "app/main_layout.h"
#include "app/win32/dialog_messages.h"
#include "app/win32/history_window.h"
#include "controller/control_ids.h"
#include "controls/win32/dpi.h"

namespace quorvane {

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

}  // namespace

CControllerDlg::CControllerDlg(SerialLinkInterface& link, const PortProbe& ports,
                               std::function<void(HWND)> help, LimitsSources limits)
    : WindowLinkOwner(m_controller),
      m_link(link),
      m_help(std::move(help)),
      m_hIcon(LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_APP))),
      m_limitsSources(std::move(limits)),
      m_ports(ports),
      m_controller(*this, link, m_ports, *this) {
  m_controller.SetReadingsObserver(&m_readings);
  m_controller.SetLimitsSource(
      [sources = m_limitsSources](std::string_view port) { return LimitsFor(port, sources); });
}

CControllerDlg::~CControllerDlg() {
  EndSession();
  if (m_comInitialized) CoUninitialize();
}

bool CControllerDlg::Create() {
  m_threadId = GetCurrentThreadId();
  // A screen reader gets the controls' accessible objects through COM
  // marshalling, which needs the window's thread in an apartment.
  m_comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  HWND hwnd = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                 &CControllerDlg::DialogProc, reinterpret_cast<LPARAM>(this));
  return hwnd != nullptr;
}

INT_PTR CALLBACK CControllerDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CControllerDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CControllerDlg*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->m_hWnd = hwnd;
  }
  if (self == nullptr) return FALSE;
  return self->OnMessage(message, wParam, lParam);
}

INT_PTR CControllerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      DoDataExchange();
      OnInitDialog();
      return TRUE;  // the focus goes to the first tab stop, IDC_OPEN_PORT
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_TIMER:
      if (wParam == kHintTimer) {
        HideOpenPortHint();
      } else if (wParam == kDevicesQuietTimer) {
        OnDevicesQuiet();
      } else if (!m_sessionEnded) {
        m_controller.OnTimer(static_cast<int>(wParam));
      }
      return TRUE;
    case WM_SERIAL_RXBYTE:
      OnSerialByte(static_cast<std::uint8_t>(wParam), static_cast<unsigned>(lParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      // The read-outs in alarm; every other control keeps the dialog's colours.
      if (HBRUSH brush =
              AlarmColours(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)))
        return reinterpret_cast<INT_PTR>(brush);
      return FALSE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->hwndItem != m_softActiveButton.Handle()) return FALSE;
      m_softActiveButton.DrawItem(*item);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->code != TTN_GETDISPINFOW) return FALSE;
      auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
      // The marks' tips of the read-outs are areas of the window, named by
      // control id; every other tip is a control's own.
      const auto control = reinterpret_cast<HWND>(header->idFrom);
      int id = static_cast<int>(header->idFrom);
      if ((info->uFlags & TTF_IDISHWND) != 0)
        id = GetParent(control) == m_hWnd ? GetDlgCtrlID(control) : kNoId;
      const auto mark = m_markTips.find(id);
      if (mark != m_markTips.end()) {
        info->lpszText = mark->second.data();
      } else {
        info->lpszText = control == m_openPortButton ? m_openPortHint.data() : m_portDetails.data();
      }
      return TRUE;
    }
    case WM_DEVICECHANGE:
      // Each notice restarts the wait, so a burst ends in one scan.
      if (!m_sessionEnded) SetTimer(m_hWnd, kDevicesQuietTimer, kDevicesQuietMs, nullptr);
      return TRUE;
    case WM_APP_PORTS_SCANNED:
      if (!m_sessionEnded) m_ports.ServeFinished([this] { m_controller.OnDeviceChange(); });
      return TRUE;
    case WM_APP_RUN_SENT:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      return TRUE;
    case WM_APP_RUN_POSTED:
      RunPosted();
      return TRUE;
    case WM_ACTIVATE:
      // A release made while another window is active never reaches this loop.
      if (LOWORD(wParam) == WA_INACTIVE) EndHold();
      return FALSE;  // the dialog's default keeps the focus for the return
    case WM_ENTERMENULOOP:
    case WM_ENTERSIZEMOVE:
      // The system's own loop (the window menu, a move) takes the release.
      EndHold();
      return FALSE;
    case WM_CONTEXTMENU:
      OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
      return TRUE;
    case WM_CLOSE:
      OnClose();
      return TRUE;
    default:
      return FALSE;
  }
}

void CControllerDlg::DoDataExchange() {
  m_softActiveButton.Attach(Control(IDC_SOFT_ACTIVE));
  m_frequencyEdit.Attach(Control(IDC_FREQUENCY_EDIT));
  m_durationEdit.Attach(Control(IDC_DURATION_EDIT));
  m_currentEdit.Attach(Control(IDC_CURRENT_EDIT));
  m_currentSlider = Control(IDC_CURRENT_SLIDER);
  m_portList = Control(IDC_PORT_LIST);
  m_openPortButton = Control(IDC_OPEN_PORT);
}

void CControllerDlg::OnInitDialog() {
  // The template was laid out at the window's DPI; later changes are ours.
  m_dpi = DpiOf(m_hWnd);
  TakeOverDialogRescaling(m_hWnd);
  LoadIconsForDpi(m_dpi);
  CreateTooltips();
  AnnotateControls();
  m_controller.ClearFlagsAndScan();
  m_softActiveButton.EnableOwnerDraw();
  m_softActiveButton.SetColor(kSoftActiveOffColor);
  m_controller.ShowClosed();
  CentreOnScreen();
}

void CControllerDlg::CreateTooltips() {
  m_tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd,
                              nullptr, Instance(), nullptr);
  m_hintPopUp = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                Instance(), nullptr);
  // The first common-controls version's record size: accepted by every version.
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = m_hWnd;
  // Hover tips ask for their text when shown (TTN_GETDISPINFOW), so they
  // follow the hint and the selection without being updated.
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  tool.uId = reinterpret_cast<UINT_PTR>(m_openPortButton);
  SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // The list's visible part is its inner combo box, which gets the mouse.
  HWND combo = reinterpret_cast<HWND>(SendMessageW(m_portList, CBEM_GETCOMBOCONTROL, 0, 0));
  tool.uId = reinterpret_cast<UINT_PTR>(combo != nullptr ? combo : m_portList);
  SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

  TOOLINFOW popUp{};
  popUp.cbSize = TTTOOLINFOW_V2_SIZE;
  popUp.hwnd = m_hWnd;
  popUp.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  popUp.uId = 1;
  popUp.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(m_hintPopUp, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&popUp));
}

void CControllerDlg::CentreOnScreen() {
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT window{};
  GetWindowRect(m_hWnd, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  SetWindowPos(m_hWnd, nullptr, x < work.left ? work.left : x, y < work.top ? work.top : y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CControllerDlg::OnCommand(int id, int code) {
  if (m_sessionEnded) return;
  if (id == IDCANCEL) {
    // The system menu's Close and Alt+F4 come here by way of WM_CLOSE's
    // default; Escape never does (the pre-filter swallows it).
    OnClose();
    return;
  }
  if (id == IDC_PORT_LIST && code == CBN_SELCHANGE) {
    ShowPortDetails();
    return;
  }
  // Every button's click goes to the controller by id; it knows what each does.
  if (code == BN_CLICKED) m_controller.OnClicked(id);
}

bool CControllerDlg::OnPaint() {
  if (!IsIconic(m_hWnd)) return false;  // the dialog paints itself and its controls
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cx = GetSystemMetrics(SM_CXICON);
  const int cy = GetSystemMetrics(SM_CYICON);
  RECT client{};
  GetClientRect(m_hWnd, &client);
  DrawIcon(dc, (client.right - client.left - cx + 1) / 2, (client.bottom - client.top - cy + 1) / 2,
           m_hIcon);
  EndPaint(m_hWnd, &paint);
  SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
  return true;
}

void CControllerDlg::OnDevicesQuiet() {
  KillTimer(m_hWnd, kDevicesQuietTimer);
  if (m_sessionEnded) return;
  // Probing every COM name can take seconds (a Bluetooth port answers only
  // once its device has), so it runs off this thread and the device change
  // follows when it is done. A scan still under way began before this
  // burst ended: another wait, and another scan after it.
  HWND window = m_hWnd;
  if (!m_ports.Start([window] { PostMessageW(window, WM_APP_PORTS_SCANNED, 0, 0); }))
    SetTimer(m_hWnd, kDevicesQuietTimer, kDevicesQuietMs, nullptr);
}

void CControllerDlg::OnClose() {
  // The loop ends and the session with it; the window goes out of sight at
  // once, while the link is being closed.
  m_closed = true;
  HideOpenPortHint();
  ShowWindow(m_hWnd, SW_HIDE);
}

void CControllerDlg::EndHold() {
  if (m_sessionEnded) return;
  m_controller.EndHold();
}

void CControllerDlg::HandleMessage(MSG& msg) {
  if (PreTranslateMessage(msg)) return;
  if (m_history != nullptr && m_history->PreTranslateMessage(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void CControllerDlg::ProcessPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    HandleMessage(msg);
  }
}

void CControllerDlg::RunModal() {
  while (!m_closed) {
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // Somebody asked the thread to quit: end the window, keep the request.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    HandleMessage(msg);
  }
  EndSession();
}

void CControllerDlg::EndSession() {
  if (m_sessionEnded) return;
  m_sessionEnded = true;
  BeginEnding();
  if (m_hWnd != nullptr) {
    for (const int id : {TIMER_POLL, TIMER_NUDGE_DOWN, TIMER_NUDGE_UP, TIMER_SYNC})
      KillTimer(m_hWnd, static_cast<UINT_PTR>(id));
    KillTimer(m_hWnd, kHintTimer);
    KillTimer(m_hWnd, kDevicesQuietTimer);
  }
  // Close pumps this thread's messages, so a byte delivery that is waiting
  // for the window completes instead of blocking the exit.
  m_link.Close();
  m_link.DetachOwner();
  Detach();
  m_readings.StopRecording();
  m_history.reset();  // before the window that owns it
  m_currentEdit.Detach();
  m_frequencyEdit.Detach();
  m_durationEdit.Detach();
  if (m_hWnd != nullptr) {
    // The tooltips are owned by the window and go with it.
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    m_tooltip = nullptr;
    m_hintPopUp = nullptr;
  }
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
  m_hSmallIcon = nullptr;
  if (m_hBigIcon != nullptr) DestroyIcon(m_hBigIcon);
  m_hBigIcon = nullptr;
  if (m_dpiFont != nullptr) DeleteObject(m_dpiFont);
  m_dpiFont = nullptr;
  if (m_alarmBrush != nullptr) DeleteObject(m_alarmBrush);
  m_alarmBrush = nullptr;
}

}  // namespace quorvane
