// The chart view's arithmetic both windows draw by: value axes on round
// steps, the following view's round edges, and the limits of zoom and scroll.
#include <gtest/gtest.h>

#include "history/trend_view.h"
#include "tests/history/history_files.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

long long Ms(WallTime time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

TEST(TrendViewTest, ValueTicksHoldTheRangeOnRoundStepsAndNoMoreThanAsked) {
  struct Case {
    ValueRange range;
    int maxSteps;
    ValueTicks expected;
  };
  const Case cases[] = {
      {{-75, 1575}, 10, {-200, 1600, 200}},
      {{24.2, 40.8}, 10, {24, 42, 2}},
      {{0.013, 0.047}, 5, {0.01, 0.05, 0.01}},
      {{-3, 7}, 2, {-10, 10, 10}},
  };
  for (const Case& c : cases) {
    const ValueTicks got = NiceTicks(c.range, c.maxSteps);
    EXPECT_NEAR(got.low, c.expected.low, 1e-9) << c.range.low << ".." << c.range.high;
    EXPECT_NEAR(got.high, c.expected.high, 1e-9) << c.range.low << ".." << c.range.high;
    EXPECT_NEAR(got.step, c.expected.step, 1e-9) << c.range.low << ".." << c.range.high;
  }
  EXPECT_FALSE(FitValues(1, 0, 20)) << "nothing in view keeps the axis as it was";
  EXPECT_EQ(FitValues(100, 100, 20)->high - FitValues(100, 100, 20)->low, 20);
}

TEST(TrendViewTest, FollowingEndsOnTheNextLabelStepAndZoomStaysWithinLimits) {
  ReadingHistory history;
  for (int i = 0; i < 30; ++i) history.Append(SampleReading(i));
  const TrendView minute = FollowingView(history, TrendSpan::Minute, kSomeTime);
  EXPECT_EQ(Ms(minute.to) % 10000, 0);
  EXPECT_GT(minute.to, history.Newest().time);
  EXPECT_LE(minute.to - history.Newest().time, 10s);
  EXPECT_EQ(minute.to - minute.from, 1min);
  const TrendView all = FollowingView(history, TrendSpan::All, kSomeTime);
  EXPECT_LE(all.from, history.Earliest());
  EXPECT_GE(all.to, history.Latest());

  struct Case {
    double shift, zoom;
    std::chrono::milliseconds span;
  };
  const Case cases[] = {
      {0.0, 1e-9, 1s},                                             // not narrower than a second
      {0.0, 1e9, kPollPeriod * ReadingHistory::kDefaultCapacity},  // nor wider than the ring
      {0.25, 1.0, 1min},                                           // scrolling keeps the span
  };
  for (const Case& c : cases) {
    const TrendView moved = MovedView(minute, c.shift, c.zoom, 0.5);
    EXPECT_EQ(moved.to - moved.from, c.span) << c.shift << " " << c.zoom;
  }
  EXPECT_EQ(MovedView(minute, 0.25, 1.0, 0).from - minute.from, 15s);
}

}  // namespace
}  // namespace quorvane::test
