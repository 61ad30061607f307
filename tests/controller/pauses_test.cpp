// The board's pauses no longer hold up the window: whatever the window hands
// over during one is served after the paused work, in order, exactly as if it
// had come once that work was done; replies apply at once.
#include <gtest/gtest.h>

#include "controller/control_ids.h"
#include "tests/controller/controller_rig.h"

namespace quorvane::test {
namespace {

using Lines = std::vector<std::string>;

struct PauseKind {
  const char* name;
  void (*start)(Rig&);  // from synced at 500; returns with its first pause running
  bool pollRuns;        // the poll timer runs through the pause, so its tick can come
};

const PauseKind kPauses[] = {
    {"after the status query", [](Rig& rig) { rig.RunFor(milliseconds(500)); }, true},
    {"after a dragged slider's set-point",
     [](Rig& rig) {
       rig.window.DragSlider(2000);
       rig.RunFor(milliseconds(500));
     },
     true},
    {"between a setting's repeats",
     [](Rig& rig) {
       rig.window.Type(IDC_FREQUENCY_EDIT, "5");
       rig.controller.OnSetFrequency();
     },
     false},
    {"after soft-active", [](Rig& rig) { rig.controller.OnSoftActive(); }, false},
    {"after a close", [](Rig& rig) { rig.controller.OnOpenClose(); }, true},
    {"of a device change", [](Rig& rig) { rig.controller.OnDeviceChange(); }, true},
};

struct Arrival {
  const char* name;
  bool isTick;
  void (*arrive)(Rig&);
};

const Arrival kArrivals[] = {
    {"a SET press", false,
     [](Rig& rig) {
       rig.window.Type(IDC_DURATION_EDIT, "44");
       rig.controller.OnSetDuration();
     }},
    {"a poll tick", true, [](Rig& rig) { rig.controller.OnTimer(TIMER_POLL); }},
    {"a device change", false, [](Rig& rig) { rig.controller.OnDeviceChange(); }},
    {"an open/close press", false, [](Rig& rig) { rig.controller.OnOpenClose(); }},
};

TEST(ControllerPauses, WhatArrivesDuringAPauseIsServedAfterItInOrder) {
  for (const PauseKind& pause : kPauses) {
    for (const Arrival& arrival : kArrivals) {
      // The poll is stopped for those pauses: no tick of it can come.
      if (arrival.isTick && !pause.pollRuns) continue;
      SCOPED_TRACE(std::string(arrival.name) + " during the pause " + pause.name);
      // What the board must see: the paused work to its end, then the arrival.
      Rig after;
      after.OpenAndSync();
      const auto afterMark = after.journal.Mark();
      pause.start(after);
      after.FinishPauses();
      arrival.arrive(after);
      after.FinishPauses();

      Rig during;
      during.OpenAndSync();
      const auto mark = during.journal.Mark();
      pause.start(during);
      ASSERT_TRUE(during.controller.Paused());
      during.journal.now += milliseconds(10);  // the window serves its events meanwhile
      const auto arrived = during.journal.Mark();
      arrival.arrive(during);
      EXPECT_EQ(during.journal.Lines(arrived), Lines{}) << "served inside the pause";
      during.FinishPauses();
      EXPECT_EQ(during.journal.Lines(mark), after.journal.Lines(afterMark));
      EXPECT_FALSE(during.controller.Paused());
    }
  }
}

TEST(ControllerPauses, AReplyDuringAPauseIsAppliedAtOnce) {
  Rig rig;
  rig.OpenAndSync(1000, 3000);
  rig.RunFor(milliseconds(550));  // the query went out at 1000
  ASSERT_TRUE(rig.controller.Paused());
  const auto mark = rig.journal.Mark();
  rig.Feed(ReplyCurrent(0x12, 0x34, 1500), 3);
  EXPECT_EQ(rig.journal.Lines(mark), (Lines{"1050 SliderPos 1500", "1050 SetText 1005 1500"}));
  EXPECT_TRUE(rig.controller.Paused()) << "a reply does not end the board's pause";
}

TEST(ControllerPauses, AHeldStepReleasedDuringAPauseEndsAtItsNextTick) {
  // The dead man's switch holds whether or not a pause delayed the tick.
  Rig rig;
  rig.OpenAndSync(1000, 3000);
  rig.controller.OnNudgePress(NudgeDirection::Up);
  rig.window.Type(IDC_FREQUENCY_EDIT, "5");
  rig.RunFor(milliseconds(150));
  rig.controller.OnSetFrequency();  // Enter while holding: 650 .. 750
  rig.window.leftButtonDown = false;
  const auto mark = rig.journal.Mark();
  rig.RunFor(milliseconds(200));  // the repeat's tick at 700 waits for 750
  EXPECT_EQ(rig.Sent(mark), Lines{"750 Send 4E 53 06 08 00 00 13 88 4A"});
  EXPECT_FALSE(rig.window.TimerRunning(TIMER_NUDGE_UP));
  EXPECT_EQ(rig.controller.Device().currentSetpoint, 1000);
}

}  // namespace
}  // namespace quorvane::test
