// The step buttons: clicks, holds with a growing step, limits and the poll around them.
#include <functional>

#include <gtest/gtest.h>

#include "tests/controller/controller_rig.h"

namespace quorvane::test {
namespace {

using Lines = std::vector<std::string>;

// Set-points carried by the CMD_SET_CURRENT frames sent from mark on.
std::vector<int> SentSetpoints(const Rig& rig, std::size_t mark) {
  std::vector<int> setpoints;
  for (const std::string& line : rig.Sent(mark)) {
    const auto at = line.find("4E 53 06 04 ");
    if (at == std::string::npos) continue;
    setpoints.push_back(std::stoi(line.substr(at + 18, 2) + line.substr(at + 21, 2), nullptr, 16));
  }
  return setpoints;
}

struct HoldCase {
  const char* name;
  NudgeDirection direction;
  std::uint16_t start, currentMax;
  int holdMs;
  int expected;
  std::size_t frames;  // repeats plus the final click
};

TEST(ControllerSteps, HoldRepeatsWithAGrowingStepWithinTheLimits) {
  const HoldCase cases[] = {
      {"click up", NudgeDirection::Up, 1000, 3000, 150, 1001, 1},
      {"click down", NudgeDirection::Down, 1000, 3000, 150, 999, 1},
      {"click down at zero", NudgeDirection::Down, 0, 3000, 150, 0, 1},
      {"click up at max", NudgeDirection::Up, 3000, 3000, 150, 3000, 1},
      {"hold up 1.1 s", NudgeDirection::Up, 1000, 3000, 1100, 1007, 6},
      {"hold down 1.1 s", NudgeDirection::Down, 1000, 3000, 1100, 993, 6},
      {"hold down into zero", NudgeDirection::Down, 3, 3000, 1100, 0, 6},
      {"hold up into max", NudgeDirection::Up, 2995, 2998, 1100, 2998, 6},
      // 50 repeats: steps 1..10 by five, the last two at 10; plus the click.
      {"hold up 10.1 s", NudgeDirection::Up, 0, 3000, 10100, 285, 51},
  };
  for (const HoldCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.OpenAndSync(c.start, c.currentMax);
    const auto mark = rig.journal.Mark();
    rig.controller.OnNudgePress(c.direction);
    rig.RunFor(milliseconds(c.holdMs));
    rig.controller.OnMouseRelease();
    EXPECT_EQ(rig.controller.NudgeTicks(), 0);
    if (c.direction == NudgeDirection::Up) {
      rig.controller.StepUp();
    } else {
      rig.controller.StepDown();
    }
    const std::vector<int> sent = SentSetpoints(rig, mark);
    ASSERT_EQ(sent.size(), c.frames);
    EXPECT_EQ(sent.back(), c.expected);
    EXPECT_EQ(rig.controller.Device().currentSetpoint, c.expected);
    EXPECT_EQ(rig.window.SliderPosition(), c.expected);
    if (c.holdMs > 10000) {
      EXPECT_EQ(sent[49] - sent[48], 10);
    }
    EXPECT_EQ(rig.Sent(mark).size(), c.frames) << "no status query while held";
  }
}

// The release can go where the window never sees it (a box, another window);
// the hold must end anyway, and the poll come back.
TEST(ControllerSteps, HoldEndsWhenTheReleaseGoesElsewhere) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> end;
  };
  const Case cases[] = {
      {"button reported up at a tick", [](Rig& rig) { rig.window.leftButtonDown = false; }},
      {"box opened or window deactivated", [](Rig& rig) { rig.controller.EndHold(); }},
      {"device change", [](Rig& rig) { rig.controller.OnDeviceChange(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.OpenAndSync();
    rig.controller.OnNudgePress(NudgeDirection::Up);
    rig.RunFor(milliseconds(450));
    ASSERT_EQ(SentSetpoints(rig, 0).size(), 2u);
    const auto mark = rig.journal.Mark();
    c.end(rig);
    rig.RunFor(milliseconds(1000));
    EXPECT_EQ(SentSetpoints(rig, mark), std::vector<int>{}) << "stepped after the hold ended";
    EXPECT_FALSE(rig.window.TimerRunning(TIMER_NUDGE_UP));
    EXPECT_TRUE(rig.window.TimerRunning(TIMER_POLL));
    EXPECT_NE(rig.Sent(mark).size(), 0u) << "the poll did not come back";
    EXPECT_EQ(rig.controller.NudgeTicks(), 0);
  }
}

TEST(ControllerSteps, PressStopsThePollAndTheOppositeRepeatReleaseRestartsPollAt400) {
  Rig rig;
  rig.OpenAndSync();
  auto mark = rig.journal.Mark();
  rig.controller.OnNudgePress(NudgeDirection::Up);
  rig.controller.OnNudgePress(NudgeDirection::Down);
  EXPECT_EQ(rig.journal.Lines(mark),
            (Lines{"500 StopTimer 1", "500 StopTimer 2", "500 StartTimer 3 200", "500 StopTimer 1",
                   "500 StopTimer 3", "500 StartTimer 2 200"}));
  mark = rig.journal.Mark();
  rig.controller.OnMouseRelease();
  rig.RunFor(milliseconds(400));
  EXPECT_EQ(rig.journal.Lines(mark),
            (Lines{"500 StopTimer 3", "500 StopTimer 2", "500 StartTimer 1 400",
                   "900 Send 4E 53 02 00 A3", "900 Pause 200"}));
}

TEST(ControllerSteps, ClickElsewhereRestartsPollAt400AndASetCommandAt500) {
  Rig rig;
  rig.OpenAndSync();
  rig.window.Type(1009, "5");
  const auto mark = rig.journal.Mark();
  rig.controller.OnMouseRelease();
  rig.controller.OnSetFrequency();
  rig.FinishPauses();
  EXPECT_EQ(rig.journal.Lines(mark, "StartTimer"),
            (Lines{"500 StartTimer 1 400", "600 StartTimer 1 500"}));
}

TEST(ControllerSteps, NothingMovesBeforeSyncAndNothingIsSentWhileSuspended) {
  Rig waiting;
  waiting.controller.OnOpenClose();
  auto mark = waiting.journal.Mark();
  waiting.controller.OnNudgePress(NudgeDirection::Up);
  waiting.controller.OnMouseRelease();
  waiting.controller.StepUp();
  EXPECT_EQ(waiting.journal.Lines(mark), Lines{});

  Rig suspended;
  suspended.OpenAndSync();
  suspended.link.failOpen = true;
  suspended.controller.OnDeviceChange();
  suspended.FinishPauses();
  mark = suspended.journal.Mark();
  suspended.controller.OnNudgePress(NudgeDirection::Up);
  suspended.RunFor(milliseconds(1100));
  EXPECT_EQ(suspended.controller.NudgeTicks(), 5);
  suspended.controller.OnMouseRelease();
  suspended.controller.StepUp();
  EXPECT_EQ(suspended.Sent(mark), Lines{});
  EXPECT_EQ(suspended.journal.Lines(mark, "StartTimer"),
            (Lines{"900 StartTimer 3 200", "2000 StartTimer 1 400"}));
}

}  // namespace
}  // namespace quorvane::test
