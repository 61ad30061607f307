// Series, axes and the operator's zooming and scrolling of the trend chart.
#include "app/qt/trend_chart.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <QDateTime>
#include <QDateTimeAxis>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include "controller/timing.h"
#include "history/history_presenter.h"
#include "history/trend_view.h"

namespace quorvane {

namespace {

// Beyond this many gaps in view the last runs are drawn joined: a chart of
// hundreds of series would be slow, and so many reopens in one view are rare.
constexpr std::size_t kMaxRuns = 64;

struct LineLook {
  const char* name;
  QColor color;
  Qt::PenStyle style;
};

LineLook LookOf(TrendQuantity quantity) {
  switch (quantity) {
    case TrendQuantity::MeasuredCurrent:
      return {"Measured current (mA)", QColor(0x1f, 0x5f, 0xbf), Qt::SolidLine};
    case TrendQuantity::CurrentSetpoint:
      return {"Current set-point (mA)", QColor(0x8e, 0x2f, 0xb0), Qt::DashLine};
    case TrendQuantity::SeedTemperature:
      return {"Seed temperature (\u2103)", QColor(0x2e, 0x8b, 0x3e), Qt::SolidLine};
    case TrendQuantity::PumpTemperature:
      return {"Pump temperature (\u2103)", QColor(0xc8, 0x3c, 0x1e), Qt::SolidLine};
  }
  return {"", Qt::black, Qt::SolidLine};
}

bool OnCurrentAxis(TrendQuantity quantity) {
  return quantity == TrendQuantity::MeasuredCurrent || quantity == TrendQuantity::CurrentSetpoint;
}

WallTime WallOf(const QDateTime& time) {
  return WallTime(std::chrono::milliseconds(time.toMSecsSinceEpoch()));
}

QDateTime DateTimeOf(WallTime time) {
  return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(TrendTimeMs(time)));
}

// The axis range that holds [low, high] with some room, never narrower than minimum.
void Fit(QValueAxis* axis, double low, double high, double minimum) {
  const auto range = FitValues(low, high, minimum);
  if (!range) return;  // nothing in view: the axis keeps its range
  axis->setRange(range->low, range->high);
  axis->applyNiceNumbers();
}

}  // namespace

TrendChart::TrendChart(QWidget* parent)
    : QChartView(new QChart, parent),
      m_lines{{{TrendQuantity::MeasuredCurrent, {}, 0},
               {TrendQuantity::CurrentSetpoint, {}, 0},
               {TrendQuantity::SeedTemperature, {}, 0},
               {TrendQuantity::PumpTemperature, {}, 0}}} {
  QChart* c = chart();
  c->setAnimationOptions(QChart::NoAnimation);
  c->legend()->setAlignment(Qt::AlignBottom);
  m_time = new QDateTimeAxis(c);
  m_time->setFormat("HH:mm:ss");
  m_time->setTitleText("Time");
  m_current = new QValueAxis(c);
  m_current->setTitleText("Current (mA)");
  m_current->setLabelFormat("%.0f");
  m_current->setRange(0, 1000);
  m_temperature = new QValueAxis(c);
  m_temperature->setTitleText("Temperature (\u2103)");
  m_temperature->setLabelFormat("%.1f");
  m_temperature->setRange(20, 40);
  c->addAxis(m_time, Qt::AlignBottom);
  c->addAxis(m_current, Qt::AlignLeft);
  c->addAxis(m_temperature, Qt::AlignRight);
  const QDateTime now = QDateTime::currentDateTime();
  m_time->setRange(now.addSecs(-60), now);
  for (Line& line : m_lines) AddRunSeries(line, 0);

  m_changes = new QScatterSeries(c);
  m_changes->setName("Setting changed");
  m_changes->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  m_changes->setMarkerSize(8);
  m_changes->setColor(QColor(0xe0, 0xa0, 0x00));
  m_changes->setBorderColor(QColor(0x40, 0x40, 0x40));
  c->addSeries(m_changes);
  m_changes->attachAxis(m_time);
  m_changes->attachAxis(m_current);
  connect(m_changes, &QScatterSeries::hovered, this, &TrendChart::ShowChangeHint);

  setRubberBand(QChartView::HorizontalRubberBand);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(420, 260);
}

QLineSeries* TrendChart::AddRunSeries(Line& line, int index) {
  const LineLook look = LookOf(line.quantity);
  auto* series = new QLineSeries(chart());
  QPen pen(look.color);
  pen.setWidthF(line.quantity == TrendQuantity::CurrentSetpoint ? 2.0 : 1.6);
  pen.setStyle(look.style);
  series->setPen(pen);
  series->setName(QString::fromUtf8(look.name));
  chart()->addSeries(series);
  series->attachAxis(m_time);
  series->attachAxis(OnCurrentAxis(line.quantity) ? m_current : m_temperature);
  // Every run is the same line to the operator: one legend entry.
  if (index > 0)
    for (QLegendMarker* marker : chart()->legend()->markers(series)) marker->setVisible(false);
  line.runs.push_back(series);
  return series;
}

std::chrono::milliseconds TrendChart::TickStep(std::chrono::milliseconds span) {
  return TrendTickStep(span);
}

