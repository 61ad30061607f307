// The lab's alarms on the panel's read-outs, the ramp-down they may ask for,
// and a port whose limits file cannot be used.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "controller/control_ids.h"
#include "tests/controller/limits_rig.h"

namespace quorvane::test {
namespace {

TEST(ControllerAlarms, AlarmsShowOnTheirReadoutsAndEnd) {
  LabLimits limits = CurrentLimit(2000);
  limits.seedTemp = Sourced<ValueWindow>{{1500, 3000}, kAt};
  limits.boardSilent = Sourced<std::chrono::milliseconds>{std::chrono::milliseconds(2000), kAt};
  struct Case {
    const char* name;
    std::function<void(LimitedRig&)> raise, end;
    std::vector<int> readouts;
  };
  const Case cases[] = {
      {"seed outside its window",
       [](LimitedRig& rig) { rig.board.status.seed = 3120; },
       [](LimitedRig& rig) { rig.board.status.seed = 2900; },
       {IDC_SEED_TEMP}},
      {"board silent",
       [](LimitedRig& rig) { rig.board.answering = false; },
       [](LimitedRig& rig) { rig.board.answering = true; },
       {IDC_CURRENT_READ, IDC_SEED_TEMP, IDC_PUMP_TEMP}},
      {"board's set-point above the limit",
       [](LimitedRig& rig) { rig.Feed(ReplyCurrent(0x12, 0x34, 2500), 3); },
       [](LimitedRig& rig) { rig.Feed(ReplyCurrent(0x12, 0x34, 1500), 3); },
       {IDC_CURRENT_READ}},
      {"closed",
       [](LimitedRig& rig) { rig.board.status.seed = 3120; },
       [](LimitedRig& rig) { rig.controller.OnOpenClose(); },
       {IDC_SEED_TEMP}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LimitedRig rig{{limits, ""}};
    rig.OpenAndSync(1000, 3000);
    rig.board.Run(milliseconds(1000));
    const auto mark = rig.journal.Mark();
    c.raise(rig);
    rig.board.Run(milliseconds(3000));
    // Started once, on its read-outs only, and nothing sent for it.
    ASSERT_EQ(rig.alarmLog.started.size(), 1u);
    const Alarm alarm = rig.alarmLog.started[0];
    Lines expected;
    for (int id : c.readouts) expected.push_back(std::to_string(id) + " " + alarm.Text());
    Lines shown;
    for (const std::string& line : rig.journal.Lines(mark, "Alarm "))
      shown.push_back(line.substr(line.find(' ') + 7));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(rig.SentCurrents(mark), std::vector<int>{});
    c.end(rig);
    rig.board.Run(milliseconds(1000));
    EXPECT_EQ(rig.alarmLog.ended.size(), 1u);
    for (int id : c.readouts) EXPECT_EQ(rig.window.alarms[id], "") << id;
  }
}

// A silence over a seed alarm: when the board answers again, the seed's
// read-out goes back to its own alarm, the others clear.
TEST(ControllerAlarms, AnAlarmEndingUnderAnotherLeavesThatOnesReason) {
  LabLimits limits;
  limits.seedTemp = Sourced<ValueWindow>{{1500, 3000}, kAt};
  limits.boardSilent = Sourced<std::chrono::milliseconds>{std::chrono::milliseconds(2000), kAt};
  LimitedRig rig{{limits, ""}};
  rig.OpenAndSync(1000, 3000);
  rig.board.status.seed = 3120;
  rig.board.Run(milliseconds(1000));
  rig.board.answering = false;
  rig.board.Run(milliseconds(3000));
  ASSERT_EQ(rig.alarmLog.started.size(), 2u);
  const std::string seed = rig.alarmLog.started[0].Text();
  const std::string silent = rig.alarmLog.started[1].Text();
  EXPECT_EQ(rig.window.alarms[IDC_SEED_TEMP], silent);
  const auto mark = rig.journal.Mark();
  rig.board.answering = true;
  rig.board.Run(milliseconds(1000));
  Lines shown;
  for (const std::string& line : rig.journal.Lines(mark, "Alarm "))
    shown.push_back(line.substr(line.find(' ') + 1));
  EXPECT_EQ(shown, (Lines{"Alarm 1010 ", "Alarm 1007 " + seed, "Alarm 1006 "}));
}

TEST(ControllerAlarms, ABoardThatNeverAnswersIsSilent) {
  LabLimits limits;
  limits.boardSilent = Sourced<std::chrono::milliseconds>{std::chrono::milliseconds(2000), kAt};
  LimitedRig rig{{limits, ""}};
  rig.controller.OnOpenClose();
  rig.RunFor(milliseconds(3000));
  ASSERT_EQ(rig.alarmLog.started.size(), 1u);
  for (int id : {IDC_CURRENT_READ, IDC_SEED_TEMP, IDC_PUMP_TEMP})
    EXPECT_EQ(rig.window.alarms[id], rig.alarmLog.started[0].Text()) << id;
}

// on_alarm = "ramp-down": the current to 0 at the ramp's rate, then
// soft-active off; nothing goes back up, neither by itself nor when asked.
TEST(ControllerAlarms, RampDownTakesTheCurrentToZeroThenSoftActiveOff) {
  struct Case {
    const char* name;
    std::int32_t ramp;
    std::vector<int> steps;
    int lost = 0;
  };
  const Case cases[] = {
      {"at the ramp's rate", 400, {500, 300, 100, 0}},
      {"no ramp rate: at once", 0, {0}},
      {"its frame lost: sent again", 0, {0, 0}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LabLimits limits = CurrentLimit(2000, c.ramp);
    limits.seedTemp = Sourced<ValueWindow>{{1500, 3000}, kAt};
    limits.onAlarm = Sourced<OnAlarm>{OnAlarm::kRampDown, kAt};
    LimitedRig rig{{limits, ""}};
    rig.controller.OnOpenClose();
    rig.RunFor(milliseconds(500));
    rig.Feed(ReplyAll(0x12, 0x34, 700, 3000, 12340, 20, 1), 3);
    const auto mark = rig.journal.Mark();
    rig.board.confirmsToLose = c.lost;
    rig.board.status.seed = 3120;
    rig.board.Run(milliseconds(1000));
    ASSERT_EQ(rig.alarmLog.started.size(), 1u);
    EXPECT_EQ(rig.window.alarms[IDC_SEED_TEMP], RampDownText(rig.alarmLog.started[0]));
    // Asked to rise meanwhile: refused.
    rig.window.Type(IDC_CURRENT_EDIT, "1500");
    rig.controller.OnSetCurrent();
    rig.board.Run(milliseconds(3000));
    EXPECT_EQ(rig.SentCurrents(mark), c.steps);
    const auto settings = [&] {
      return rig.Sent(mark).size() -
             rig.journal.Lines(mark, "Send " + FrameHex(BuildReadStatus())).size();
    };
    EXPECT_EQ(settings(), c.steps.size() + 1) << "the steps and soft-active off";
    EXPECT_EQ(rig.journal.Lines(mark, "Send " + FrameHex(BuildSetSoftActive(0))).size(), 1u);
    EXPECT_EQ(rig.controller.Device().softActive, 0);
    rig.controller.OnSoftActive();
    rig.board.Run(milliseconds(1000));
    EXPECT_EQ(settings(), c.steps.size() + 1) << "soft-active stays off";
    // The alarm ends: nothing is raised again.
    rig.board.status.seed = 2900;
    const auto after = rig.journal.Mark();
    rig.board.Run(milliseconds(2000));
    EXPECT_EQ(rig.alarmLog.ended.size(), 1u);
    EXPECT_EQ(rig.SentCurrents(after), std::vector<int>{});
  }
}

TEST(ControllerLimits, ReadOnlyPortShowsReadingsAndRefusesEverySetting) {
  struct Case {
    const char* name;
    std::function<void(LimitedRig&)> ask;
  };
  const Case cases[] = {
      {"SET",
       [](LimitedRig& rig) {
         rig.window.Type(IDC_CURRENT_EDIT, "1500");
         rig.controller.OnClicked(IDC_SET_CURRENT);
       }},
      {"Enter",
       [](LimitedRig& rig) {
         rig.window.Type(IDC_FREQUENCY_EDIT, "15");
         rig.controller.OnEnter(IDC_FREQUENCY_EDIT);
       }},
      {"soft-active", [](LimitedRig& rig) { rig.controller.OnClicked(IDC_SOFT_ACTIVE); }},
      {"step click", [](LimitedRig& rig) { rig.controller.OnClicked(IDC_CURRENT_UP); }},
      {"step hold",
       [](LimitedRig& rig) {
         rig.controller.OnPress(IDC_CURRENT_DOWN);
         rig.RunFor(milliseconds(1000));
         rig.controller.OnMouseRelease();
       }},
      {"slider drag", [](LimitedRig& rig) { rig.window.DragSlider(1700); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LimitedRig rig{{{}, "/etc/quorvane/limits.toml:3: unknown key 'curent_max_mA'"}};
    rig.OpenAndSync(1000, 3000);
    const std::string hint =
        "Settings refused: /etc/quorvane/limits.toml:3: unknown key 'curent_max_mA'";
    EXPECT_EQ(rig.window.openPortHint, hint);
    const auto mark = rig.journal.Mark();
    c.ask(rig);
    rig.board.Run(milliseconds(2000));
    EXPECT_EQ(rig.Sent(mark).size(),
              rig.journal.Lines(mark, "Send " + FrameHex(BuildReadStatus())).size())
        << "only status queries";
    EXPECT_FALSE(rig.window.GetText(IDC_SEED_TEMP).empty());
    EXPECT_EQ(rig.window.SliderPosition(), 1000);
    EXPECT_EQ(rig.window.openPortHint, hint);
    rig.controller.OnOpenClose();
    rig.FinishPauses();
    EXPECT_EQ(rig.window.openPortHint, "");
  }
}

}  // namespace
}  // namespace quorvane::test
