// The trend chart's window: its back buffer, the operator's zooming and
// scrolling (wheel, drag, arrow keys, +/-) and the setting changes' hover tips.
#include "app/win32/trend_chart.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "history/history_presenter.h"
#include "history/trend_view.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

namespace {

constexpr const wchar_t* kClassName = L"QuorvaneTrendChart";

// Beyond this many gaps in view the last runs are drawn joined: so many
// reopens in one view are rare, and each run is a polyline of its own.
constexpr std::size_t kMaxRuns = 64;
// At most this many steps up a value axis: labels a few lines of text apart.
constexpr int kValueSteps = 10;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

bool RegisterOnce() {
  static const bool registered = [] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.style = CS_HREDRAW | CS_VREDRAW;
    type.lpfnWndProc = DefWindowProcW;  // replaced per window in Create
    type.hInstance = Instance();
    type.hCursor = LoadCursorW(nullptr, IDC_CROSS);
    type.lpszClassName = kClassName;
    return RegisterClassExW(&type) != 0;
  }();
  return registered;
}

}  // namespace

TrendChart::~TrendChart() {
  if (m_memory != nullptr) {
    SelectObject(m_memory, m_oldBitmap);
    DeleteDC(m_memory);
  }
  if (m_bitmap != nullptr) DeleteObject(m_bitmap);
  // The window and its tip go with the parent.
}

bool TrendChart::Create(HWND parent, int id) {
  if (!RegisterOnce()) return false;
  // The window text is its name to a screen reader.
  m_hWnd = CreateWindowExW(0, kClassName, Widen(kChartName).c_str(),
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  if (m_hWnd == nullptr) return false;
  SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TrendChart::WindowProc));
  m_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd,
                          nullptr, Instance(), nullptr);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = m_hWnd;
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.uId = 1;
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(m_tip, TTM_SETMAXTIPWIDTH, 0, 600);
  return true;
}

LRESULT CALLBACK TrendChart::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TrendChart*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT TrendChart::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_SIZE:
      OnSize();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the bitmap covers every pixel
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(m_hWnd, nullptr, FALSE);  // the focus frame
      return 0;
    case WM_KEYDOWN:
      if (OnKey(wParam)) return 0;
      break;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      OnWheel(GET_WHEEL_DELTA_WPARAM(wParam),
              message == WM_MOUSEHWHEEL || (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) != 0, at);
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(m_hWnd);
      SetCapture(m_hWnd);
      m_dragFrom = m_dragTo = at.x;
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(at);
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == m_hWnd) ReleaseCapture();
      EndDrag(at.x);
      return 0;
    case WM_CAPTURECHANGED:
      if (m_dragFrom >= 0 && reinterpret_cast<HWND>(lParam) != m_hWnd) {
        m_dragFrom = m_dragTo = -1;
        InvalidateRect(m_hWnd, nullptr, FALSE);
      }
      return 0;
    case WM_MOUSELEAVE:
      m_tracking = false;
      HideTip();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

void TrendChart::OnSize() {
  RECT client{};
  GetClientRect(m_hWnd, &client);
  const SIZE size{std::max(1L, client.right), std::max(1L, client.bottom)};
  if (m_memory == nullptr) {
    HDC screen = GetDC(m_hWnd);
    m_memory = CreateCompatibleDC(screen);
    ReleaseDC(m_hWnd, screen);
  }
  if (size.cx == m_size.cx && size.cy == m_size.cy && m_bitmap != nullptr) return;
  HDC screen = GetDC(m_hWnd);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
  ReleaseDC(m_hWnd, screen);
  if (bitmap == nullptr) return;  // the old buffer stays, at its size
  HGDIOBJ old = SelectObject(m_memory, bitmap);
  if (m_bitmap != nullptr)
    DeleteObject(m_bitmap);
  else
    m_oldBitmap = old;
  m_bitmap = bitmap;
  m_size = size;
  Render();  // what was drawn, at the new size, until the window thins anew
  if (onResized) onResized();
}

void TrendChart::OnPaint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(m_hWnd, &paint);
  if (m_memory != nullptr) BitBlt(dc, 0, 0, m_size.cx, m_size.cy, m_memory, 0, 0, SRCCOPY);
  if (m_dragFrom >= 0 && m_dragTo != m_dragFrom) {
    // The stretch being dragged across, inverted over the copy: no redraw.
    const RECT plot = PlotArea();
    PatBlt(dc, std::min(m_dragFrom, m_dragTo), plot.top, std::abs(m_dragTo - m_dragFrom),
           plot.bottom - plot.top, DSTINVERT);
  }
  if (GetFocus() == m_hWnd) {
    RECT client{0, 0, m_size.cx, m_size.cy};
    InflateRect(&client, -2, -2);
    DrawFocusRect(dc, &client);
  }
  EndPaint(m_hWnd, &paint);
}

