// The history window's logic with a fake window: what the span buttons, the
// chart's keys, wheel and drags do to following and to the view drawn, and
// what recording and exporting say. Drawing only while shown, and a refused
// row, are tested in each toolkit's window.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "history/history_presenter.h"
#include "tests/history/history_files.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// Remembers what the presenter showed; answers the file question with `file`.
class FakeView final : public HistoryView {
 public:
  bool Visible() const override { return true; }
  int PlotWidth() const override { return 600; }
  void DrawChart(const ReadingHistory&, TrendView view) override { drawn.push_back(view); }
  void DescribeChart(const std::string&) override {}
  void StartRedrawTimer(milliseconds) override {}
  void ShowSpan(TrendSpan span) override { this->span = span; }
  void ShowFollowing(bool on) override { following = on; }
  void ShowRecordButton(const ButtonTexts& texts) override { record = texts.caption; }
  void ShowStatus(const std::string& text, const std::string& spoken) override {
    status = text;
    name = spoken;
  }
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  std::string AskForFile(const std::string& title, const std::string& suggested) override {
    asked.push_back(title + "|" + suggested);
    return file;
  }

  std::vector<TrendView> drawn;
  TrendSpan span = TrendSpan::TenMinutes;
  bool following = true;
  std::string record, status, name, file;
  std::vector<std::string> warnings, asked;
};

