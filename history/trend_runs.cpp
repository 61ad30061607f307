// Thinning and splitting of the history for drawing.
#include "history/trend_runs.h"

#include <algorithm>
#include <array>

#include "board/board_model.h"
#include "board/display_forms.h"

namespace quorvane {

double TrendValue(const Reading& reading, TrendQuantity quantity) {
  switch (quantity) {
    case TrendQuantity::MeasuredCurrent:
      return reading.device.currentRead;
    case TrendQuantity::SeedTemperature:
      return reading.device.seedTemp / 100.0;
    case TrendQuantity::PumpTemperature:
      return reading.device.pumpTemp / 100.0;
    case TrendQuantity::CurrentSetpoint:
      return reading.device.currentSetpoint;
  }
  return 0;
}

double TrendTimeMs(WallTime time) {
  return static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

namespace {

using RunSpan = ReadingHistory::RunSpan;

// The readings of a run to draw for [from, to]: those inside and one either
// side, or none when the whole run lies outside.
RunSpan Window(const ReadingHistory& history, RunSpan run, WallTime from, WallTime to) {
  if (history[run.first].time > to || history[run.end - 1].time < from) return {};
  std::size_t first = history.LowerBound(run, from);
  std::size_t end = history.LowerBound(run, to);
  if (first > run.first) --first;
  if (end < run.end) ++end;
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

// The change between two neighbouring readings of one run, if there was one.
void AddChange(const Reading& before, const Reading& after, std::vector<SettingChange>& changes) {
  // Most neighbours hold the same settings: no text is made for them, so a
  // day of readings is searched in a few milliseconds.
  const auto same = [&](const SettingSpec& item) {
    return item.get(before.device) == item.get(after.device);
  };
  if (std::all_of(kSettings.begin(), kSettings.end(), same)) return;
  std::string text;
  for (const SettingSpec& item : kSettings) {
    const std::string was = ShownValue(item, item.get(before.device));
    const std::string now = ShownValue(item, item.get(after.device));
    if (was == now) continue;
    if (!text.empty()) text += "; ";
    text += std::string(item.changeLabel) + " " + was + " -> " + now;
  }
  if (!text.empty())
    changes.push_back({TrendTimeMs(after.time), static_cast<double>(after.device.currentSetpoint),
                       std::move(text)});
}

}  // namespace

TrendLines TrendRunsOfAll(const ReadingHistory& history, WallTime from, WallTime to, int columns,
                          std::size_t maxRuns) {
  TrendLines lines;
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
  // Run by run: after a clock set back, runs are not in time order, and two
  // may share a stretch of time.
  for (std::size_t run = 0; run < history.RunCount(); ++run) {
    const RunSpan shown = Window(history, history.Run(run), from, to);
    if (shown.first == shown.end) continue;
    // Joined runs are never copied: the readings go on where the last ended.
    if (lines[0].size() < std::max<std::size_t>(maxRuns, 1)) {
      endRun();
      for (std::vector<TrendRun>& runs : lines) runs.emplace_back();
    }
    history.ForEach(shown.first, shown.end, [&](const Reading& reading) {
      const double timeMs = TrendTimeMs(reading.time);
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
  }
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
  for (std::size_t run = 0; run < history.RunCount(); ++run) {
    const RunSpan span = history.Run(run);
    const std::size_t end = history.LowerBound(span, to + std::chrono::milliseconds(1));
    // Not from one run's end to the next one's start: between runs the panel
    // was not watching, the board may have been set by someone else or reset,
    // and a marker would claim the operator did it.
    for (std::size_t i = std::max(history.LowerBound(span, from), span.first + 1); i < end; ++i)
      AddChange(history[i - 1], history[i], changes);
  }
  for (const ReadingHistory::Mark& mark : history.Marks()) {
    if (mark.time < from || mark.time > to) continue;
    const Reading* reading = history.ReadingAt(mark);
    changes.push_back(
        {TrendTimeMs(mark.time),
         reading != nullptr ? static_cast<double>(reading->device.currentSetpoint) : 0, mark.text});
  }
  return changes;
}

}  // namespace quorvane
