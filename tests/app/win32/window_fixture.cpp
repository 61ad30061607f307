// The in-process window fixture.
#include "window_fixture.h"

#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "serial/win32/wide_text.h"

#include <fstream>
#include <iterator>
#include <string>

namespace quorvane::test {

OnePort::OnePort() : m_released(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

OnePort::~OnePort() { CloseHandle(m_released); }

std::vector<ListedPort> OnePort::DiscoverPorts() const {
  ++scans;
  lastScanThread = GetCurrentThreadId();
  if (lastScanThread != windowThread) WaitForSingleObject(m_released, INFINITE);
  std::vector<ListedPort> listed{{kListedPort, "COM31", "virtual board"}};
  if (secondPort) listed.push_back({kListedPort + 1, "COM32", ""});
  return listed;
}

void OnePort::Hold(bool held) {
  if (held)
    ResetEvent(m_released);
  else
    SetEvent(m_released);
}

std::vector<std::uint8_t> RecordingLink::SettingCodes() const {
  std::vector<std::uint8_t> codes;
  for (const auto& frame : frames) {
    const std::uint8_t code = frame.size() > 3 ? frame[3] : 0xFF;
    if (code != CMD_READ_STATUS && code != CMD_READ_ALL) codes.push_back(code);
  }
  return codes;
}

std::vector<std::vector<std::uint8_t>> RecordingLink::FramesWithCode(std::uint8_t code) const {
  std::vector<std::vector<std::uint8_t>> found;
  for (const auto& frame : frames)
    if (frame.size() > 3 && frame[3] == code) found.push_back(frame);
  return found;
}

void RecordingLink::Send(const std::uint8_t* bytes, std::size_t count) {
  frames.emplace_back(bytes, bytes + count);
  if (count > 3 && bytes[3] == CMD_SET_CURRENT) ++setCurrentFrames;
}

void WindowTest::SetUp() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_BAR_CLASSES | ICC_USEREX_CLASSES | ICC_WIN95_CLASSES};
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  ASSERT_TRUE(registered);
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  limitsFile =
      Narrow(folder) + "quorvane-window-limits-" + std::to_string(GetCurrentProcessId()) + ".toml";
  DeleteFileW(Widen(limitsFile).c_str());
  if (!limitsText.empty()) std::ofstream(limitsFile, std::ios::binary) << limitsText;
  LimitsSources limits;
  limits.labFile = limitsFile;
  limits.labFileMustBeRoots = false;
  dlg = std::make_unique<CControllerDlg>(
      link, ports,
      [this](HWND owner) {
        ++helpCalls;
        if (helpOpensABox) MessageBoxW(owner, L"No help is installed.", L"Help", MB_OK);
      },
      limits);
  ASSERT_TRUE(dlg->Create()) << "the dialog template could not be made into a window";
  SetForegroundWindow(dlg->Handle());
  dlg->ProcessPending();
}

void WindowTest::TearDown() {
  // A test that stopped half-way must not leave the button down for the next.
  if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0) LeftButton(false);
  dlg.reset();
  DeleteFileW(Widen(limitsFile).c_str());
}

void WindowTest::Sync() {
  SendMessageW(Control(IDC_OPEN_PORT), BM_CLICK, 0, 0);
  dlg->ProcessPending();
  ASSERT_EQ(dlg->GetController().Flags().portOpen, 1);
  // prefix, set-point, maximum, Hz, steps, soft-active
  Deliver(BuildFrame(FrameKind::kReply, *ReplyLayout(RPL_ALL), {0x1234, 1000, 3000, 20000, 20, 0}));
  ASSERT_EQ(dlg->GetController().Flags().synced, 1);
  link.frames.clear();
}

void WindowTest::Deliver(const WireFrame& frame) {
  for (const std::uint8_t byte : frame.view())
    SendMessageW(dlg->Handle(), WM_SERIAL_RXBYTE, byte, kListedPort);
}

void WindowTest::Post(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageW(target, message, wParam, lParam);
  dlg->ProcessPending();
}

void WindowTest::PumpFor(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    dlg->ProcessPending();
    Sleep(10);
  }
}

std::wstring WindowTest::Text(HWND window) const {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

HWND WindowTest::FocusedControl() const {
  HWND focus = GetFocus();
  while (focus != nullptr && GetParent(focus) != dlg->Handle()) focus = GetParent(focus);
  return focus;
}

std::wstring WindowTest::TipOver(HWND control) const {
  struct Search {
    HWND dialog;
    std::vector<HWND> tips;
  } search{dlg->Handle(), {}};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (_wcsicmp(name, TOOLTIPS_CLASSW) == 0 && GetWindow(window, GW_OWNER) == s->dialog)
          s->tips.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  RECT area{};
  GetWindowRect(control, &area);
  POINT centre{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
  ScreenToClient(dlg->Handle(), &centre);
  for (HWND tip : search.tips) {
    const auto count = static_cast<UINT>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    for (UINT i = 0; i < count; ++i) {
      TOOLINFOW tool{};
      tool.cbSize = TTTOOLINFOW_V2_SIZE;
      if (!SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&tool))) continue;
      const bool over = (tool.uFlags & TTF_IDISHWND) != 0
                            ? reinterpret_cast<HWND>(tool.uId) == control
                            : PtInRect(&tool.rect, centre) != FALSE;
      if (!over) continue;
      wchar_t text[512] = {};
      tool.lpszText = text;
      SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
      if (text[0] != L'\0') return text;
    }
  }
  return {};
}

bool WindowTest::DrawnInAlarm(HWND readout) const {
  HDC dc = CreateCompatibleDC(nullptr);
  const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(dlg->Handle(), WM_CTLCOLORSTATIC,
                                                           reinterpret_cast<WPARAM>(dc),
                                                           reinterpret_cast<LPARAM>(readout)));
  LOGBRUSH fill{};
  const bool red = brush != nullptr && GetObjectW(brush, sizeof fill, &fill) == sizeof fill &&
                   fill.lbColor == RGB(255, 0, 0) && GetTextColor(dc) == RGB(255, 255, 255) &&
                   GetBkColor(dc) == RGB(255, 0, 0);
  DeleteDC(dc);
  return red;
}

void WindowTest::PointAt(HWND window) {
  RECT area{};
  GetWindowRect(window, &area);
  SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
}

void WindowTest::LeftButton(bool down) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
}

void WindowTest::Keys(std::initializer_list<std::pair<WORD, bool>> strokes) {
  std::vector<INPUT> inputs;
  for (const auto& [key, down] : strokes) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    // Insert is an extended key: without the flag it is the keypad's 0.
    input.ki.dwFlags =
        (key == VK_INSERT ? KEYEVENTF_EXTENDEDKEY : 0) | (down ? 0 : KEYEVENTF_KEYUP);
    inputs.push_back(input);
  }
  ASSERT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
            inputs.size());
}

}  // namespace quorvane::test
