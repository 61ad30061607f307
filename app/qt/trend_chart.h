// The chart of the readings history window: measured current and the current
// set-point in mA on the left axis, seed and pump temperatures in degrees C on
// the right, against time; a gap wherever the readings stopped.
#pragma once

#include <array>
#include <chrono>
#include <vector>

#include <QChartView>

#include "history/trend_runs.h"

class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace quorvane {

class HistoryPresenter;

class TrendChart : public QChartView {
  Q_OBJECT

 public:
  explicit TrendChart(QWidget* parent = nullptr);

  // Draws the history between from and to.
  void Draw(const ReadingHistory& history, WallTime from, WallTime to);

  // The round step between time labels for a span (10 s for a minute, a
  // minute for ten, ten for an hour): at most ten steps across. A span from
  // one whole step to another gets a label on every step.
  static std::chrono::milliseconds TickStep(std::chrono::milliseconds span);

  // The time span the axis shows, as the operator may have changed it.
  WallTime From() const;
  WallTime To() const;
  // Points drawn for a quantity, over all its runs, and how many runs.
  qsizetype PointCount(TrendQuantity quantity) const;
  int RunCount(TrendQuantity quantity) const;
  int ChangeMarkers() const;
  // Width of the plotting area in pixels: how finely time can be shown.
  int PlotWidth() const;
  // Where the operator's zooming and scrolling go: the presenter moves the
  // view and draws it.
  void ForwardInputTo(HistoryPresenter* presenter) { m_input = presenter; }

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Line {
    TrendQuantity quantity;
    std::vector<QLineSeries*> runs;  // one series per run; only the first has a legend entry
    int used = 0;
  };
  QLineSeries* AddRunSeries(Line& line, int index);
  void FitValueAxes(const std::array<std::vector<TrendRun>, 4>& runs);
  void ShowChangeHint(const QPointF& point, bool state);

  QDateTimeAxis* m_time = nullptr;
  QValueAxis* m_current = nullptr;
  QValueAxis* m_temperature = nullptr;
  std::array<Line, 4> m_lines;
  QScatterSeries* m_changes = nullptr;
  std::vector<SettingChange> m_changeList;
  HistoryPresenter* m_input = nullptr;
};

}  // namespace quorvane