void TrendChart::OnMouseMove(POINT at) {
  if (!m_tracking) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_hWnd, 0};
    m_tracking = TrackMouseEvent(&track) != FALSE;
  }
  if (m_dragFrom >= 0 && GetCapture() == m_hWnd) {
    m_dragTo = at.x;
    InvalidateRect(m_hWnd, nullptr, FALSE);
    return;
  }
  // The nearest marker within a few pixels tells its change.
  const int reach = Scaled(6);
  const std::vector<POINT> marks = MarkerPoints();
  const SettingChange* nearest = nullptr;
  int best = reach * reach + 1;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const int dx = marks[i].x - at.x, dy = marks[i].y - at.y;
    if (dx * dx + dy * dy < best) {
      best = dx * dx + dy * dy;
      nearest = &m_changes[i];
    }
  }
  if (nearest == nullptr) return HideTip();
  // Local time, as the axis labels show it.
  FILETIME utc{}, local{};
  const auto ticks = static_cast<ULONGLONG>((nearest->timeMs + 11644473600000.0) * 10000.0);
  utc.dwLowDateTime = static_cast<DWORD>(ticks);
  utc.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME when{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &when);
  wchar_t prefix[32] = {};
  swprintf(prefix, 32, L"%02u:%02u:%02u  ", when.wHour, when.wMinute, when.wSecond);
  ShowTip(prefix + Widen(nearest->text), at);
}

void TrendChart::ShowTip(const std::wstring& text, POINT client) {
  if (m_tip == nullptr) return;
  if (!m_tipShown || text != m_tipText) {
    m_tipText = text;
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = m_hWnd;
    tool.uId = 1;
    tool.lpszText = m_tipText.data();
    SendMessageW(m_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    POINT screen{client.x + Scaled(12), client.y + Scaled(12)};
    ClientToScreen(m_hWnd, &screen);
    SendMessageW(m_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y));
    SendMessageW(m_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  }
  m_tipShown = true;
}

void TrendChart::HideTip() {
  if (!m_tipShown) return;
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = m_hWnd;
  tool.uId = 1;
  SendMessageW(m_tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
  m_tipShown = false;
}

std::wstring TrendChart::ShownTip() const { return m_tipShown ? m_tipText : std::wstring(); }

void TrendChart::OnWheel(int delta, bool sideways, POINT screen) {
  if (m_input == nullptr) return;
  ScreenToClient(m_hWnd, &screen);
  const RECT plot = PlotArea();
  const double anchor = std::clamp(
      static_cast<double>(screen.x - plot.left) / std::max(1L, plot.right - plot.left), 0.0, 1.0);
  m_input->OnChartWheel(delta, sideways, anchor);
}

bool TrendChart::OnKey(WPARAM key) {
  const auto chartKey = [key]() -> std::optional<ChartKey> {
    switch (key) {
      case VK_LEFT:
        return ChartKey::Earlier;
      case VK_RIGHT:
        return ChartKey::Later;
      case VK_ADD:
      case VK_OEM_PLUS:  // the = key, + with Shift
        return ChartKey::ZoomIn;
      case VK_SUBTRACT:
      case VK_OEM_MINUS:
        return ChartKey::ZoomOut;
      default:
        return std::nullopt;
    }
  }();
  if (!chartKey) return false;
  if (m_input != nullptr) m_input->OnChartKey(*chartKey);
  return true;
}

void TrendChart::EndDrag(int x) {
  const int from = m_dragFrom;
  m_dragFrom = m_dragTo = -1;
  InvalidateRect(m_hWnd, nullptr, FALSE);
  // A click, or a drag shorter than a few pixels, zooms nothing.
  if (from < 0 || std::abs(x - from) < Scaled(4)) return;
  const RECT plot = PlotArea();
  const double width = std::max(1L, plot.right - plot.left);
  const double left = std::clamp((std::min(from, x) - plot.left) / width, 0.0, 1.0);
  const double right = std::clamp((std::max(from, x) - plot.left) / width, 0.0, 1.0);
  if (m_input != nullptr) m_input->OnChartDragged(left, right);
}

std::size_t TrendChart::PointCount(TrendQuantity quantity) const {
  std::size_t count = 0;
  for (const TrendRun& run : Runs(quantity)) count += run.size();
  return count;
}

int TrendChart::PlotWidth() const {
  const RECT plot = PlotArea();
  return std::max(1L, plot.right - plot.left);
}

std::vector<POINT> TrendChart::MarkerPoints() const {
  std::vector<POINT> points;
  for (const SettingChange& change : m_changes)
    points.push_back({static_cast<LONG>(std::lround(XOf(change.timeMs))),
                      static_cast<LONG>(std::lround(YOf(change.currentSetpoint, true)))});
  return points;
}

void TrendChart::Draw(const ReadingHistory& history, WallTime from, WallTime to) {
  m_view = {from, to};
  const int columns = std::max(100, PlotWidth());
  m_runs = TrendRunsOfAll(history, from, to, columns, kMaxRuns);
  m_changes = SettingChanges(history, from, to);
  constexpr double kNone = 1e300;
  double low[2] = {kNone, kNone}, high[2] = {-kNone, -kNone};  // current, temperature
  for (std::size_t k = 0; k < kTrendQuantities; ++k) {
    const auto quantity = static_cast<TrendQuantity>(k);
    const int axis =
        quantity == TrendQuantity::MeasuredCurrent || quantity == TrendQuantity::CurrentSetpoint
            ? 0
            : 1;
    for (const TrendRun& run : m_runs[k])
      for (const TrendPoint& p : run) {
        low[axis] = std::min(low[axis], p.value);
        high[axis] = std::max(high[axis], p.value);
      }
  }
  if (const auto range = FitValues(low[0], high[0], 20)) m_current = NiceTicks(*range, kValueSteps);
  if (const auto range = FitValues(low[1], high[1], 2))
    m_temperature = NiceTicks(*range, kValueSteps);
  HideTip();  // the marker under it may have moved
  Render();
  InvalidateRect(m_hWnd, nullptr, FALSE);
}

}  // namespace quorvane