void TrendChart::Draw(const ReadingHistory& history, WallTime from, WallTime to) {
  using namespace std::chrono_literals;
  const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(to - from);
  const auto step = TickStep(span);
  m_time->setTickCount(span % step == 0ms ? static_cast<int>(span / step) + 1 : 7);
  m_time->setFormat(span <= 15min ? "HH:mm:ss" : span <= 20h ? "HH:mm" : "ddd HH:mm");
  const int columns = std::max(100, static_cast<int>(chart()->plotArea().width()));
  TrendLines all = TrendRunsOfAll(history, from, to, columns, kMaxRuns);
  std::array<std::vector<TrendRun>, 4> runs;
  for (std::size_t k = 0; k < m_lines.size(); ++k)
    runs[k] = std::move(all[static_cast<std::size_t>(m_lines[k].quantity)]);
  m_changeList = SettingChanges(history, from, to);

  // Every range change places every point of every line anew: the lines are
  // emptied first and filled last, so each new point is placed once.
  for (Line& line : m_lines)
    for (int i = 0; i < line.used; ++i) line.runs[static_cast<std::size_t>(i)]->clear();
  m_changes->clear();
  m_time->setRange(DateTimeOf(from), DateTimeOf(to));
  FitValueAxes(runs);

  for (std::size_t k = 0; k < m_lines.size(); ++k) {
    Line& line = m_lines[k];
    const int count = static_cast<int>(runs[k].size());
    for (int i = 0; i < count; ++i) {
      QLineSeries* series = i < static_cast<int>(line.runs.size())
                                ? line.runs[static_cast<std::size_t>(i)]
                                : AddRunSeries(line, i);
      const TrendRun& run = runs[k][static_cast<std::size_t>(i)];
      QList<QPointF> points;
      points.reserve(static_cast<qsizetype>(run.size()));
      for (const TrendPoint& p : run) points.append(QPointF(p.timeMs, p.value));
      series->replace(points);
    }
    line.used = count;
  }
  QList<QPointF> marks;
  for (const SettingChange& change : m_changeList)
    marks.append(QPointF(change.timeMs, change.currentSetpoint));
  m_changes->replace(marks);
}

void TrendChart::FitValueAxes(const std::array<std::vector<TrendRun>, 4>& runs) {
  constexpr double kNone = std::numeric_limits<double>::infinity();
  double currentLow = kNone, currentHigh = -kNone, tempLow = kNone, tempHigh = -kNone;
  for (std::size_t k = 0; k < m_lines.size(); ++k) {
    const bool current = OnCurrentAxis(m_lines[k].quantity);
    double& low = current ? currentLow : tempLow;
    double& high = current ? currentHigh : tempHigh;
    for (const TrendRun& run : runs[k])
      for (const TrendPoint& p : run) {
        low = std::min(low, p.value);
        high = std::max(high, p.value);
      }
  }
  Fit(m_current, currentLow, currentHigh, 20);
  Fit(m_temperature, tempLow, tempHigh, 2);
}

void TrendChart::ShowChangeHint(const QPointF& point, bool state) {
  if (!state) {
    QToolTip::hideText();
    return;
  }
  const SettingChange* nearest = nullptr;
  for (const SettingChange& change : m_changeList)
    if (nearest == nullptr ||
        std::abs(change.timeMs - point.x()) < std::abs(nearest->timeMs - point.x()))
      nearest = &change;
  if (nearest == nullptr) return;
  const QString when =
      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(nearest->timeMs)).toString("HH:mm:ss");
  QToolTip::showText(QCursor::pos(), when + "  " + QString::fromStdString(nearest->text), this);
}

WallTime TrendChart::From() const { return WallOf(m_time->min()); }
WallTime TrendChart::To() const { return WallOf(m_time->max()); }

qsizetype TrendChart::PointCount(TrendQuantity quantity) const {
  qsizetype count = 0;
  for (const Line& line : m_lines)
    if (line.quantity == quantity)
      for (int i = 0; i < line.used; ++i) count += line.runs[static_cast<std::size_t>(i)]->count();
  return count;
}

int TrendChart::RunCount(TrendQuantity quantity) const {
  for (const Line& line : m_lines)
    if (line.quantity == quantity) return line.used;
  return 0;
}

int TrendChart::PlotWidth() const {
  return std::max(1, static_cast<int>(chart()->plotArea().width()));
}

int TrendChart::ChangeMarkers() const { return static_cast<int>(m_changes->count()); }

void TrendChart::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  if (delta.isNull() || m_input == nullptr) return QChartView::wheelEvent(event);
  event->accept();
  const bool sideways = delta.x() != 0 || (event->modifiers() & Qt::ShiftModifier);
  const QRectF area = chart()->plotArea();
  const double anchor =
      std::clamp((event->position().x() - area.left()) / std::max(area.width(), 1.0), 0.0, 1.0);
  m_input->OnChartWheel(delta.x() != 0 ? delta.x() : delta.y(), sideways, anchor);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
  // The rubber band (and the right button's zoom out) move the axis here.
  const QDateTime before = m_time->min();
  const QDateTime beforeEnd = m_time->max();
  QChartView::mouseReleaseEvent(event);
  if (m_input != nullptr && (m_time->min() != before || m_time->max() != beforeEnd))
    m_input->OnChartZoomed({From(), To()});
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
  const auto key = [&]() -> std::optional<ChartKey> {
    switch (event->key()) {
      case Qt::Key_Left:
        return ChartKey::Earlier;
      case Qt::Key_Right:
        return ChartKey::Later;
      case Qt::Key_Plus:
      case Qt::Key_Equal:
        return ChartKey::ZoomIn;
      case Qt::Key_Minus:
        return ChartKey::ZoomOut;
      default:
        return std::nullopt;
    }
  }();
  if (!key || m_input == nullptr) return QChartView::keyPressEvent(event);
  m_input->OnChartKey(*key);
}

}  // namespace quorvane
