// The trend chart's drawing into its back buffer: axes, time and value
// labels, the four lines with their gaps, the setting-change markers and the
// legend. Sizes are given at 96 dots per inch and scaled to the window's.
#include <algorithm>
#include <cmath>
#include <cwchar>
#include <string>
#include <vector>

#include "app/win32/trend_chart.h"

namespace quorvane {

namespace {

struct LineLook {
  const wchar_t* name = nullptr;
  COLORREF color = 0;
  bool dashed = false;
  int width96 = 1;
};

LineLook LookOf(TrendQuantity quantity) {
  switch (quantity) {
    case TrendQuantity::MeasuredCurrent:
      return {L"Measured current (mA)", RGB(0x1f, 0x5f, 0xbf), false, 2};
    case TrendQuantity::CurrentSetpoint:
      return {L"Current set-point (mA)", RGB(0x8e, 0x2f, 0xb0), true, 2};
    case TrendQuantity::SeedTemperature:
      return {L"Seed temperature (\u2103)", RGB(0x2e, 0x8b, 0x3e), false, 2};
    case TrendQuantity::PumpTemperature:
      return {L"Pump temperature (\u2103)", RGB(0xc8, 0x3c, 0x1e), false, 2};
  }
  return {L"", RGB(0, 0, 0), false, 1};
}

constexpr COLORREF kMarkerFill = RGB(0xe0, 0xa0, 0x00);
constexpr COLORREF kMarkerEdge = RGB(0x40, 0x40, 0x40);
constexpr COLORREF kGrid = RGB(0xe4, 0xe4, 0xe4);
constexpr COLORREF kAxis = RGB(0x60, 0x60, 0x60);

// GDI takes 27-bit coordinates; a point far outside a zoomed view is pulled
// in, keeping its line's direction at the plot's edge close enough.
int Pixel(double value) { return static_cast<int>(std::lround(std::clamp(value, -1e6, 1e6))); }

// A GDI object selected for a scope, deleted after it.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : m_dc(dc), m_object(object), m_old(SelectObject(dc, object)) {}
  ~Selected() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_object);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_object;
  HGDIOBJ m_old;
};

HPEN Pen(COLORREF color, int width, bool dashed) {
  LOGBRUSH brush{BS_SOLID, color, 0};
  return ExtCreatePen(PS_GEOMETRIC | (dashed ? PS_DASH : PS_SOLID) | PS_ENDCAP_FLAT | PS_JOIN_MITER,
                      static_cast<DWORD>(std::max(1, width)), &brush, 0, nullptr);
}

SYSTEMTIME LocalTimeOf(double ms) {
  const auto ticks = static_cast<ULONGLONG>((ms + 11644473600000.0) * 10000.0);
  FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  FILETIME local{};
  SYSTEMTIME when{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &when);
  return when;
}

std::wstring TimeLabel(double ms, std::chrono::milliseconds span) {
  using namespace std::chrono_literals;
  static const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
  const SYSTEMTIME t = LocalTimeOf(ms);
  wchar_t text[32] = {};
  if (span <= 15min)
    swprintf(text, 32, L"%02u:%02u:%02u", t.wHour, t.wMinute, t.wSecond);
  else if (span <= 20h)
    swprintf(text, 32, L"%02u:%02u", t.wHour, t.wMinute);
  else
    swprintf(text, 32, L"%ls %02u:%02u", kDays[t.wDayOfWeek % 7], t.wHour, t.wMinute);
  return text;
}

std::wstring ValueLabel(double value, int decimals) {
  wchar_t text[32] = {};
  swprintf(text, 32, L"%.*f", decimals, std::abs(value) < 1e-9 ? 0.0 : value);
  return text;
}

void Text(HDC dc, int x, int y, const std::wstring& text, UINT align) {
  SetTextAlign(dc, align);
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace

int WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpi != nullptr && window != nullptr)
    if (const UINT dpi = getDpi(window); dpi != 0) return static_cast<int>(dpi);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int TrendChart::Dpi() const { return WindowDpi(m_hWnd); }

int TrendChart::Scaled(int pixels96) const { return MulDiv(pixels96, Dpi(), 96); }

RECT TrendChart::PlotArea() const {
  // Room for value labels at the sides, axis titles above, time labels and
  // the legend below.
  RECT plot{Scaled(56), Scaled(28), m_size.cx - Scaled(56), m_size.cy - Scaled(62)};
  if (plot.right <= plot.left) plot.right = plot.left + 1;
  if (plot.bottom <= plot.top) plot.bottom = plot.top + 1;
  return plot;
}

double TrendChart::XOf(double timeMs) const {
  const RECT plot = PlotArea();
  const double from = TrendTimeMs(m_view.from);
  const double span = std::max(1.0, TrendTimeMs(m_view.to) - from);
  return plot.left + (timeMs - from) / span * (plot.right - plot.left);
}

double TrendChart::YOf(double value, bool currentAxis) const {
  const RECT plot = PlotArea();
  const ValueTicks& axis = currentAxis ? m_current : m_temperature;
  const double range = axis.high > axis.low ? axis.high - axis.low : 1.0;
  return plot.bottom - (value - axis.low) / range * (plot.bottom - plot.top);
}

