// Opening, syncing, closing and device changes: the calls, their order and timing.
#include <gtest/gtest.h>

#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "tests/controller/controller_rig.h"

namespace quorvane::test {
namespace {

using Lines = std::vector<std::string>;

TEST(ControllerLifecycle, ListsEveryPortInOrderAndOpensTheChosenOne) {
  std::vector<unsigned> present;
  for (unsigned n = 1; n <= 20; ++n) present.push_back(n * 7);  // more than sixteen ports
  Rig rig(present);
  ASSERT_EQ(rig.controller.PortCount(), 20);
  EXPECT_EQ(rig.window.ports.front(), "port7");
  EXPECT_EQ(rig.window.ports.back(), "port140");
  EXPECT_EQ(rig.window.SelectedPort(), 0);
  rig.window.Choose(19);
  rig.controller.OnOpenClose();
  ASSERT_EQ(rig.link.opens.size(), 1u);
  EXPECT_EQ(rig.link.opens[0].port, 140u);
  EXPECT_EQ(rig.controller.Flags().currentPort, 140);
}

TEST(ControllerLifecycle, SkipsPortNumbersOutsideTheComRange) {
  Rig rig({0, 5, 255, 300});
  EXPECT_EQ(rig.window.ports, Lines{"port5"});
  EXPECT_EQ(rig.controller.PortCount(), 1);
}

TEST(ControllerLifecycle, OpenWithoutPortsOrSelectionDoesNothing) {
  for (bool empty : {true, false}) {
    Rig rig(empty ? std::vector<unsigned>{} : std::vector<unsigned>{4});
    if (!empty) rig.window.Choose(-1);
    const auto mark = rig.journal.Mark();
    rig.controller.OnOpenClose();
    rig.RunFor(milliseconds(2000));
    EXPECT_EQ(rig.journal.Lines(mark), Lines{}) << "empty list: " << empty;
    EXPECT_EQ(rig.controller.Flags().portOpen, 0);
  }
}

TEST(ControllerLifecycle, OpensWithTheFixedLineSettingsAndWaitsForTheBoard) {
  Rig rig({3, 9});
  rig.window.Choose(1);
  const auto mark = rig.journal.Mark();
  rig.controller.OnOpenClose();
  EXPECT_EQ(rig.journal.Lines(mark),
            (Lines{"0 Open 9", "0 Hint ", "0 SetText 1000 ClosePort", "0 EnablePortList 0",
                   "0 StartTimer 4 500", "0 StartMonitor"}));
  const OpenCall& open = rig.link.opens.at(0);
  EXPECT_EQ(open.owner, &rig.owner);
  EXPECT_EQ(open.baud, 9600u);
  EXPECT_EQ(open.parity, 'N');
  EXPECT_EQ(open.dataBits, 8u);
  EXPECT_EQ(open.stopBits, 0u);
  EXPECT_EQ(open.mask, EV_RXCHAR);
  EXPECT_EQ(open.writeBuffer, 512u);
  for (std::uint32_t timeout : open.timeouts) EXPECT_EQ(timeout, 1000u);
  EXPECT_EQ(rig.controller.Flags().portOpen, 1);
  EXPECT_EQ(rig.controller.Flags().synced, 0);

  // A silent board gets CMD_READ_ALL every 500 ms and nothing else; SET is refused.
  rig.window.Type(IDC_CURRENT_EDIT, "100");
  rig.controller.OnSetCurrent();
  rig.RunFor(milliseconds(1600));
  EXPECT_EQ(rig.Sent(mark), (Lines{"500 Send 4E 53 02 02 A5", "1000 Send 4E 53 02 02 A5",
                                   "1500 Send 4E 53 02 02 A5"}));
}

TEST(ControllerLifecycle, FirstFullReplySwitchesToThePollAndLaterOnesTouchNoTimer) {
  Rig rig;
  rig.controller.OnOpenClose();
  rig.RunFor(milliseconds(700));
  auto mark = rig.journal.Mark();
  rig.Feed(ReplyAll(1, 2, 1000, 3000), 3);
  EXPECT_EQ(rig.journal.Lines(mark, "StopTimer"), Lines{"700 StopTimer 4"});
  EXPECT_EQ(rig.journal.Lines(mark, "StartTimer"), Lines{"700 StartTimer 1 500"});
  EXPECT_EQ(rig.controller.Flags().synced, 1);
  rig.RunFor(milliseconds(1000));
  EXPECT_EQ(rig.Sent(mark), (Lines{"1200 Send 4E 53 02 00 A3", "1700 Send 4E 53 02 00 A3"}));

  mark = rig.journal.Mark();
  rig.Feed(ReplyAll(1, 2, 1200, 3000), 3);
  EXPECT_EQ(rig.journal.Lines(mark, "StartTimer"), Lines{});
  EXPECT_EQ(rig.journal.Lines(mark, "StopTimer"), Lines{});
  // Fed during the pause after the query at 1700: shown at once.
  EXPECT_EQ(rig.journal.Lines(mark, "SetText 1005"), Lines{"1700 SetText 1005 1200"});
}

TEST(ControllerLifecycle, FailedOpenShowsWhyAndTheNextSuccessClearsIt) {
  Rig rig;
  rig.link.failOpen = true;
  const auto mark = rig.journal.Mark();
  rig.controller.OnOpenClose();
  EXPECT_EQ(rig.journal.Lines(mark),
            (Lines{"0 Open 3 failed", "0 Hint Device or resource busy", "0 PopUpHint"}));
  EXPECT_EQ(rig.controller.Flags().currentPort, 3);
  EXPECT_EQ(rig.controller.Flags().portOpen, 0);
  rig.link.failOpen = false;
  rig.controller.OnOpenClose();
  EXPECT_EQ(rig.window.openPortHint, "");
  EXPECT_EQ(rig.controller.Flags().portOpen, 1);
}

TEST(ControllerLifecycle, CloseRescansAndIgnoresTheOldPort) {
  Rig rig({3, 8});
  rig.OpenAndSync();
  // A tick dispatched while Close waits still sees the port open.
  rig.link.whileClosing = [&] { rig.controller.OnTimer(TIMER_SYNC); };
  rig.ports.listed.erase(rig.ports.listed.begin());
  const auto mark = rig.journal.Mark();
  rig.controller.OnOpenClose();
  rig.FinishPauses();
  EXPECT_EQ(rig.journal.Lines(mark),
            (Lines{"500 Close", "500 Send 4E 53 02 02 A5", "500 Pause 400", "900 StopTimer 1",
                   "900 StopTimer 2", "900 StopTimer 3", "900 StopTimer 4", "900 ClearPortList",
                   "900 InsertPort 0 port8 (dev 8)", "900 SelectPort 0",
                   "900 SetText 1000 OpenPort", "900 EnablePortList 1"}));
  const ConnectionFlags flags = rig.controller.Flags();
  EXPECT_EQ(flags.portOpen + flags.synced + flags.currentPort, 0);

  const auto after = rig.journal.Mark();
  rig.Feed(ReplyCurrent(0, 0, 5), 3);
  rig.RunFor(milliseconds(2000));
  EXPECT_EQ(rig.journal.Lines(after), Lines{});
}

struct DeviceChangeCase {
  const char* name;
  bool open;
  bool stillPresent;
  bool reopens;
  Lines calls;  // from the device change on
  int portOpen;
  int synced;
  const char* caption;
};

TEST(ControllerLifecycle, DeviceChange) {
  const DeviceChangeCase cases[] = {
      // The list is refreshed: a port plugged in while closed must be offered.
      {"no port open",
       false,
       true,
       true,
       {"0 Pause 200", "200 Pause 200", "400 ClearPortList", "400 InsertPort 0 port3 (dev 3)",
        "400 SelectPort 0"},
       0,
       0,
       "OpenPort"},
      {"port still there",
       true,
       true,
       true,
       {"700 Pause 200", "900 Close", "900 Pause 200", "1100 Open 3", "1100 Hint ",
        "1100 StartMonitor"},
       1,
       1,
       "ClosePort"},
      {"port gone",
       true,
       false,
       true,
       {"700 Pause 200", "900 Close", "900 Pause 200", "1100 StopTimer 1", "1100 StopTimer 2",
        "1100 StopTimer 3", "1100 StopTimer 4", "1100 ClearPortList", "1100 SetText 1000 OpenPort",
        "1100 EnablePortList 1"},
       0,
       0,
       "OpenPort"},
      {"reopen refused",
       true,
       true,
       false,
       {"700 Pause 200", "900 Close", "900 Pause 200", "1100 Open 3 failed",
        "1100 Hint Device or resource busy", "1100 PopUpHint"},
       0,
       1,
       "ClosePort"},
  };
  for (const DeviceChangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    if (c.open) {
      rig.OpenAndSync();
      rig.RunFor(milliseconds(200));
    }
    if (!c.stillPresent) rig.ports.listed.clear();
    rig.link.failOpen = !c.reopens;
    const auto mark = rig.journal.Mark();
    rig.controller.OnDeviceChange();
    rig.FinishPauses();
    EXPECT_EQ(rig.journal.Lines(mark), c.calls);
    EXPECT_EQ(rig.controller.Flags().portOpen, c.portOpen);
    EXPECT_EQ(rig.controller.Flags().synced, c.synced);
    EXPECT_EQ(rig.window.GetText(IDC_OPEN_PORT), c.caption);
    EXPECT_EQ(rig.window.portListEnabled, c.caption == std::string("OpenPort"));
  }
}

TEST(ControllerLifecycle, WhileClosedADeviceChangeListsPortsThatCameAndKeepsTheChoice) {
  Rig rig({3, 8});
  rig.window.Choose(1);                                                      // port 8
  rig.ports.listed.insert(rig.ports.listed.begin(), {1, "port1", "dev 1"});  // plugged in
  rig.controller.OnDeviceChange();
  rig.FinishPauses();
  EXPECT_EQ(rig.window.ports, (Lines{"port1", "port3", "port8"}));
  EXPECT_EQ(rig.window.SelectedPort(), 2) << "the operator's choice is kept";
  rig.ports.listed.pop_back();  // port 8 unplugged
  rig.controller.OnDeviceChange();
  rig.FinishPauses();
  EXPECT_EQ(rig.window.ports, (Lines{"port1", "port3"}));
  EXPECT_EQ(rig.window.SelectedPort(), 0);
  EXPECT_EQ(rig.link.opens.size(), 0u);
}

TEST(ControllerLifecycle, PollingGoesOnAfterAReopenWithoutNewSync) {
  Rig rig;
  rig.OpenAndSync();
  rig.controller.OnDeviceChange();  // 500 .. 900
  const auto mark = rig.journal.Mark();
  rig.RunFor(milliseconds(1000));
  EXPECT_EQ(rig.Sent(mark), (Lines{"1000 Send 4E 53 02 00 A3", "1500 Send 4E 53 02 00 A3"}));
}

TEST(ControllerLifecycle, SuspendedSkipsTimerWorkAndReopensFromTheButton) {
  Rig rig;
  rig.OpenAndSync();
  rig.link.failOpen = true;
  rig.controller.OnDeviceChange();  // Suspended at 900
  rig.FinishPauses();
  auto mark = rig.journal.Mark();
  rig.window.DragSlider(1700);
  rig.RunFor(milliseconds(1100));
  EXPECT_EQ(rig.Sent(mark), Lines{});

  // The click on "ClosePort": its release restarts the poll, then the press reopens.
  rig.link.failOpen = false;
  mark = rig.journal.Mark();
  rig.controller.OnMouseRelease();
  rig.controller.OnOpenClose();
  EXPECT_EQ(rig.controller.Flags().portOpen, 1);
  EXPECT_EQ(rig.controller.Flags().synced, 0);
  rig.window.DragSlider(1000);
  rig.RunFor(milliseconds(600));
  EXPECT_EQ(rig.Sent(mark), (Lines{"2400 Send 4E 53 02 00 A3", "2600 Send 4E 53 02 02 A5"}));
  rig.Feed(ReplyAll(0, 0, 1000, 3000), 3);
  EXPECT_EQ(rig.journal.Lines(mark, "StartTimer 1"),
            (Lines{"2000 StartTimer 1 400", "2600 StartTimer 1 500"}));
  EXPECT_FALSE(rig.window.TimerRunning(TIMER_SYNC));
}

TEST(ControllerLifecycle, TransitionsAskedForWhileClosingRunAfterwardsNeverNested) {
  Rig rig;
  rig.OpenAndSync();
  int pumped = 0;
  rig.link.whileClosing = [&] {
    if (pumped++ > 0) return;
    rig.controller.OnDeviceChange();  // udev notice
    rig.controller.OnDeviceChange();  // the link's own port-lost notice
    rig.controller.OnOpenClose();     // the operator's click
  };
  const auto mark = rig.journal.Mark();
  rig.controller.OnDeviceChange();
  rig.FinishPauses();
  EXPECT_EQ(rig.link.nestedCloses, 0);
  EXPECT_EQ(rig.journal.Lines(mark, "Close"), (Lines{"700 Close", "1100 Close", "1300 Close"}));
  EXPECT_EQ(rig.journal.Lines(mark, "Open"), (Lines{"900 Open 3", "1300 Open 3"}));
  EXPECT_EQ(rig.controller.Flags().portOpen, 0);
  EXPECT_EQ(rig.window.GetText(IDC_OPEN_PORT), "OpenPort");
}

TEST(ControllerLifecycle, ACloseAskedForWhileClosingIsDroppedOnceThePortHasGone) {
  Rig rig({3, 8});
  rig.OpenAndSync();
  int pumped = 0;
  rig.link.whileClosing = [&] {
    if (pumped++ == 0) rig.controller.OnOpenClose();  // "ClosePort" pressed meanwhile
  };
  rig.ports.listed.erase(rig.ports.listed.begin());  // port 3 unplugged
  const auto mark = rig.journal.Mark();
  rig.controller.OnDeviceChange();
  rig.FinishPauses();
  // The press meant "close"; with nothing open any more it must not open port 8.
  EXPECT_EQ(rig.journal.Lines(mark, "Open"), Lines{});
  EXPECT_EQ(rig.controller.Flags().portOpen, 0);
  EXPECT_EQ(rig.window.GetText(IDC_OPEN_PORT), "OpenPort");
}

// Suspended: the reopen after a device change failed. Whatever comes next must
// lead somewhere: reopened, or Closed with the list usable again.
struct SuspendedCase {
  const char* name;
  bool viaButton;  // the operator's press, else another device change
  bool present;
  bool reopens;
  int portOpen;
  const char* caption;
};

TEST(ControllerLifecycle, SuspendedIsNoDeadEnd) {
  const SuspendedCase cases[] = {
      {"press, port gone", true, false, true, 0, "OpenPort"},
      {"device change, port gone", false, false, true, 0, "OpenPort"},
      {"press, port back", true, true, true, 1, "ClosePort"},
      {"device change, port back", false, true, true, 1, "ClosePort"},
      {"device change, still refused", false, true, false, 0, "ClosePort"},
  };
  for (const SuspendedCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig({3, 8});
    rig.OpenAndSync();
    rig.link.failOpen = true;
    rig.controller.OnDeviceChange();
    rig.FinishPauses();
    ASSERT_EQ(rig.window.GetText(IDC_OPEN_PORT), "ClosePort");
    ASSERT_FALSE(rig.window.portListEnabled);
    rig.link.failOpen = !c.reopens;
    if (!c.present) rig.ports.listed.erase(rig.ports.listed.begin());
    const auto opensBefore = rig.link.opens.size();
    if (c.viaButton) {
      rig.controller.OnOpenClose();
    } else {
      rig.controller.OnDeviceChange();
    }
    rig.FinishPauses();
    EXPECT_EQ(rig.controller.Flags().portOpen, c.portOpen);
    EXPECT_EQ(rig.window.GetText(IDC_OPEN_PORT), c.caption);
    EXPECT_EQ(rig.window.portListEnabled, c.caption == std::string("OpenPort"));
    EXPECT_EQ(rig.link.opens.size(), opensBefore + (c.present ? 1 : 0));
    if (!c.present) {
      EXPECT_EQ(rig.window.ports, Lines{"port8"});
      for (int id : {TIMER_POLL, TIMER_NUDGE_DOWN, TIMER_NUDGE_UP, TIMER_SYNC})
        EXPECT_FALSE(rig.window.TimerRunning(id)) << id;
    }
  }
}

TEST(ControllerLifecycle, HeldTransitionsWaitUntilReleasedAndRunInOrder) {
  Rig rig;
  rig.OpenAndSync();
  rig.controller.HoldTransitions();  // a box the monitor thread waits on is open
  const auto mark = rig.journal.Mark();
  rig.controller.OnDeviceChange();
  rig.controller.OnOpenClose();
  rig.controller.RunDeferredTransitions();  // still held: nothing may close the link
  EXPECT_EQ(rig.journal.Lines(mark), Lines{});
  rig.controller.ReleaseTransitions();
  EXPECT_EQ(rig.journal.Lines(mark), Lines{}) << "run later, not from inside the box";
  rig.controller.RunDeferredTransitions();
  rig.FinishPauses();
  EXPECT_EQ(rig.journal.Lines(mark, "Close"), (Lines{"700 Close", "900 Close"}));
  EXPECT_EQ(rig.controller.Flags().portOpen, 0);
  EXPECT_EQ(rig.window.GetText(IDC_OPEN_PORT), "OpenPort");
}

TEST(ControllerLifecycle, UnknownTimerIdsDoNothing) {
  Rig rig;
  rig.OpenAndSync();
  const auto mark = rig.journal.Mark();
  for (int id : {0, 5, -1, 1000}) rig.controller.OnTimer(id);
  EXPECT_EQ(rig.journal.Lines(mark), Lines{});
}

}  // namespace
}  // namespace quorvane::test
