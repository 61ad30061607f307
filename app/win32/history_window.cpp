// The readings history window's controls, drawn as its presenter says.
#include "app/win32/history_window.h"

#include <windowsx.h>

#include <algorithm>

#include "controller/control_ids.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

namespace {

constexpr const wchar_t* kClassName = L"QuorvaneReadingsHistory";

// The controls, in tab order: each label before what it names.
enum : int {
  kSpanLabel = 200,
  kFirstSpan,  // one button per Span, in its order
  kFollow = kFirstSpan + 4,
  kRecord,
  kExport,
  kChart,
  kStatus,
};

constexpr UINT_PTR kRedrawTimer = 1;
constexpr UINT WM_APP_WARN = WM_APP + 20;  // shows the pending warning's box

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

bool RegisterOnce() {
  static const bool registered = [] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = DefWindowProcW;  // replaced per window once it is made
    type.hInstance = Instance();
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_APP));
    type.lpszClassName = kClassName;
    return RegisterClassExW(&type) != 0;
  }();
  return registered;
}

HWND Child(HWND parent, const wchar_t* type, const wchar_t* text, DWORD style, int id) {
  return CreateWindowExW(0, type, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
}

}  // namespace

HistoryWindow::HistoryWindow(ReadingsLog& readings, HWND owner) : m_presenter(readings, *this) {
  if (!RegisterOnce()) return;
  m_hWnd = CreateWindowExW(0, kClassName, Widen(kHistoryTitle).c_str(),
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 0,
                           0, owner, nullptr, Instance(), nullptr);
  if (m_hWnd == nullptr) return;
  SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HistoryWindow::WindowProc));
  BuildControls();
  ApplyFont();
  // 900 by 520 at 96 dots per inch, beside the panel when the screen has
  // room there, so neither hides the other.
  const int dpi = WindowDpi(m_hWnd);
  const int width = MulDiv(900, dpi, 96), height = MulDiv(520, dpi, 96);
  RECT panel{}, work{};
  GetWindowRect(owner, &panel);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const bool room = panel.right + 8 + width <= work.right && panel.top + height <= work.bottom;
  SetWindowPos(m_hWnd, nullptr, room ? panel.right + 8 : 0, room ? panel.top : 0, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE | (room ? 0 : SWP_NOMOVE));
  m_chart.ForwardInputTo(&m_presenter);
  m_chart.onResized = [this] { m_presenter.OnViewChanged(); };
  m_presenter.Begin();
}

HistoryWindow::~HistoryWindow() {
  if (m_hWnd != nullptr) {
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
  if (m_font != nullptr) DeleteObject(m_font);
}

void HistoryWindow::BuildControls() {
  Child(m_hWnd, WC_STATICW, Widen(kSpanPrompt).c_str(), SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX,
        kSpanLabel);
  for (int i = 0; i < 4; ++i)
    Child(m_hWnd, WC_BUTTONW, Widen(kSpanButtons[i].caption).c_str(),
          BS_AUTORADIOBUTTON | BS_PUSHLIKE | (i == 0 ? WS_GROUP | WS_TABSTOP : 0), kFirstSpan + i);
  Button_SetCheck(Item(kFirstSpan + static_cast<int>(m_presenter.Span())), BST_CHECKED);
  Child(m_hWnd, WC_BUTTONW, Widen(kFollowButton.caption).c_str(),
        BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_GROUP | WS_TABSTOP, kFollow);
  Button_SetCheck(Item(kFollow), m_presenter.Following() ? BST_CHECKED : BST_UNCHECKED);
  Child(m_hWnd, WC_BUTTONW, Widen(kRecordButton.caption).c_str(),
        BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP, kRecord);
  Child(m_hWnd, WC_BUTTONW, Widen(kExportButton.caption).c_str(), BS_PUSHBUTTON | WS_TABSTOP,
        kExport);
  m_chart.Create(m_hWnd, kChart);
  SetWindowLongPtrW(m_chart.Handle(), GWL_STYLE,
                    GetWindowLongPtrW(m_chart.Handle(), GWL_STYLE) | WS_GROUP);
  // Read-only text rather than a label: the operator can select and copy a path.
  Child(m_hWnd, WC_EDITW, L"", ES_READONLY | ES_AUTOHSCROLL | WS_GROUP, kStatus);
  AnnotateControls(
      {Item(kFirstSpan), Item(kFirstSpan + 1), Item(kFirstSpan + 2), Item(kFirstSpan + 3)},
      Item(kFollow), Item(kRecord), Item(kExport), Item(kStatus));
}

void HistoryWindow::ApplyFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW look = metrics.lfMessageFont;
  look.lfHeight = -MulDiv(9, WindowDpi(m_hWnd), 72);
  look.lfWidth = 0;
  HFONT font = CreateFontIndirectW(&look);
  if (font == nullptr) return;
  for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (m_font != nullptr) DeleteObject(m_font);
  m_font = font;
}

