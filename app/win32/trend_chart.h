// The chart of the readings history window, drawn with GDI: measured current
// and the current set-point in mA on the left axis, seed and pump
// temperatures in degrees C on the right, against time; a gap wherever the
// readings stopped. Drawn into a bitmap of its own, which painting copies to
// the screen, so nothing flickers and a repaint costs no redraw.
#pragma once

#include "controls/win32/windows_api.h"

#include <functional>
#include <string>
#include <vector>

#include "history/trend_runs.h"
#include "history/trend_view.h"

namespace quorvane {

class HistoryPresenter;

// The window's dots per inch: its own where the system keeps one per window
// (Windows 10 and later), else the screen's.
int WindowDpi(HWND window);

class TrendChart {
 public:
  TrendChart() = default;
  ~TrendChart();
  TrendChart(const TrendChart&) = delete;
  TrendChart& operator=(const TrendChart&) = delete;

  // A child of parent, with a tab stop: it takes the arrow and +/- keys.
  bool Create(HWND parent, int id);
  HWND Handle() const { return m_hWnd; }

  // Draws the history between from and to.
  void Draw(const ReadingHistory& history, WallTime from, WallTime to);

  // The time span shown, as the operator may have changed it.
  WallTime From() const { return m_view.from; }
  WallTime To() const { return m_view.to; }
  // The lines as drawn, per quantity: its runs, thinned.
  const std::vector<TrendRun>& Runs(TrendQuantity quantity) const {
    return m_runs[static_cast<std::size_t>(quantity)];
  }
  std::size_t PointCount(TrendQuantity quantity) const;
  int ChangeMarkers() const { return static_cast<int>(m_changes.size()); }
  // Where each setting change's marker sits, in client pixels.
  std::vector<POINT> MarkerPoints() const;
  // The hover tip's text, while one shows.
  std::wstring ShownTip() const;
  // Width of the plotting area in pixels: how finely time can be shown.
  int PlotWidth() const;

  // Where the operator's zooming and scrolling go: the presenter moves the
  // view and draws it.
  void ForwardInputTo(HistoryPresenter* presenter) { m_input = presenter; }
  // The chart's size changed: its lines need thinning for the new width.
  std::function<void()> onResized;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnSize();
  void OnPaint();
  void OnMouseMove(POINT at);
  void OnWheel(int delta, bool sideways, POINT screen);
  bool OnKey(WPARAM key);
  void EndDrag(int x);
  void ShowTip(const std::wstring& text, POINT client);
  void HideTip();
  // Everything below draws into the bitmap (trend_paint.cpp).
  void Render();
  int Dpi() const;
  int Scaled(int pixels96) const;
  RECT PlotArea() const;
  double XOf(double timeMs) const;
  double YOf(double value, bool currentAxis) const;

  HWND m_hWnd = nullptr;
  HistoryPresenter* m_input = nullptr;
  HWND m_tip = nullptr;
  std::wstring m_tipText;  // the tip control keeps a pointer into it
  bool m_tipShown = false;
  bool m_tracking = false;  // WM_MOUSELEAVE asked for

  HDC m_memory = nullptr;  // the back buffer, the client's size
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
  SIZE m_size{};

  int m_dragFrom = -1;  // the x where a drag began, -1 when none
  int m_dragTo = -1;

  TrendView m_view{std::chrono::system_clock::now() - std::chrono::minutes(1),
                   std::chrono::system_clock::now()};
  TrendLines m_runs;
  std::vector<SettingChange> m_changes;
  ValueTicks m_current{0, 1000, 200};
  ValueTicks m_temperature{20, 40, 5};
};

}  // namespace quorvane
