// Thinning and splitting of the history for drawing.
#include "history/trend_runs.h"

#include <algorithm>
#include <array>

#include "controller/display_forms.h"

namespace quorvane {

double TrendValue(const Reading& reading, TrendQuantity quantity) {
  switch (quantity) {
    case TrendQuantity::MeasuredCurrent:
      return reading.currentRead;
    case TrendQuantity::SeedTemperature:
      return reading.seedTemp / 100.0;
    case TrendQuantity::PumpTemperature:
      return reading.pumpTemp / 100.0;
    case TrendQuantity::CurrentSetpoint:
      return reading.currentSetpoint;
  }
  return 0;
}

double TrendTimeMs(WallTime time) {
  return static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

namespace {

// The readings to draw for [from, to]: those inside and one either side.
std::pair<std::size_t, std::size_t> Window(const ReadingHistory& history, WallTime from,
                                           WallTime to) {
  std::size_t first = history.LowerBound(from);
  std::size_t end = history.LowerBound(to);
  if (first > 0) --first;
  if (end < history.Size()) ++end;
  return {first, end};
}

// Collects one run's points per column: first, lowest, highest, last.
class ColumnThinner {
 public:
  ColumnThinner(WallTime from, WallTime to, int columns)
      : m_fromMs(TrendTimeMs(from)),
        m_columns(std::max(columns, 1)),
        m_perMs(m_columns / std::max(TrendTimeMs(to) - m_fromMs, 1.0)) {}

  void Add(const TrendPoint& point, TrendRun& run) {
    const long long column = Column(point.timeMs);
    if (m_count == 0 || column != m_column) {
      Flush(run);
      m_column = column;
      m_bucket = {point, point, point, point};
      m_count = 1;
      return;
    }
    if (point.value < m_bucket[1].value) m_bucket[1] = point;
    if (point.value > m_bucket[2].value) m_bucket[2] = point;
    m_bucket[3] = point;
    ++m_count;
  }

  void Flush(TrendRun& run) {
    if (m_count == 0) return;
    std::array<TrendPoint, 4> points = m_bucket;
    std::sort(points.begin(), points.end(),
              [](const TrendPoint& a, const TrendPoint& b) { return a.timeMs < b.timeMs; });
    for (const TrendPoint& p : points) {
      if (!run.empty() && run.back().timeMs == p.timeMs && run.back().value == p.value) continue;
      run.push_back(p);
    }
    m_count = 0;
  }

 private:
  long long Column(double timeMs) const {
    return static_cast<long long>(
        std::clamp((timeMs - m_fromMs) * m_perMs, -1.0, static_cast<double>(m_columns)));
  }

  double m_fromMs;
  int m_columns;
  double m_perMs;  // columns per millisecond
  long long m_column = 0;
  std::array<TrendPoint, 4> m_bucket{};
  std::size_t m_count = 0;
};

// A step line: the old value holds until the reading that shows the new one.
void AddStep(const TrendPoint& point, TrendRun& run) {
  if (run.empty()) {
    run.push_back(point);
  } else if (point.value != run.back().value) {
    run.push_back({point.timeMs, run.back().value});
    run.push_back(point);
  }
}

// The step line's last stretch reaches its run's last reading.
void EndStep(double lastMs, TrendRun& run) {
  if (!run.empty() && run.back().timeMs != lastMs) run.push_back({lastMs, run.back().value});
}

}  // namespace

TrendLines TrendRunsOfAll(const ReadingHistory& history, WallTime from, WallTime to, int columns) {
  TrendLines lines;
  const auto [first, end] = Window(history, from, to);
  std::array<ColumnThinner, kTrendQuantities> thinners{
      ColumnThinner(from, to, columns), ColumnThinner(from, to, columns),
      ColumnThinner(from, to, columns), ColumnThinner(from, to, columns)};
  constexpr auto kSetpoint = static_cast<std::size_t>(TrendQuantity::CurrentSetpoint);
  double lastMs = 0;
  const auto endRun = [&] {
    for (std::size_t k = 0; k < kTrendQuantities; ++k) {
      if (lines[k].empty()) continue;
      if (k == kSetpoint) {
        EndStep(lastMs, lines[k].back());
      } else {
        thinners[k].Flush(lines[k].back());
      }
    }
  };
  history.ForEach(first, end, [&](const Reading& reading) {
    const double timeMs = TrendTimeMs(reading.time);
    if (lines[0].empty() || reading.startsRun) {
      endRun();
      for (std::vector<TrendRun>& runs : lines) runs.emplace_back();
    }
    for (std::size_t k = 0; k < kTrendQuantities; ++k) {
      const TrendPoint point{timeMs, TrendValue(reading, static_cast<TrendQuantity>(k))};
      if (k == kSetpoint) {
        AddStep(point, lines[k].back());
      } else {
        thinners[k].Add(point, lines[k].back());
      }
    }
    lastMs = timeMs;
  });
  endRun();
  return lines;
}

std::vector<TrendRun> TrendRuns(const ReadingHistory& history, WallTime from, WallTime to,
                                TrendQuantity quantity, int columns) {
  return std::move(TrendRunsOfAll(history, from, to, columns)[static_cast<std::size_t>(quantity)]);
}

std::vector<SettingChange> SettingChanges(const ReadingHistory& history, WallTime from,
                                          WallTime to) {
  std::vector<SettingChange> changes;
  const std::size_t end = history.LowerBound(to + std::chrono::milliseconds(1));
  for (std::size_t i = std::max<std::size_t>(history.LowerBound(from), 1); i < end; ++i) {
    const Reading& before = history[i - 1];
    const Reading& after = history[i];
    // Between runs the panel was not watching: the board may have been set
    // by someone else, or reset, and a marker would claim the operator did it.
    if (after.startsRun) continue;
    // Most neighbours hold the same settings: no text is made for them, so a
    // day of readings is searched in a few milliseconds.
    if (before.currentSetpoint == after.currentSetpoint &&
        before.frequencyHz == after.frequencyHz && before.pulseSteps == after.pulseSteps &&
        before.softActive == after.softActive)
      continue;
    std::string text;
    const auto add = [&text](const std::string& what, const std::string& was,
                             const std::string& now) {
      if (was == now) return;
      if (!text.empty()) text += "; ";
      text += what + " " + was + " -> " + now;
    };
    add("set-point", SetpointText(before.currentSetpoint) + " mA",
        SetpointText(after.currentSetpoint) + " mA");
    add("frequency", FrequencyText(before.frequencyHz) + " kHz",
        FrequencyText(after.frequencyHz) + " kHz");
    add("duration", DurationText(before.pulseSteps), DurationText(after.pulseSteps));
    add("soft-active", PresentSoftActive(before.softActive).caption,
        PresentSoftActive(after.softActive).caption);
    if (!text.empty())
      changes.push_back(
          {TrendTimeMs(after.time), static_cast<double>(after.currentSetpoint), std::move(text)});
  }
  return changes;
}

}  // namespace quorvane