void HistoryWindow::Layout() {
  RECT client{};
  GetClientRect(m_hWnd, &client);
  const int dpi = WindowDpi(m_hWnd);
  const auto px = [dpi](int at96) { return MulDiv(at96, dpi, 96); };
  const int margin = px(8), height = px(24), space = px(4);
  HDC dc = GetDC(m_hWnd);
  HGDIOBJ old = SelectObject(dc, m_font);
  const auto widthOf = [&](int id, int least) {
    wchar_t text[64] = {};
    const int length = GetWindowTextW(Item(id), text, 64);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, length, &size);
    return std::max(px(least), static_cast<int>(size.cx) + px(16));
  };
  int x = margin;
  const auto place = [&](int id, int width) {
    MoveWindow(Item(id), x, margin, width, height, TRUE);
    x += width + space;
  };
  place(kSpanLabel, widthOf(kSpanLabel, 40) - px(12));
  for (int i = 0; i < 4; ++i) place(kFirstSpan + i, widthOf(kFirstSpan + i, 48));
  x += px(8);
  place(kFollow, widthOf(kFollow, 80));
  const int exportWidth = widthOf(kExport, 80);
  const int recordWidth = std::max(widthOf(kRecord, 80), px(110));  // room for "Stop recording"
  x = std::max(x, static_cast<int>(client.right) - margin - exportWidth - space - recordWidth);
  place(kRecord, recordWidth);
  place(kExport, exportWidth);
  SelectObject(dc, old);
  ReleaseDC(m_hWnd, dc);
  const int top = margin + height + space;
  const int status = px(20);
  MoveWindow(Item(kStatus), margin, client.bottom - margin - status,
             std::max(1, static_cast<int>(client.right) - 2 * margin), status, TRUE);
  MoveWindow(m_chart.Handle(), margin, top,
             std::max(1, static_cast<int>(client.right) - 2 * margin),
             std::max(1, static_cast<int>(client.bottom) - top - margin - status - space), TRUE);
}

LRESULT CALLBACK HistoryWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<HistoryWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT HistoryWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      // Down on the task bar the controls keep their places: nothing is drawn there.
      if (wParam != SIZE_MINIMIZED) Layout();
      return 0;
    case WM_WINDOWPOSCHANGED: {
      const auto* place = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (place->flags & SWP_SHOWWINDOW) m_presenter.OnViewChanged();
      if (place->flags & SWP_HIDEWINDOW) KillTimer(m_hWnd, kRedrawTimer);
      break;  // the default sends WM_SIZE and WM_MOVE
    }
    case WM_TIMER:
      if (wParam == kRedrawTimer) m_presenter.OnRedrawTimer();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
      return 0;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: {
      // The wheel goes to the focus; over the chart it is the chart's.
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (WindowFromPoint(at) == m_chart.Handle())
        return SendMessageW(m_chart.Handle(), message, wParam, lParam);
      break;
    }
    case WM_CTLCOLORSTATIC:
      // The read-only status line looks like a label.
      if (reinterpret_cast<HWND>(lParam) == Item(kStatus)) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyFont();
      Layout();
      m_presenter.OnViewChanged();
      return 0;
    }
    case WM_APP_WARN:
      if (!m_pendingWarning.empty()) {
        const std::wstring text = std::move(m_pendingWarning);
        m_pendingWarning.clear();
        if (m_warningBox)
          m_warningBox(m_hWnd, text);
        else
          MessageBoxW(m_hWnd, text.c_str(), Widen(kHistoryTitle).c_str(), MB_OK | MB_ICONWARNING);
      }
      return 0;
    case WM_CLOSE:
      ShowWindow(m_hWnd, SW_HIDE);  // kept, with its view, for the next F2
      return 0;
    default:
      break;
  }
  return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

