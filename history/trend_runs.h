// What the readings history window draws for a span of time: each quantity as
// runs of points (a gap between runs), thinned to a few points per pixel
// column so a day of readings draws as fast as a minute.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "history/reading_history.h"

namespace quorvane {

struct TrendPoint {
  double timeMs = 0;  // milliseconds since the epoch, as the chart's time axis counts
  double value = 0;   // mA or degrees C
};
using TrendRun = std::vector<TrendPoint>;

enum class TrendQuantity { MeasuredCurrent, SeedTemperature, PumpTemperature, CurrentSetpoint };
inline constexpr std::size_t kTrendQuantities = 4;
using TrendLines = std::array<std::vector<TrendRun>, kTrendQuantities>;  // by TrendQuantity

double TrendValue(const Reading& reading, TrendQuantity quantity);
double TrendTimeMs(WallTime time);

// The runs of one quantity between from and to, with the reading just outside
// each end so lines reach the edges. Each run keeps, per column of the span,
// its first, lowest, highest and last point in time order: the thinned line
// has the same extremes as the whole one. The set-point comes as a step line.
// All four quantities in one pass over the readings. Beyond maxRuns runs the
// rest go on in the last one, joined across their gaps and thinned as one.
TrendLines TrendRunsOfAll(const ReadingHistory& history, WallTime from, WallTime to, int columns,
                          std::size_t maxRuns = SIZE_MAX);
std::vector<TrendRun> TrendRuns(const ReadingHistory& history, WallTime from, WallTime to,
                                TrendQuantity quantity, int columns);

// A change of a set-point the panel held, between two readings of one run,
// or a mark the history keeps (an alarm's start or end): each shows as a
// marker with its text.
struct SettingChange {
  double timeMs = 0;
  double currentSetpoint = 0;  // mA after the change, where its marker sits
  std::string text;            // "set-point 1000 -> 1500 mA; frequency 25.00 -> 30.00 kHz"
};
std::vector<SettingChange> SettingChanges(const ReadingHistory& history, WallTime from,
                                          WallTime to);

}  // namespace quorvane
