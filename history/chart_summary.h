// The readings chart in words, for those who cannot see it, built once for
// either window toolkit.
#pragma once

#include <ctime>
#include <string>

#include "history/reading_history.h"

namespace quorvane {

// The span shown (local clock times) and the newest reading of each line, in
// UTF-8: what a screen reader gives as the chart's description.
std::string ChartSummary(const ReadingHistory& history, WallTime from, WallTime to);

// A wall time as the local clock shows it, to the second.
std::tm LocalTime(WallTime time);

// A wall time as the local clock shows it, HH:MM:SS.
std::string ClockText(WallTime time);

}  // namespace quorvane