void TrendChart::Render() {
  if (m_memory == nullptr || m_bitmap == nullptr) return;
  HDC dc = m_memory;
  const RECT all{0, 0, m_size.cx, m_size.cy};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const RECT plot = PlotArea();
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kAxis);

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW look = metrics.lfMessageFont;
  look.lfHeight = -MulDiv(9, Dpi(), 72);
  look.lfWidth = 0;
  Selected font(dc, CreateFontIndirectW(&look));
  TEXTMETRICW text{};
  GetTextMetricsW(dc, &text);
  const int gap = Scaled(4);

  // Time: a grid line and a label on every whole step.
  const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(m_view.to - m_view.from);
  const double step = static_cast<double>(TrendTickStep(span).count());
  const double fromMs = TrendTimeMs(m_view.from), toMs = TrendTimeMs(m_view.to);
  {
    Selected grid(dc, Pen(kGrid, 1, false));
    if (step > 0 && (toMs - fromMs) / step < 100)
      for (double t = std::ceil(fromMs / step) * step; t <= toMs; t += step) {
        const int x = Pixel(XOf(t));
        MoveToEx(dc, x, plot.top, nullptr);
        LineTo(dc, x, plot.bottom);
        Text(dc, x, plot.bottom + gap, TimeLabel(t, span), TA_CENTER | TA_TOP);
      }
    // Values: the current's steps across the plot, labelled on both sides.
    for (double v = m_current.low; v <= m_current.high + m_current.step / 2; v += m_current.step) {
      const int y = Pixel(YOf(v, true));
      MoveToEx(dc, plot.left, y, nullptr);
      LineTo(dc, plot.right, y);
      Text(dc, plot.left - gap, y - text.tmHeight / 2, ValueLabel(v, 0), TA_RIGHT | TA_TOP);
    }
    const int decimals = m_temperature.step < 1 ? 1 : 0;
    for (double v = m_temperature.low; v <= m_temperature.high + m_temperature.step / 2;
         v += m_temperature.step)
      Text(dc, plot.right + gap, Pixel(YOf(v, false)) - text.tmHeight / 2, ValueLabel(v, decimals),
           TA_LEFT | TA_TOP);
  }
  Text(dc, plot.left, plot.top - text.tmHeight - gap, L"Current (mA)", TA_LEFT | TA_TOP);
  Text(dc, plot.right, plot.top - text.tmHeight - gap, L"Temperature (\u2103)", TA_RIGHT | TA_TOP);
  {
    Selected frame(dc, Pen(kAxis, 1, false));
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, plot.left, plot.top, plot.right + 1, plot.bottom + 1);
  }

  // The lines, clipped to the plot; the set-point last, over the measured current.
  SaveDC(dc);
  IntersectClipRect(dc, plot.left, plot.top, plot.right + 1, plot.bottom + 1);
  std::vector<POINT> points;
  for (const TrendQuantity quantity :
       {TrendQuantity::SeedTemperature, TrendQuantity::PumpTemperature,
        TrendQuantity::MeasuredCurrent, TrendQuantity::CurrentSetpoint}) {
    const LineLook line = LookOf(quantity);
    const bool currentAxis =
        quantity == TrendQuantity::MeasuredCurrent || quantity == TrendQuantity::CurrentSetpoint;
    Selected pen(dc, Pen(line.color, Scaled(line.width96), line.dashed));
    for (const TrendRun& run : Runs(quantity)) {
      points.clear();
      for (const TrendPoint& p : run)
        points.push_back({Pixel(XOf(p.timeMs)), Pixel(YOf(p.value, currentAxis))});
      if (points.size() == 1) points.push_back({points[0].x + 1, points[0].y});
      if (!points.empty()) Polyline(dc, points.data(), static_cast<int>(points.size()));
    }
  }
  {
    Selected edge(dc, Pen(kMarkerEdge, 1, false));
    Selected fill(dc, CreateSolidBrush(kMarkerFill));
    const int half = Scaled(4);
    for (const POINT& p : MarkerPoints())
      Rectangle(dc, p.x - half, p.y - half, p.x + half + 1, p.y + half + 1);
  }
  RestoreDC(dc, -1);

  // The legend: a swatch and a name for each line, and the marker; across
  // the middle of the window where it fits, else from its left edge.
  struct Entry {
    const wchar_t* name;
    LineLook look;
    int width;
  };
  std::vector<Entry> entries;
  const int swatch = Scaled(18);
  int total = 0;
  for (const TrendQuantity quantity :
       {TrendQuantity::MeasuredCurrent, TrendQuantity::CurrentSetpoint,
        TrendQuantity::SeedTemperature, TrendQuantity::PumpTemperature}) {
    const LineLook look = LookOf(quantity);
    entries.push_back({look.name, look, 0});
  }
  entries.push_back({L"Setting changed", {}, 0});
  for (Entry& entry : entries) {
    SIZE size{};
    GetTextExtentPoint32W(dc, entry.name, static_cast<int>(wcslen(entry.name)), &size);
    entry.width = swatch + gap + size.cx + 3 * gap;
    total += entry.width;
  }
  int x = std::max(gap, (static_cast<int>(m_size.cx) - total) / 2);
  const int y = plot.bottom + text.tmHeight + 3 * gap + text.tmHeight / 2;
  SetTextColor(dc, RGB(0, 0, 0));
  for (const Entry& entry : entries) {
    if (entry.look.name != nullptr) {
      Selected pen(dc, Pen(entry.look.color, Scaled(entry.look.width96), entry.look.dashed));
      MoveToEx(dc, x, y, nullptr);
      LineTo(dc, x + swatch, y);
    } else {
      Selected edge(dc, Pen(kMarkerEdge, 1, false));
      Selected fill(dc, CreateSolidBrush(kMarkerFill));
      const int half = Scaled(4);
      Rectangle(dc, x + swatch / 2 - half, y - half, x + swatch / 2 + half + 1, y + half + 1);
    }
    Text(dc, x + swatch + gap, y - text.tmHeight / 2, entry.name, TA_LEFT | TA_TOP);
    x += entry.width;
  }
}

}  // namespace quorvane
