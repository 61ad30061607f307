// The readings history window in the real panel: opened by F2 and by the
// background's context menu, fed by status replies as the link delivers them,
// drawn only while shown, recording a whole row per reading to any folder.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/win32/history_window.h"
#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "serial/win32/wide_text.h"
#include "window_fixture.h"

namespace quorvane::test {
namespace {

// A fresh folder under the temporary folder, named as given; emptied and
// removed afterwards.
class Folder {
 public:
  explicit Folder(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path =
        std::wstring(temp) + L"quorvane-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    CreateDirectoryW(m_path.c_str(), nullptr);
  }
  ~Folder() {
    for (const std::wstring& file : m_made) DeleteFileW(file.c_str());
    RemoveDirectoryW(m_path.c_str());
  }
  std::wstring operator/(const std::wstring& name) {
    m_made.push_back(m_path + L"\\" + name);
    return m_made.back();
  }

 private:
  std::wstring m_path;
  std::vector<std::wstring> m_made;
};

// The file's lines, each with its ending; "" for a line not ended.
std::vector<std::string> LinesOf(const std::wstring& path) {
  std::vector<std::string> lines;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return lines;
  std::string line;
  for (int c; (c = std::fgetc(file)) != EOF;) {
    line += static_cast<char>(c);
    if (c == '\n') lines.push_back(std::exchange(line, {}));
  }
  if (!line.empty()) lines.push_back("unended: " + line);
  std::fclose(file);
  return lines;
}

class HistoryTest : public WindowTest {
 protected:
  HistoryWindow& History() {
    if (dlg->History() == nullptr) dlg->ShowHistory();
    return *dlg->History();
  }
  // One status reply: measured mA, seed and pump in hundredths of a degree.
  void Status(std::uint16_t measured) {
    Deliver(BuildFrame(FrameKind::kReply, *ReplyLayout(RPL_STATUS), {measured, 2500, 3100}));
  }
  std::uint64_t Appended() { return dlg->Readings().History().Appended(); }

