// The log the controller feeds, on a clock the test moves: every status reply
// into the history, a row each while recording, and a failed row told once.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "history/readings_csv.h"
#include "history/readings_log.h"
#include "history/trend_runs.h"
#include "tests/history/history_files.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

class ReadingsLogTest : public testing::Test {
 protected:
  // One status reply, half a second after the one before.
  void Reply(int currentRead) {
    m_now += 500ms;
    DeviceState device;
    device.currentRead = currentRead;
    m_log.OnStatusReading(device);
  }

  WallTime m_now = kSomeTime;
  ReadingsLog m_log{[this] { return m_now; }, 8};
};

TEST_F(ReadingsLogTest, RecordsARowPerStatusReplyAtTheClocksTime) {
  ScratchFolder folder;
  const std::string path = folder / "recording.csv";
  Reply(1);
  ASSERT_EQ(m_log.StartRecording(path), "");
  EXPECT_TRUE(m_log.Recording());
  EXPECT_EQ(m_log.RecordingPath(), path);
  Reply(2);
  m_now -= 10s;  // the clock set back: the row tells the time it now shows
  Reply(3);
  const WallTime setBack = m_now;
  m_log.StopRecording();
  Reply(4);
  const ReadingHistory& history = m_log.History();
  ASSERT_EQ(history.Size(), 4u);
  EXPECT_EQ(history[2].time, setBack);
  EXPECT_EQ(ReadFile(path), CsvHeader() + CsvRow(history[1]) + CsvRow(history[2]));
}

// The export's rename would leave the recording writing a file nobody sees.
TEST_F(ReadingsLogTest, ExportRefusesTheFileBeingRecordedByAnyName) {
  ScratchFolder folder;
  const std::string path = folder / "recording.csv";
  ASSERT_EQ(m_log.StartRecording(path), "");
  Reply(1);
  std::vector<std::string> names{path, folder / "./recording.csv"};
#ifndef _WIN32
  std::filesystem::create_symlink(path, folder / "link.csv");
  names.push_back(folder / "link.csv");
#endif
  for (const std::string& name : names)
    EXPECT_NE(m_log.Export(name).find("being recorded"), std::string::npos) << name;
  EXPECT_EQ(m_log.Export(folder / "other.csv"), "");
  Reply(2);
  const ReadingHistory& history = m_log.History();
  EXPECT_EQ(ReadFile(path), CsvHeader() + CsvRow(history[0]) + CsvRow(history[1]));
}

TEST_F(ReadingsLogTest, APortOpenStartsARun) {
  Reply(1);
  Reply(2);
  m_log.OnPortOpened();
  Reply(3);
  const ReadingHistory& history = m_log.History();
  ASSERT_EQ(history.Size(), 3u);
  EXPECT_TRUE(history[0].startsRun);
  EXPECT_FALSE(history[1].startsRun);
  EXPECT_TRUE(history[2].startsRun);
}

// Alarms are marked among the readings like setting changes, at the set-point
// held then, and go with the readings around them when the ring makes room.
TEST_F(ReadingsLogTest, AlarmStartsAndEndsAreMarkedAmongTheReadings) {
  const Alarm alarm{AlarmKind::kSeedTemp, 3120, {1500, 3000}, m_now, {"limits.toml", 5}};
  m_log.OnAlarmChanges({{alarm}, {}});  // before any reading: at the first one
  Reply(1);
  Reply(2);
  const WallTime ended = m_now + 100ms;
  m_now = ended;
  m_log.OnAlarmChanges({{}, {alarm}});
  m_now -= 100ms;
  Reply(3);
  const auto marks = SettingChanges(m_log.History(), m_now - 1h, m_now);
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0].text, "alarm: " + alarm.Text());
  EXPECT_EQ(marks[0].timeMs, TrendTimeMs(kSomeTime));
  EXPECT_EQ(marks[1].text, "alarm ended: " + alarm.Text());
  EXPECT_EQ(marks[1].timeMs, TrendTimeMs(ended));
  EXPECT_TRUE(SettingChanges(m_log.History(), ended + 1ms, m_now).empty());
  // The ring holds 8: the start's following reading goes at the 9th, the
  // end's at the 11th.
  const std::pair<int, std::size_t> kept[] = {{8, 2}, {9, 1}, {10, 1}, {11, 0}};
  int replies = 3;
  for (const auto& [after, count] : kept) {
    while (replies < after) Reply(++replies);
    EXPECT_EQ(m_log.History().Marks().size(), count) << after;
  }
}

#ifndef _WIN32
// The disk fills in the middle of the second row.
TEST_F(ReadingsLogTest, AFailedRowIsToldOnceAndTheReadingsGoOn) {
  ScratchFolder folder;
  const std::string path = folder / "recording.csv";
  const std::string firstRow = CsvRow(ReadingOf(m_now + 500ms, DeviceState{}));
  const std::size_t limit = CsvHeader().size() + firstRow.size() * 3 / 2;
  const int result = WithFileSizeLimit(limit, [&] {
    std::vector<std::pair<std::string, std::string>> told;
    m_log.OnRecordingFailed([&](const std::string& failed, const std::string& reason) {
      told.emplace_back(failed, reason);
    });
    if (!m_log.StartRecording(path).empty()) return 1;
    for (int i = 0; i < 4; ++i) Reply(0);
    if (told.size() != 1) return 2;
    if (told[0] != std::pair(path, std::generic_category().message(EFBIG))) return 3;
    if (m_log.Recording()) return 4;
    return m_log.History().Size() == 4 ? 0 : 5;
  });
  EXPECT_EQ(result, 0) << "1: no start, 2: not told once, 3: wrong path or reason, "
                          "4: still recording, 5: readings lost";
  EXPECT_EQ(ReadFile(path), CsvHeader() + firstRow);
}
#endif

}  // namespace
}  // namespace quorvane::test
