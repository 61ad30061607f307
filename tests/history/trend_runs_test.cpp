// What the trend chart is given to draw: thinned lines that keep their
// extremes, split where the readings stopped, the set-point as steps, and the
// changes the operator made, spelled out.
#include <gtest/gtest.h>

#include <algorithm>

#include "history/trend_runs.h"
#include "tests/history/history_files.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

Reading At(std::chrono::milliseconds offset, std::int32_t current, std::int32_t setpoint = 1000) {
  Reading reading = SampleReading(0);
  reading.time = kSomeTime + offset;
  reading.device.currentRead = current;
  reading.device.currentSetpoint = setpoint;
  return reading;
}

TEST(TrendRunsTest, ThinningKeepsEachColumnsExtremesInTimeOrder) {
  ReadingHistory history(2000);
  for (int i = 0; i < 1000; ++i)
    history.Append(At(i * 500ms, i == 437 ? 5000 : (i == 612 ? -40 : 1000 + i % 7)));
  const auto runs =
      TrendRuns(history, kSomeTime, kSomeTime + 999 * 500ms, TrendQuantity::MeasuredCurrent, 10);
  ASSERT_EQ(runs.size(), 1u);
  const TrendRun& run = runs.front();
  EXPECT_LE(run.size(), 4u * 11);  // four per column, and the column of the last reading
  EXPECT_TRUE(std::is_sorted(run.begin(), run.end(), [](const TrendPoint& a, const TrendPoint& b) {
    return a.timeMs < b.timeMs;
  }));
  const auto [low, high] = std::minmax_element(
      run.begin(), run.end(),
      [](const TrendPoint& a, const TrendPoint& b) { return a.value < b.value; });
  EXPECT_EQ(low->value, -40);
  EXPECT_EQ(high->value, 5000);
  EXPECT_EQ(high->timeMs, TrendTimeMs(kSomeTime + 437 * 500ms));
}

TEST(TrendRunsTest, SplitsWhereReadingsStoppedAndReachesPastTheEdges) {
  ReadingHistory history(64);
  for (int i = 0; i < 10; ++i) history.Append(At(i * 500ms, 1000 + i));
  history.MarkBreak();  // the port was opened again, and the board holds another set-point
  for (int i = 20; i < 30; ++i) history.Append(At(i * 500ms, 1000 + i, 1200));
  // From inside the first run to inside the second: one reading either side too.
  const auto runs = TrendRuns(history, kSomeTime + 2200ms, kSomeTime + 11200ms,
                              TrendQuantity::MeasuredCurrent, 1000);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].front().value, 1004);
  EXPECT_EQ(runs[0].back().value, 1009);
  EXPECT_EQ(runs[1].front().value, 1020);
  EXPECT_EQ(runs[1].back().value, 1023);
  EXPECT_TRUE(
      TrendRuns(history, kSomeTime + 1h, kSomeTime + 2h, TrendQuantity::SeedTemperature, 100)
          .size() <= 1u);
  // Nobody changed a setting between the runs: no marker joins them.
  EXPECT_TRUE(SettingChanges(history, kSomeTime, kSomeTime + 15s).empty());
}

TEST(TrendRunsTest, AClockSetBackDrawsEachRunAtItsOwnTimes) {
  ReadingHistory history(64);
  for (int i = 0; i < 20; ++i) history.Append(At(i * 500ms, 1000 + i));  // 0 to 9.5 s
  // The clock set back by 8 s: readings from 2 s on again, a set-point change at 4 s.
  for (int i = 4; i < 20; ++i) history.Append(At(i * 500ms, 2000 + i, i < 8 ? 1000 : 1500));
  const auto runs =
      TrendRuns(history, kSomeTime + 3s, kSomeTime + 5s, TrendQuantity::MeasuredCurrent, 1000);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].front().value, 1005);
  EXPECT_EQ(runs[0].back().value, 1010);
  EXPECT_EQ(runs[1].front().value, 2005);
  EXPECT_EQ(runs[1].back().value, 2010);
  const auto changes = SettingChanges(history, kSomeTime + 3s, kSomeTime + 5s);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].timeMs, TrendTimeMs(kSomeTime + 4s));
}

// Beyond the runs a chart draws apart, the rest go on in the last, in order.
TEST(TrendRunsTest, RunsBeyondTheLimitJoinTheLast) {
  ReadingHistory history(64);
  for (int run = 0; run < 5; ++run) {
    history.MarkBreak();
    for (int i = 0; i < 4; ++i) history.Append(At((10 * run + i) * 500ms, 100 * run + i));
  }
  const TrendLines lines = TrendRunsOfAll(history, kSomeTime, kSomeTime + 25s, 1000, 3);
  for (const std::vector<TrendRun>& runs : lines) ASSERT_EQ(runs.size(), 3u);
  const TrendRun& joined = lines[static_cast<std::size_t>(TrendQuantity::MeasuredCurrent)][2];
  ASSERT_EQ(joined.size(), 12u);  // runs 2 to 4, a column to each reading
  for (std::size_t i = 0; i < joined.size(); ++i)
    EXPECT_EQ(joined[i].value, static_cast<double>(200 + 100 * (i / 4) + i % 4)) << i;
}

TEST(TrendRunsTest, SetpointIsAStepLineAndItsChangesAreSpelledOut) {
  ReadingHistory history(16);
  history.Append(At(0ms, 990, 1000));
  history.Append(At(500ms, 995, 1000));
  Reading changed = At(1000ms, 1200, 1500);
  changed.device.frequencyHz += 5000;
  history.Append(changed);
  changed.time += 500ms;
  history.Append(changed);
  const auto runs =
      TrendRuns(history, kSomeTime, kSomeTime + 1500ms, TrendQuantity::CurrentSetpoint, 500);
  ASSERT_EQ(runs.size(), 1u);
  const std::vector<std::pair<double, double>> expected{
      {0, 1000}, {1000, 1000}, {1000, 1500}, {1500, 1500}};
  ASSERT_EQ(runs[0].size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(runs[0][i].timeMs - TrendTimeMs(kSomeTime), expected[i].first) << i;
    EXPECT_EQ(runs[0][i].value, expected[i].second) << i;
  }
  const auto changes = SettingChanges(history, kSomeTime, kSomeTime + 1500ms);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].timeMs, TrendTimeMs(kSomeTime + 1000ms));
  EXPECT_EQ(changes[0].currentSetpoint, 1500);
  EXPECT_NE(changes[0].text.find("set-point 1000 mA -> 1500 mA"), std::string::npos)
      << changes[0].text;
  EXPECT_NE(changes[0].text.find("frequency "), std::string::npos) << changes[0].text;
  EXPECT_TRUE(SettingChanges(history, kSomeTime + 1100ms, kSomeTime + 1500ms).empty());
}

}  // namespace
}  // namespace quorvane::test