  // Asks for the context menu of target; another thread reads the menu that
  // opens and chooses item `choose` by keys (-1: none, the menu closes).
  std::vector<std::wstring> MenuFor(HWND target, int choose) {
    std::vector<std::wstring> texts;
    std::thread watcher([&] {
      HWND menu = nullptr;
      for (int i = 0; i < 100 && menu == nullptr; ++i) {
        Sleep(20);
        menu = FindWindowW(L"#32768", nullptr);
        if (menu != nullptr && !IsWindowVisible(menu)) menu = nullptr;
      }
      if (menu == nullptr) return;
      auto* items = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
      for (int i = 0; i < GetMenuItemCount(items); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(items, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        texts.push_back(text);
      }
      for (int i = 0; i <= choose; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(menu, WM_KEYDOWN, choose >= 0 ? VK_RETURN : VK_ESCAPE, 0);
    });
    RECT area{};
    GetWindowRect(target, &area);
    Post(dlg->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target),
         MAKELPARAM(area.left + 4, area.top + 4));
    watcher.join();
    dlg->ProcessPending();
    return texts;
  }
};

TEST_F(HistoryTest, OpensFromF2AndFromTheBackgroundsMenuButNotFromAControls) {
  const std::vector<std::wstring> offered = {L"Readings history\u2026\tF2",
                                             L"About Quorvane\u2026\tF1"};
  EXPECT_EQ(MenuFor(Control(IDC_OPEN_PORT), 0), std::vector<std::wstring>{});
  EXPECT_EQ(dlg->History(), nullptr);
  struct Case {
    const char* way;
    std::function<void()> open;
  };
  const Case cases[] = {
      {"F2", [&] { Post(GetFocus(), WM_KEYDOWN, VK_F2); }},
      {"the menu", [&] { EXPECT_EQ(MenuFor(dlg->Handle(), 0), offered); }},
  };
  for (const Case& c : cases) {
    if (dlg->History() != nullptr) ShowWindow(dlg->History()->Handle(), SW_HIDE);
    c.open();
    ASSERT_NE(dlg->History(), nullptr) << c.way;
    EXPECT_TRUE(IsWindowVisible(dlg->History()->Handle())) << c.way;
    EXPECT_EQ(Text(dlg->History()->Handle()), L"Readings history") << c.way;
  }
  EXPECT_EQ(MenuFor(dlg->Handle(), 1), offered);
  EXPECT_EQ(helpCalls, 1) << "the menu's About item opens the F1 box";
}

// Standard controls, each label before what it names, in tab order; the
// chart is the one control of its own, named by its text.
TEST_F(HistoryTest, ControlsComeInTabOrderWithTheirLabelsFirst) {
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"Static", L"Show the last:"},
      {L"Button", L"1 min"},
      {L"Button", L"10 min"},
      {L"Button", L"1 h"},
      {L"Button", L"All"},
      {L"Button", L"Follow newest"},
      {L"Button", L"Record\u2026"},
      {L"Button", L"Export\u2026"},
      {L"QuorvaneTrendChart", L"Readings chart"},
      {L"Edit", L"Not recording."},
  };
  std::vector<std::pair<std::wstring, std::wstring>> children;
  for (HWND child = GetWindow(History().Handle(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t type[64] = {};
    GetClassNameW(child, type, 64);
    children.emplace_back(type, Text(child));
  }
  EXPECT_EQ(children, expected);
}

TEST_F(HistoryTest, ASetShowsAsAStepInTheSetPointLineAndAMarkerWithItsText) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  HistoryWindow& history = History();
  history.FollowSpan(HistoryWindow::Span::Minute);
  for (const wchar_t* span : {L"1 min", L"10 min", L"1 h", L"All"})
    EXPECT_EQ(
        SendMessageW(FindWindowExW(history.Handle(), nullptr, L"Button", span), BM_GETCHECK, 0, 0),
        span == std::wstring(L"1 min") ? BST_CHECKED : BST_UNCHECKED)
        << Narrow(span);
  for (int i = 0; i < 3; ++i) Status(900);
  SetDlgItemTextW(dlg->Handle(), IDC_CURRENT_EDIT, L"1500");
  Post(Control(IDC_SET_CURRENT), BM_CLICK, 0);
  for (int i = 0; i < 3; ++i) Status(1400);
  PumpFor(std::chrono::milliseconds(700));
  ASSERT_EQ(dlg->Readings().History().Newest().device.currentSetpoint, 1500);

  TrendChart& chart = history.Chart();
  const auto& setpoint = chart.Runs(TrendQuantity::CurrentSetpoint);
  ASSERT_EQ(setpoint.size(), 1u);
  bool step = false;
  for (std::size_t i = 0; i + 1 < setpoint[0].size(); ++i)
    step = step || (setpoint[0][i].timeMs == setpoint[0][i + 1].timeMs &&
                    setpoint[0][i].value == 1000 && setpoint[0][i + 1].value == 1500);
  EXPECT_TRUE(step) << "no upright 1000 -> 1500 in the set-point line";
  EXPECT_GE(chart.PointCount(TrendQuantity::MeasuredCurrent), 2u);
  EXPECT_GE(chart.PointCount(TrendQuantity::PumpTemperature), 2u);

  ASSERT_EQ(chart.ChangeMarkers(), 1);
  const POINT marker = chart.MarkerPoints()[0];
  SendMessageW(chart.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(marker.x + 2, marker.y - 1));
  EXPECT_NE(chart.ShownTip().find(L"set-point 1000 mA -> 1500 mA"), std::wstring::npos)
      << chart.ShownTip().size();
  SendMessageW(chart.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(marker.x + 60, marker.y + 60));
  EXPECT_EQ(chart.ShownTip(), L"");
}

// A whole row per reading, in a plain folder and in one named in Chinese and
// with accents; the export then holds every reading.
TEST_F(HistoryTest, RecordsAWholeRowPerReadingAndExportsInAnyFolder) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  HistoryWindow& history = History();
  for (const std::wstring name : {L"plain", L"\u6570\u636e caf\u00e9 \u00e0"}) {
    SCOPED_TRACE(Narrow(name));
    Folder folder(name);
    const std::wstring recorded = folder / L"\u8bb0\u5f55 r\u00e9sum\u00e9.csv";
    const std::wstring exported = folder / L"export.csv";
    ASSERT_TRUE(history.RecordTo(recorded)) << Narrow(history.StatusText());
    EXPECT_EQ(history.StatusText(), L"Recording to " + recorded);
    for (std::uint16_t mA = 100; mA < 104; ++mA) Status(mA);
    history.StopRecording();
    const std::vector<std::string> rows = LinesOf(recorded);
    ASSERT_EQ(rows.size(), 5u) << "a header and a row per reading";
    for (const std::string& row : rows)
      EXPECT_EQ(std::count(row.begin(), row.end(), ','),
                std::count(rows[0].begin(), rows[0].end(), ','))
          << row;
    EXPECT_NE(rows[4].find(",103,"), std::string::npos) << rows[4];

    ASSERT_TRUE(history.ExportTo(exported)) << Narrow(history.StatusText());
    EXPECT_EQ(LinesOf(exported).size(), dlg->Readings().History().Size() + 1);
    EXPECT_EQ(history.StatusText().rfind(L"Exported ", 0), 0u);
  }
}

TEST_F(HistoryTest, AnUnwritablePathStopsOnlyTheRecording) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  HistoryWindow& history = History();
  std::vector<std::wstring> boxes;
  history.ShowWarningsWith([&](HWND, const std::wstring& text) { boxes.push_back(text); });
  Folder folder(L"unwritable");
  const std::wstring missing = folder / L"missing";
  for (const std::wstring& path : {missing + L"\\readings.csv", folder / L""}) {
    boxes.clear();
    EXPECT_FALSE(history.RecordTo(path));
    EXPECT_FALSE(dlg->Readings().Recording());
    EXPECT_EQ(history.StatusText().rfind(L"Cannot record to " + path + L": ", 0), 0u)
        << Narrow(history.StatusText());
    dlg->ProcessPending();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], history.StatusText());
  }
  // The panel goes on: it polls, and the readings are kept.
  const std::uint64_t before = Appended();
  link.frames.clear();
  PumpFor(std::chrono::milliseconds(700));
  Status(500);
  EXPECT_EQ(Appended(), before + 1);
  EXPECT_FALSE(link.FramesWithCode(CMD_READ_STATUS).empty());
}

TEST_F(HistoryTest, DrawsNothingWhileHiddenAndAtMostOncePerReadingWhileShown) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  HistoryWindow& history = History();
  history.FollowSpan(HistoryWindow::Span::Minute);
  ShowWindow(history.Handle(), SW_HIDE);
  const int hidden = history.Redraws();
  for (int i = 0; i < 3; ++i) {
    Status(200);
    PumpFor(std::chrono::milliseconds(300));
  }
  EXPECT_EQ(history.Redraws(), hidden);

  dlg->ShowHistory();
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(history.Redraws(), hidden + 1) << "showing draws what came while hidden, once";
  int drawn = history.Redraws();
  PumpFor(std::chrono::milliseconds(1200));
  EXPECT_EQ(history.Redraws(), drawn) << "no reading, no redraw";
  for (int i = 0; i < 4; ++i) {
    Status(300);
    PumpFor(kPollPeriod + std::chrono::milliseconds(200));
    EXPECT_EQ(history.Redraws(), drawn + 1) << "reading " << i;
    drawn = history.Redraws();
  }
}

}  // namespace
}  // namespace quorvane::test