// Text matched as it is, inside a regular expression.
std::string Literal(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

class HistoryPresenterTest : public testing::Test {
 protected:
  HistoryPresenterTest() {
    m_log.OnStatusReading(DeviceState{});
    m_presenter.Begin();
  }
  void Reply() {
    m_now += kPollPeriod;
    m_log.OnStatusReading(DeviceState{});
  }
  static long long Ms(WallTime time) {
    return std::chrono::duration_cast<milliseconds>(time.time_since_epoch()).count();
  }

  WallTime m_now = kSomeTime;
  ReadingsLog m_log{[this] { return m_now; }, 64};
  FakeView m_view;
  HistoryPresenter m_presenter{m_log, m_view, [this] { return m_now; }};
};

// From following the last minute (a minute ending on a 10 s step), each way
// to move the view: where it goes, and whether following stops.
TEST_F(HistoryPresenterTest, MovingTheViewStopsFollowingUntilASpanIsChosen) {
  struct Case {
    const char* input;
    std::function<void(HistoryPresenter&)> act;
    long long fromMs, toMs;  // relative to the followed view's left edge
    bool following;
  };
  const Case cases[] = {
      {"left arrow", [](auto& p) { p.OnChartKey(ChartKey::Earlier); }, -15000, 45000, false},
      {"right arrow", [](auto& p) { p.OnChartKey(ChartKey::Later); }, 15000, 75000, false},
      {"plus", [](auto& p) { p.OnChartKey(ChartKey::ZoomIn); }, 15000, 45000, false},
      {"minus", [](auto& p) { p.OnChartKey(ChartKey::ZoomOut); }, -30000, 90000, false},
      {"wheel up at a quarter", [](auto& p) { p.OnChartWheel(120, false, 0.25); }, 3000, 51000,
       false},
      {"wheel down at the left", [](auto& p) { p.OnChartWheel(-120, false, 0.0); }, 0, 75000,
       false},
      {"wheel sideways", [](auto& p) { p.OnChartWheel(120, true, 0.9); }, -6000, 54000, false},
      {"Shift+wheel back", [](auto& p) { p.OnChartWheel(-120, true, 0.9); }, 6000, 66000, false},
      {"drag across the middle", [](auto& p) { p.OnChartDragged(0.25, 0.5); }, 15000, 30000, false},
      {"a rubber band",
       [](auto& p) {
         p.OnChartZoomed({kSomeTime, kSomeTime + 5s});
       },
       -1, -1, false},
      {"a wheel that did not turn", [](auto& p) { p.OnChartWheel(0, false, 0.5); }, 0, 60000, true},
      {"a click, no drag", [](auto& p) { p.OnChartDragged(0.5, 0.5); }, 0, 60000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    m_presenter.FollowSpan(TrendSpan::Minute);
    ASSERT_TRUE(m_view.following);
    const TrendView followed = m_view.drawn.back();
    ASSERT_EQ(followed.to - followed.from, 1min);
    ASSERT_EQ(Ms(followed.to) % 10000, 0);
    const std::size_t draws = m_view.drawn.size();
    c.act(m_presenter);
    EXPECT_EQ(m_presenter.Following(), c.following);
    EXPECT_EQ(m_view.following, c.following);
    if (c.following) {
      EXPECT_EQ(m_view.drawn.size(), draws) << "nothing moved, nothing drawn";
      continue;
    }
    ASSERT_EQ(m_view.drawn.size(), draws + 1);
    const TrendView moved = m_view.drawn.back();
    if (c.fromMs < 0 && c.toMs < 0) {
      EXPECT_EQ(moved.from, kSomeTime);
      EXPECT_EQ(moved.to, kSomeTime + 5s);
      continue;
    }
    EXPECT_EQ(Ms(moved.from) - Ms(followed.from), c.fromMs);
    EXPECT_EQ(Ms(moved.to) - Ms(followed.from), c.toMs);
    // Readings come; the moved view stays where the operator put it.
    Reply();
    m_presenter.OnRedrawTimer();
    EXPECT_EQ(Ms(m_view.drawn.back().from), Ms(moved.from));
  }
  m_presenter.OnChartKey(ChartKey::ZoomIn);
  m_presenter.SetFollowing(true);
  EXPECT_EQ(m_view.drawn.back().to - m_view.drawn.back().from, 1min) << "back to the span";
  m_presenter.FollowSpan(TrendSpan::Hour);
  EXPECT_EQ(m_view.span, TrendSpan::Hour);
  EXPECT_EQ(m_view.drawn.back().to - m_view.drawn.back().from, 1h);
}

// Each step of recording and exporting, and what the status line and the
// record button say after it; warnings also go to a box.
TEST_F(HistoryPresenterTest, RecordingAndExportingSayWhatHappened) {
  ScratchFolder folder;
  const std::string recorded = folder / "recorded.csv";
  const std::string exported = folder / "exported.csv";
  const std::string missing = folder / "missing/readings.csv";
  const std::string recordedText = Literal(recorded), exportedText = Literal(exported),
                    missingText = Literal(missing);
  struct Step {
    const char* what;
    std::function<bool(HistoryPresenter&)> act;
    bool succeeds;
    std::string status;  // a regular expression
    const char* record;
    bool warns;
  };
  const Step steps[] = {
      {"nothing yet", [](auto&) { return true; }, true, "Not recording\\.", "Record\u2026", false},
      {"record into a missing folder", [&](auto& p) { return p.RecordTo(missing); }, false,
       "Cannot record to " + missingText + ": .+\\.", "Record\u2026", true},
      {"record", [&](auto& p) { return p.RecordTo(recorded); }, true,
       "Recording to " + recordedText, "Stop recording", false},
      {"export onto the recording", [&](auto& p) { return p.ExportTo(recorded); }, false,
       "Recording to " + recordedText, "Stop recording", true},
      {"export", [&](auto& p) { return p.ExportTo(exported); }, true,
       "Exported 1 readings to " + exportedText + "\\.", "Stop recording", false},
      {"stop", [](auto& p) { return p.StopRecording(), true; }, true, "Exported 1 readings.*",
       "Record\u2026", false},
      {"export into a missing folder", [&](auto& p) { return p.ExportTo(missing); }, false,
       "Cannot export to " + missingText + ": .+\\. The file was left as it was\\.", "Record\u2026",
       true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    m_view.warnings.clear();
    EXPECT_EQ(step.act(m_presenter), step.succeeds);
    EXPECT_TRUE(std::regex_match(m_view.status, std::regex(step.status))) << m_view.status;
    EXPECT_EQ(m_view.name, "Status: " + m_view.status);
    EXPECT_EQ(m_view.record, step.record);
    ASSERT_EQ(m_view.warnings.size(), step.warns ? 1u : 0u);
    if (step.warns) {
      EXPECT_NE(m_view.warnings[0].find("Cannot "), std::string::npos);
    }
  }
}

TEST_F(HistoryPresenterTest, TheButtonsAskForAFileNamedByTheTimeAndACancelDoesNothing) {
  ScratchFolder folder;
  m_presenter.OnRecordPressed();  // cancelled
  m_presenter.OnExportPressed();
  const std::regex stamped(
      "(Record readings to\\|readings|Export readings to\\|readings-history)"
      "-\\d{8}-\\d{6}\\.csv");
  ASSERT_EQ(m_view.asked.size(), 2u);
  for (const std::string& asked : m_view.asked)
    EXPECT_TRUE(std::regex_match(asked, stamped)) << asked;
  EXPECT_FALSE(m_log.Recording());
  EXPECT_EQ(m_view.status, "Not recording.");

  m_view.file = folder / "chosen.csv";
  m_presenter.OnRecordPressed();
  EXPECT_TRUE(m_log.Recording());
  m_presenter.OnRecordPressed();  // the same button stops, asking nothing
  EXPECT_FALSE(m_log.Recording());
  EXPECT_EQ(m_view.asked.size(), 3u);
}

}  // namespace
}  // namespace quorvane::test