bool HistoryWindow::PreTranslateMessage(MSG& msg) {
  if (m_hWnd == nullptr || (msg.hwnd != m_hWnd && !IsChild(m_hWnd, msg.hwnd))) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    ShowWindow(m_hWnd, SW_HIDE);
    return true;
  }
  return IsDialogMessageW(m_hWnd, &msg) != FALSE;
}

void HistoryWindow::Show() {
  if (m_hWnd == nullptr) return;
  ShowWindow(m_hWnd, IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(m_hWnd);
}

void HistoryWindow::OnCommand(int id) {
  if (id >= kFirstSpan && id < kFirstSpan + 4)
    return m_presenter.FollowSpan(static_cast<Span>(id - kFirstSpan));
  switch (id) {
    case kFollow:
      return m_presenter.SetFollowing(Button_GetCheck(Item(kFollow)) == BST_CHECKED);
    case kRecord:
      return m_presenter.OnRecordPressed();
    case kExport:
      return m_presenter.OnExportPressed();
    default:
      return;
  }
}

bool HistoryWindow::Visible() const {
  // Hidden, or down on the task bar, it is out of sight.
  return m_hWnd != nullptr && IsWindowVisible(m_hWnd) && !IsIconic(m_hWnd);
}

void HistoryWindow::DrawChart(const ReadingHistory& history, TrendView view) {
  m_chart.Draw(history, view.from, view.to);
}

void HistoryWindow::StartRedrawTimer(std::chrono::milliseconds wait) {
  SetTimer(m_hWnd, kRedrawTimer, static_cast<UINT>(wait.count()), nullptr);
}

void HistoryWindow::ShowSpan(TrendSpan span) {
  for (int i = 0; i < 4; ++i)
    Button_SetCheck(Item(kFirstSpan + i),
                    i == static_cast<int>(span) ? BST_CHECKED : BST_UNCHECKED);
}

void HistoryWindow::ShowFollowing(bool following) {
  Button_SetCheck(Item(kFollow), following ? BST_CHECKED : BST_UNCHECKED);
}

void HistoryWindow::ShowRecordButton(const ButtonTexts& texts) {
  SetWindowTextW(Item(kRecord), Widen(texts.caption).c_str());
  m_recordText.SetName(Widen(texts.name));
  m_recordText.SetDescription(Widen(texts.description));
}

void HistoryWindow::ShowStatus(const std::string& text, const std::string& name) {
  SetWindowTextW(Item(kStatus), Widen(text).c_str());
  m_statusText.SetName(Widen(name));
}

bool HistoryWindow::RecordTo(const std::wstring& path) {
  return m_presenter.RecordTo(Narrow(path));
}

bool HistoryWindow::ExportTo(const std::wstring& path) {
  return m_presenter.ExportTo(Narrow(path));
}

std::wstring HistoryWindow::StatusText() const {
  HWND status = GetDlgItem(m_hWnd, kStatus);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(status)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(status, text.data(), static_cast<int>(text.size()))));
  return text;
}

void HistoryWindow::ShowWarning(const std::string& text) {
  // The box comes once the message that raised it is done: a failed row is
  // found inside a reply's handling, which a box's own loop must not
  // interrupt. It is modal to this window only; the panel goes on.
  m_pendingWarning = Widen(text);
  PostMessageW(m_hWnd, WM_APP_WARN, 0, 0);
}

}  // namespace quorvane
