// The chart's text alternative: the span shown and each line's newest value,
// in the panel's own number forms.
#include <gtest/gtest.h>

#include "history/chart_summary.h"

namespace quorvane::test {
namespace {

TEST(ChartSummaryTest, GivesTheSpanAndTheNewestReadingOfEachLine) {
  const WallTime from{std::chrono::hours(1000)};
  const WallTime to = from + std::chrono::minutes(10);
  const std::string span = "Shown from " + ClockText(from) + " to " + ClockText(to) + ".";
  ReadingHistory history;
  EXPECT_EQ(ChartSummary(history, from, to), span + " No readings yet.");
  for (int i : {1, 2}) {
    Reading reading;
    reading.time = from + std::chrono::seconds(i);
    reading.device.currentRead = 1490 + i;
    reading.device.currentSetpoint = 1500 * i;
    reading.device.seedTemp = 2500 + i;
    reading.device.pumpTemp = 3050 + i;
    history.Append(reading);
  }
  EXPECT_EQ(ChartSummary(history, from, to),
            span + " Newest reading at " + ClockText(from + std::chrono::seconds(2)) +
                ": measured current 1492 mA, current set-point 3000 mA, seed 25.0 °C, pump "
                "30.5 °C.");
  EXPECT_EQ(ClockText(to).size(), 8u);
  EXPECT_NE(ClockText(from), ClockText(to));
}

}  // namespace
}  // namespace quorvane::test
