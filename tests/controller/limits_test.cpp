// The panel under a lab's limits: what each path may send, and ramps and how
// they end.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "controller/control_ids.h"
#include "tests/controller/limits_rig.h"

namespace quorvane::test {
namespace {

// A limits source that gives no limits changes nothing the panel does.
TEST(ControllerLimits, EmptyLimitsChangeNothing) {
  const auto script = [](Rig& rig) {
    rig.OpenAndSync(1000, 3000);
    rig.window.Type(IDC_CURRENT_EDIT, "2500");
    rig.controller.OnSetCurrent();
    rig.RunFor(milliseconds(1000));
    rig.window.DragSlider(2900);
    rig.controller.OnNudgePress(NudgeDirection::Up);
    rig.RunFor(milliseconds(700));
    rig.controller.OnMouseRelease();
    rig.RunFor(milliseconds(1000));
    rig.controller.OnOpenClose();
    rig.RunFor(milliseconds(1000));
  };
  Rig plain;
  LimitedRig empty{PortLimits{}};
  script(plain);
  script(empty);
  EXPECT_EQ(empty.journal.Lines(), plain.journal.Lines());
  EXPECT_EQ(empty.askedFor, Lines{"port3"});
}

TEST(ControllerLimits, SliderTopNotesAndTypedClamps) {
  LabLimits limits = CurrentLimit(2000);
  limits.frequency = Sourced<ValueWindow>{{10000, 20000}, kAt};
  limits.duration = Sourced<ValueWindow>{{10, 100}, kAt};
  struct Case {
    const char* name;
    int entryId;
    const char* typed;
    CommandFrame frame;
  };
  const Case cases[] = {
      {"current above the lab", IDC_CURRENT_EDIT, "2500", BuildSetCurrent(0x12, 0x34, 2000)},
      {"current above the board", IDC_CURRENT_EDIT, "99999", BuildSetCurrent(0x12, 0x34, 2000)},
      {"current within", IDC_CURRENT_EDIT, "1500", BuildSetCurrent(0x12, 0x34, 1500)},
      {"frequency above", IDC_FREQUENCY_EDIT, "30.00", BuildSetFrequency(20000)},
      {"frequency below", IDC_FREQUENCY_EDIT, "5", BuildSetFrequency(10000)},
      {"duration above", IDC_DURATION_EDIT, "250", BuildSetDuration(100)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LimitedRig rig{{limits, ""}};
    rig.OpenAndSync(1000, 3000);
    EXPECT_EQ(rig.journal.Lines(0, "SliderRange"), Lines{"500 SliderRange 2000"});
    EXPECT_EQ(rig.window.notes[IDC_CURRENT_SLIDER], LabLimitNote(limits, Setting::kCurrent));
    EXPECT_EQ(rig.window.notes[IDC_CURRENT_EDIT], LabLimitNote(limits, Setting::kCurrent));
    EXPECT_EQ(rig.window.notes[IDC_FREQUENCY_EDIT], LabLimitNote(limits, Setting::kFrequency));
    EXPECT_EQ(rig.window.notes[IDC_DURATION_EDIT], LabLimitNote(limits, Setting::kDuration));
    EXPECT_FALSE(rig.window.notes[IDC_CURRENT_EDIT].empty());
    rig.window.Type(c.entryId, c.typed);
    const auto mark = rig.journal.Mark();
    rig.controller.OnEnter(c.entryId);
    rig.FinishPauses();
    const std::string sent = "500 Send " + FrameHex(c.frame);
    EXPECT_EQ(rig.Sent(mark), (Lines{sent, "600" + sent.substr(3)}));
  }
}

// However the operator asks, no frame carries a current beyond the lab's
// limit, with or without a ramp.
TEST(ControllerLimits, NoPathSendsACurrentBeyondTheLimit) {
  // A window whose slider does not keep to its range.
  const auto drag = [](LimitedRig& rig) { rig.window.DragSlider(2900); };
  const auto type = [](LimitedRig& rig) {
    rig.window.Type(IDC_CURRENT_EDIT, "2900");
    rig.controller.OnSetCurrent();
  };
  const auto hold = [](LimitedRig& rig) {
    rig.controller.OnNudgePress(NudgeDirection::Up);
    rig.board.Run(milliseconds(3000));
    rig.controller.OnMouseRelease();
  };
  struct Case {
    const char* name;
    std::int32_t ramp;
    std::uint16_t from;
    std::function<void(LimitedRig&)> ask;
  };
  const Case cases[] = {
      {"slider dragged", 0, 1000, drag}, {"typed", 0, 1000, type},
      {"step held", 0, 1980, hold},      {"ramp, slider dragged", 400, 1000, drag},
      {"ramp, typed", 400, 1000, type},  {"ramp, step held", 400, 1990, hold},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LimitedRig rig{{CurrentLimit(2000, c.ramp), ""}};
    rig.OpenAndSync(c.from, 3000);
    const auto mark = rig.journal.Mark();
    c.ask(rig);
    rig.board.Run(milliseconds(3000));
    const std::vector<int> sent = rig.SentCurrents(mark);
    ASSERT_FALSE(sent.empty());
    EXPECT_LE(*std::max_element(sent.begin(), sent.end()), 2000);
    EXPECT_EQ(sent.back(), 2000);
    EXPECT_EQ(rig.controller.Device().currentSetpoint, 2000);
  }
}

// A held step button under a ramp of 2 mA/s (1 mA a poll): its repeats come
// every 200 ms and their steps grow past the ramp's, but the current rises by
// 1 mA at a time, at most once every 500 ms, until it reaches the target.
TEST(ControllerLimits, HeldStepsKeepToTheRampsRate) {
  LimitedRig rig{{CurrentLimit(2000, 2), ""}};
  rig.OpenAndSync(1000, 3000);
  const auto mark = rig.journal.Mark();
  rig.controller.OnNudgePress(NudgeDirection::Up);
  rig.board.Run(milliseconds(3000));
  rig.controller.OnMouseRelease();
  const std::string target = rig.window.GetText(IDC_CURRENT_EDIT);
  EXPECT_GT(std::stoi(target), 1010) << "the entry shows the target";
  rig.board.Run(milliseconds(30000));
  // Each current frame against the one before: a rise of 1 mA, 500 ms on.
  milliseconds lastTime{0};
  int lastValue = 1000;
  for (std::size_t i = mark; i < rig.journal.entries.size(); ++i) {
    const auto& [at, line] = rig.journal.entries[i];
    if (!line.starts_with("Send 4E 53 06 04 ")) continue;
    const int value = rig.SentCurrents(i).front();
    if (value > lastValue) {
      EXPECT_EQ(value - lastValue, 1) << at.count();
      EXPECT_GE((at - lastTime).count(), 500) << at.count();
      lastTime = at;
    }
    lastValue = value;
  }
  EXPECT_EQ(std::to_string(lastValue), target);
}

// A ramp of 200 mA/s: 100 mA a poll, each step only once the last is confirmed.
TEST(ControllerLimits, RampStepsOnlyOnConfirmationAndEndsWhereItStands) {
  struct Case {
    const char* name;
    std::function<void(LimitedRig&)> midway;  // once 1200 mA is confirmed
    std::vector<int> sent;
    bool ends = true;
  };
  const Case cases[] = {
      {"to the target", [](LimitedRig&) {}, {1100, 1100, 1200, 1300, 1400, 1500}},
      {"a step's frame lost: sent again",
       [](LimitedRig& rig) { rig.board.confirmsToLose = 1; },
       {1100, 1100, 1200, 1300, 1300, 1400, 1500}},
      {"board stops answering",
       [](LimitedRig& rig) { rig.board.answering = false; },
       {1100, 1100, 1200, 1300},
       false},
      {"re-targeted higher",
       [](LimitedRig& rig) {
         rig.window.Type(IDC_CURRENT_EDIT, "1700");
         rig.controller.OnSetCurrent();
       },
       {1100, 1100, 1200, 1300, 1400, 1500, 1600, 1700}},
      {"decrease at once",
       [](LimitedRig& rig) {
         rig.window.Type(IDC_CURRENT_EDIT, "900");
         rig.controller.OnSetCurrent();
       },
       {1100, 1100, 1200, 900, 900}},
      {"slider dragged down",
       [](LimitedRig& rig) { rig.window.DragSlider(1000); },
       {1100, 1100, 1200, 1000}},
      {"closed", [](LimitedRig& rig) { rig.controller.OnOpenClose(); }, {1100, 1100, 1200}},
      {"box",
       [](LimitedRig& rig) {
         rig.controller.HoldTransitions();
         rig.board.Run(milliseconds(1000));
         rig.controller.ReleaseTransitions();
         rig.controller.RunDeferredTransitions();
       },
       {1100, 1100, 1200}},
      {"device change",
       [](LimitedRig& rig) { rig.controller.OnDeviceChange(); },
       {1100, 1100, 1200}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LimitedRig rig{{CurrentLimit(2000, 200), ""}};
    rig.OpenAndSync(1000, 3000);
    const auto mark = rig.journal.Mark();
    rig.window.Type(IDC_CURRENT_EDIT, "1500");
    rig.controller.OnSetCurrent();
    while (rig.SentCurrents(mark).size() < 3) rig.board.Run(milliseconds(50));
    rig.board.Run(milliseconds(50));  // the board confirms 1200
    // The entry shows where the ramp goes, the slider what the board confirmed.
    EXPECT_EQ(rig.window.GetText(IDC_CURRENT_EDIT), "1500");
    EXPECT_EQ(rig.window.SliderPosition(), 1200);
    EXPECT_NE(rig.window.notes[IDC_CURRENT_EDIT],
              LabLimitNote(rig.limits.limits, Setting::kCurrent));
    c.midway(rig);
    rig.board.Run(milliseconds(4000));
    EXPECT_EQ(rig.SentCurrents(mark), c.sent);
    // Ended, or done: the note is the limit's alone again.
    if (c.ends) {
      EXPECT_EQ(rig.window.notes[IDC_CURRENT_EDIT],
                LabLimitNote(rig.limits.limits, Setting::kCurrent));
    }
  }
}

}  // namespace
}  // namespace quorvane::test
