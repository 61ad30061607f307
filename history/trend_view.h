// The arithmetic of the readings chart's view that every window toolkit
// shares: which span of time it shows while following the newest reading,
// how zooming and scrolling move it, the round steps of its time labels,
// how often it needs drawing, and the value axes' ranges.
#pragma once

#include <chrono>
#include <optional>

#include "history/reading_history.h"

namespace quorvane {

// The spans the view can follow, newest reading at the right edge.
enum class TrendSpan { Minute, TenMinutes, Hour, All };

std::chrono::milliseconds TrendSpanLength(TrendSpan span);

// The round step between time labels for a span (10 s for a minute, a minute
// for ten, ten for an hour): at most ten steps across. A span from one whole
// step to another gets a label on every step.
std::chrono::milliseconds TrendTickStep(std::chrono::milliseconds span);

struct TrendView {
  WallTime from;
  WallTime to;
};

// The view that follows the newest reading (or now, before any came): its
// right edge the next whole label step after it, so the labels fall on round
// times. "All" reaches back to the earliest reading.
TrendView FollowingView(const ReadingHistory& history, TrendSpan span, WallTime now);

// The view scrolled by shiftFraction of its span and zoomed by zoomFactor
// about the point anchorFraction across it. Never narrower than a second,
// never wider than a full ring at the poll rate (unless it already was), and
// always inside the times a WallTime can hold.
TrendView MovedView(TrendView view, double shiftFraction, double zoomFactor, double anchorFraction);

// How long a window may wait before drawing new readings: as often as they
// come at most, and in a long span once the view has moved on by a pixel.
std::chrono::milliseconds RedrawWait(TrendView view, int plotWidth);

// A value axis's range that holds [low, high] with some room, never narrower
// than minimum; none when nothing is in view (the axis keeps its range).
struct ValueRange {
  double low = 0;
  double high = 0;
};
std::optional<ValueRange> FitValues(double low, double high, double minimum);

// The range widened outwards to whole multiples of a 1, 2 or 5 step, with at
// most maxSteps steps: where the labels go.
struct ValueTicks {
  double low = 0;
  double high = 0;
  double step = 1;
};
ValueTicks NiceTicks(ValueRange range, int maxSteps);

}  // namespace quorvane
