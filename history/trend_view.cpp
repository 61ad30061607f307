// The chart view's arithmetic, in milliseconds since the epoch as the
// readings' times are counted.
#include "history/trend_view.h"

#include <algorithm>
#include <cmath>

namespace quorvane {

namespace {

using std::chrono::milliseconds;

// The widest span zooming out reaches: the whole ring at the poll rate. A
// wider view shows nothing more, and the wheel turned on would soon take the
// axis past the times a WallTime can hold.
constexpr double kWidestMs = static_cast<double>(ReadingHistory::kDefaultCapacity) *
                             static_cast<double>(kPollPeriod.count());
// Nor does scrolling: the axis stays a day inside them.
constexpr double kEdgeMs = static_cast<double>(
    std::chrono::duration_cast<milliseconds>(WallTime::duration::max() - std::chrono::hours(24))
        .count());

constexpr milliseconds kShortestWait = kPollPeriod;
constexpr milliseconds kLongestWait{5000};

double MsOf(WallTime time) {
  return static_cast<double>(
      std::chrono::duration_cast<milliseconds>(time.time_since_epoch()).count());
}

WallTime TimeOf(double ms) { return WallTime(milliseconds(static_cast<long long>(ms))); }

}  // namespace

milliseconds TrendSpanLength(TrendSpan span) {
  using namespace std::chrono_literals;
  switch (span) {
    case TrendSpan::Minute:
      return 1min;
    case TrendSpan::TenMinutes:
      return 10min;
    case TrendSpan::Hour:
      return 1h;
    case TrendSpan::All:
      break;
  }
  return 1min;  // "All" is never shorter than a minute
}

milliseconds TrendTickStep(milliseconds span) {
  using namespace std::chrono_literals;
  constexpr milliseconds kSteps[] = {1s,    2s,    5s,    10s, 15s, 30s, 1min, 2min, 5min,
                                     10min, 15min, 30min, 1h,  2h,  3h,  6h,   12h,  24h};
  for (const auto step : kSteps)
    if (span <= 10 * step) return step;
  return span / 10;
}

TrendView FollowingView(const ReadingHistory& history, TrendSpan span, WallTime now) {
  // "All" reaches from the earliest reading to the latest, which after a
  // clock set back need not be the oldest and the newest.
  const bool all = span == TrendSpan::All && !history.Empty();
  const WallTime newest = history.Empty() ? now : all ? history.Latest() : history.Newest().time;
  milliseconds length = TrendSpanLength(span);
  if (all)
    length =
        std::max(length, std::chrono::duration_cast<milliseconds>(newest - history.Earliest()));
  const auto step = TrendTickStep(length);
  const auto sinceEpoch = std::chrono::duration_cast<milliseconds>(newest.time_since_epoch());
  TrendView view;
  view.to = WallTime((sinceEpoch / step + 1) * step);
  view.from = view.to - length;
  // The earliest reading too: rounding the right edge up moved the span on.
  if (all) view.from = std::min(view.from, history.Earliest());
  if (span == TrendSpan::All) view.from = WallTime((view.from.time_since_epoch() / step) * step);
  return view;
}

TrendView MovedView(TrendView view, double shiftFraction, double zoomFactor,
                    double anchorFraction) {
  const double from = MsOf(view.from);
  const double span = MsOf(view.to) - from;
  // Not narrower than a second: the time labels could no longer tell points
  // apart. Zooming out never narrows a view already wider than the ring ("All"
  // over readings a clock step spread out).
  const double newSpan = std::clamp(span * zoomFactor, 1000.0, std::max(span, kWidestMs));
  const double newFrom = std::clamp(from + anchorFraction * (span - newSpan) + shiftFraction * span,
                                    -kEdgeMs, kEdgeMs - newSpan);
  return {TimeOf(newFrom), TimeOf(newFrom + newSpan)};
}

milliseconds RedrawWait(TrendView view, int plotWidth) {
  const auto pixel =
      std::chrono::duration_cast<milliseconds>((view.to - view.from) / std::max(plotWidth, 1));
  return std::clamp(pixel, kShortestWait, kLongestWait);
}

std::optional<ValueRange> FitValues(double low, double high, double minimum) {
  if (!(low <= high)) return std::nullopt;
  const double middle = (low + high) / 2;
  const double half = std::max((high - low) / 2 * 1.1, minimum / 2);
  return ValueRange{middle - half, middle + half};
}

ValueTicks NiceTicks(ValueRange range, int maxSteps) {
  const double width = range.high - range.low;
  if (!(width > 0) || !std::isfinite(width) || maxSteps < 1) return {range.low, range.high, 1};
  const double rough = width / maxSteps;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  ValueTicks ticks;
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    ticks.step = factor * decade;
    ticks.low = std::floor(range.low / ticks.step) * ticks.step;
    ticks.high = std::ceil(range.high / ticks.step) * ticks.step;
    if ((ticks.high - ticks.low) / ticks.step <= maxSteps + 0.5) break;
  }
  return ticks;
}

}  // namespace quorvane
