// The ring's bounds and order, where runs of readings begin, the time search
// after the ring has wrapped, and the exact CSV text of a reading.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "history/reading_history.h"
#include "board/board_model.h"
#include "history/readings_csv.h"
#include "tests/history/history_files.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

TEST(ReadingHistoryTest, KeepsTheNewestInOrderOnceFull) {
  ReadingHistory history(4);
  for (int i = 0; i < 10; ++i) history.Append(SampleReading(i));
  ASSERT_EQ(history.Size(), 4u);
  EXPECT_EQ(history.Appended(), 10u);
  for (std::size_t i = 0; i < history.Size(); ++i)
    EXPECT_EQ(history[i].device.currentRead, 1006 + static_cast<int>(i)) << "index " << i;
  EXPECT_EQ(history.Newest().device.currentRead, 1009);
}

TEST(ReadingHistoryTest, WhereRunsBegin) {
  struct Step {
    const char* what;
    std::optional<std::chrono::milliseconds> after;  // after the previous reading; none: a break
    bool startsRun = false;
    std::chrono::milliseconds storedAfter{0};  // the time kept, after the previous reading
  };
  const auto gap = ReadingHistory::kGapAfter;
  const Step steps[] = {
      {"the first reading ever", 0ms, true, 0ms},
      {"the next poll", 500ms, false, 500ms},
      {"a port open", std::nullopt},
      {"the reading after it", 500ms, true, 500ms},
      {"a pause of exactly the gap", gap, false, gap},
      {"a pause just over the gap", gap + 1ms, true, gap + 1ms},
      {"the clock set back", -5000ms, true, -5000ms},
      {"the clock on from there", 500ms, false, 500ms},
  };
  ReadingHistory history(16);
  WallTime previous = kSomeTime;
  for (const Step& step : steps) {
    if (!step.after) {
      history.MarkBreak();
      continue;
    }
    Reading reading = SampleReading(0);
    reading.time = previous + *step.after;
    history.Append(reading);
    EXPECT_EQ(history.Newest().startsRun, step.startsRun) << step.what;
    EXPECT_EQ(history.Newest().time, previous + step.storedAfter) << step.what;
    previous = history.Newest().time;
  }
}

// A clock set back splits the ring into runs, each searched on its own, and
// the ring wrapping drops them from the oldest.
TEST(ReadingHistoryTest, SearchesEachRunAfterTheRingWrapped) {
  ReadingHistory history(6);
  for (int i = 0; i < 6; ++i) history.Append(SampleReading(2 * i));      // 0 to 10 s
  for (int i = 0; i < 3; ++i) history.Append(SampleReading(2 * i + 1));  // back to 1 s
  ASSERT_EQ(history.RunCount(), 2u);  // seconds 6, 8, 10 | 1, 3, 5
  EXPECT_EQ(history.Earliest(), kSomeTime + 1s);
  EXPECT_EQ(history.Latest(), kSomeTime + 10s);
  struct Case {
    std::size_t run;
    std::chrono::milliseconds at;
    std::size_t index;
  };
  for (const Case& c : {Case{0, 0ms, 0}, Case{0, 6000ms, 0}, Case{0, 6001ms, 1},
                        Case{0, 10000ms, 2}, Case{0, 10001ms, 3}, Case{1, 0ms, 3},
                        Case{1, 3000ms, 4}, Case{1, 4000ms, 5}, Case{1, 9000ms, 6}}) {
    const ReadingHistory::RunSpan run = history.Run(c.run);
    EXPECT_EQ(history.LowerBound(run, kSomeTime + c.at), c.index)
        << "run " << c.run << " at " << c.at.count() << " ms";
  }
  for (int i = 3; i < 6; ++i) history.Append(SampleReading(2 * i + 1));  // the first run drops out
  ASSERT_EQ(history.RunCount(), 1u);
  EXPECT_EQ(history.Run(0).first, 0u);
  EXPECT_EQ(history.Run(0).end, 6u);
  EXPECT_EQ(history.Earliest(), kSomeTime + 1s);
}

TEST(ReadingsCsvTest, NumbersAndTimesAreExact) {
  for (const auto& [hundredths, text] : std::vector<std::pair<std::int32_t, std::string>>{
           {2501, "25.01"}, {-5, "-0.05"}, {0, "0.00"}, {-12345, "-123.45"}, {100, "1.00"}})
    EXPECT_EQ(CsvValue(ValueKind::kHundredths, hundredths), text) << hundredths;

  EXPECT_EQ(IsoTime(kSomeTime), "2026-12-07T16:30:00.123Z");
  DeviceState d;
  d.currentRead = 1203;
  d.seedTemp = 2501;
  d.pumpTemp = 3740;
  d.currentSetpoint = 1500;
  d.frequencyHz = 12340;
  d.pulseSteps = 20;
  d.softActive = 1;
  EXPECT_EQ(CsvHeader(),
            "time,current_mA,seed_C,pump_C,setpoint_mA,frequency_Hz,duration_steps,soft_active\n");
  EXPECT_EQ(CsvRow(ReadingOf(kSomeTime, d)),
            "2026-12-07T16:30:00.123Z,1203,25.01,37.40,1500,12340,20,1\n");
}

}  // namespace
}  // namespace quorvane::test
