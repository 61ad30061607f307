// The poll tick and the four setting commands: frames, repeats, pauses and refusals.
#include <gtest/gtest.h>

#include "controller/control_ids.h"
#include "tests/controller/controller_rig.h"

namespace quorvane::test {
namespace {

using Lines = std::vector<std::string>;
using Handler = void (Controller::*)();

struct SettingCase {
  const char* name;
  Handler handler;
  int editId;
  const char* typed;
  const char* frame;
};

const SettingCase kSettings[] = {
    {"current", &Controller::OnSetCurrent, IDC_CURRENT_EDIT, "1500", "4E 53 06 04 12 34 05 DC D2"},
    {"current above max", &Controller::OnSetCurrent, IDC_CURRENT_EDIT, "99999",
     "4E 53 06 04 12 34 0B B8 B4"},
    {"frequency", &Controller::OnSetFrequency, IDC_FREQUENCY_EDIT, "12.34",
     "4E 53 06 08 00 00 30 34 13"},
    {"duration", &Controller::OnSetDuration, IDC_DURATION_EDIT, "44", "4E 53 03 0A 2C DA"},
};

TEST(ControllerCommands, SettingIsSentTwiceAndThePollRestarts) {
  for (const SettingCase& c : kSettings) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.OpenAndSync(1000, 3000);
    rig.window.Type(c.editId, c.typed);
    const auto mark = rig.journal.Mark();
    (rig.controller.*c.handler)();
    rig.FinishPauses();
    const std::string frame = c.frame;
    EXPECT_EQ(rig.Sent(mark), (Lines{"500 Send " + frame, "600 Send " + frame}));
    EXPECT_EQ(rig.journal.Lines(mark, "StopTimer"), Lines{"500 StopTimer 1"});
    EXPECT_EQ(rig.journal.Lines(mark, "Pause"), Lines{"500 Pause 100"});
    EXPECT_EQ(rig.journal.Lines(mark, "StartTimer"), Lines{"600 StartTimer 1 500"});
    // The field keeps what the operator typed until the board answers.
    EXPECT_EQ(rig.journal.Lines(mark, "SetText"), Lines{});
    EXPECT_EQ(rig.window.GetText(c.editId), c.typed);
  }
}

TEST(ControllerCommands, TypedSetpointMovesTheSliderSoALateReplyIsNotUndone) {
  Rig rig;
  rig.OpenAndSync(1000, 3000);
  rig.window.Type(IDC_CURRENT_EDIT, "1500");
  const auto mark = rig.journal.Mark();
  rig.controller.OnSetCurrent();
  EXPECT_EQ(rig.controller.Device().currentSetpoint, 1500);
  EXPECT_EQ(rig.window.SliderPosition(), 1500);
  // No RPL_CURRENT yet: the next tick must only ask for the readings.
  rig.RunFor(milliseconds(600));
  EXPECT_EQ(rig.Sent(mark).back(), "1100 Send 4E 53 02 00 A3");
  EXPECT_EQ(rig.Sent(mark).size(), 3u);
}

TEST(ControllerCommands, RefusedBeforeSyncWhenClosedOrWithAnEmptyField) {
  const Handler handlers[] = {&Controller::OnSetCurrent, &Controller::OnSetFrequency,
                              &Controller::OnSetDuration, &Controller::OnSoftActive};
  enum class Setup { Closed, Waiting, SyncedEmptyFields };
  for (Setup setup : {Setup::Closed, Setup::Waiting, Setup::SyncedEmptyFields}) {
    for (Handler handler : handlers) {
      // The soft-active switch reads no field, so it acts once synced.
      if (setup == Setup::SyncedEmptyFields && handler == &Controller::OnSoftActive) continue;
      Rig rig;
      if (setup == Setup::Waiting) rig.controller.OnOpenClose();
      if (setup == Setup::SyncedEmptyFields) rig.OpenAndSync();
      // The full reply fills the fields; the operator may have emptied them since.
      for (int id : {IDC_CURRENT_EDIT, IDC_FREQUENCY_EDIT, IDC_DURATION_EDIT}) {
        rig.window.Type(id, setup == Setup::SyncedEmptyFields ? "" : "12");
      }
      const auto mark = rig.journal.Mark();
      (rig.controller.*handler)();
      EXPECT_EQ(rig.journal.Lines(mark), Lines{}) << "setup " << static_cast<int>(setup);
    }
  }
}

TEST(ControllerCommands, SoftActiveTogglesOnEachPressAndWaitsForTheBoardToShowIt) {
  Rig rig;
  rig.OpenAndSync();
  const auto mark = rig.journal.Mark();
  rig.controller.OnSoftActive();
  rig.controller.OnSoftActive();
  rig.FinishPauses();
  EXPECT_EQ(rig.journal.Lines(mark),
            (Lines{"500 StopTimer 1", "500 Send 4E 53 03 26 01 CB", "500 Pause 50",
                   "550 StartTimer 1 500", "550 StopTimer 1", "550 Send 4E 53 03 26 00 CA",
                   "550 Pause 50", "600 StartTimer 1 500"}));
  EXPECT_EQ(rig.controller.Device().softActive, 0);
}

TEST(ControllerCommands, PollSendsADraggedSliderOnceThenOnlyReadsStatus) {
  Rig rig;
  rig.OpenAndSync(1000, 3000);
  rig.window.DragSlider(2000);
  const auto mark = rig.journal.Mark();
  rig.RunFor(milliseconds(1000));
  EXPECT_EQ(rig.journal.Lines(mark), (Lines{"1000 Send 4E 53 06 04 12 34 07 D0 C8", "1000 Pause 50",
                                            "1050 Send 4E 53 02 00 A3", "1050 Pause 200",
                                            "1500 Send 4E 53 02 00 A3", "1500 Pause 200"}));
  EXPECT_EQ(rig.controller.Device().currentSetpoint, 2000);
}

TEST(ControllerCommands, BoardRepliesReachTheDisplaysAndTheNextSetCarriesTheirPrefix) {
  Rig rig;
  rig.OpenAndSync(1000, 3000);  // prefix 12 34
  auto mark = rig.journal.Mark();
  rig.Feed(ReplyCurrent(0x56, 0x78, 1200), 3);
  rig.Feed(ReplyCurrent(0x9A, 0xBC, 1300), 4);  // another port: ignored
  EXPECT_EQ(rig.journal.Lines(mark), (Lines{"500 SliderPos 1200", "500 SetText 1005 1200"}));
  EXPECT_EQ(rig.controller.Device().currentSetpoint, 1200);
  // The set-current command echoes the prefix of the board's latest reply.
  mark = rig.journal.Mark();
  rig.controller.StepUp();
  EXPECT_EQ(rig.Sent(mark), Lines{"500 Send 4E 53 06 04 56 78 04 B1 2E"});
}

// Replies the board may send with values beyond what the panel can show; none
// of them may lead the panel to send a setting on its own.
struct UnaskedCase {
  const char* name;
  std::vector<std::uint8_t> reply;
};

TEST(ControllerCommands, NoSettingGoesOutWithoutAnOperatorAction) {
  const UnaskedCase cases[] = {
      {"set-point above maximum", ReplyAll(0x12, 0x34, 1500, 1000)},
      {"maximum zero", ReplyAll(0x12, 0x34, 700, 0)},
      {"largest values", ReplyAll(0xFF, 0xFF, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFF, 0xFF)},
      {"current above maximum", ReplyCurrent(0x12, 0x34, 5000)},
      {"current largest", ReplyCurrent(0x12, 0x34, 0xFFFF)},
      {"status largest", ReplyFrame(0x00, std::vector<std::uint8_t>(10, 0xFF))},
      {"frequency largest", ReplyFrame(0x07, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"duration largest", ReplyFrame(0x09, {0xFF})},
      {"soft-active odd", ReplyFrame(0x25, {0x07})},
  };
  const char* kStatusQuery = "4E 53 02 00 A3";
  for (bool asFirstReply : {true, false}) {
    for (const UnaskedCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (asFirstReply ? ", first reply" : ", synced"));
      Rig rig;
      std::size_t mark;
      if (asFirstReply) {
        rig.controller.OnOpenClose();
        rig.RunFor(milliseconds(500));
        mark = rig.journal.Mark();
        rig.Feed(ReplyAll(0x12, 0x34, 1500, 1000), 3);
      } else {
        rig.OpenAndSync(1000, 3000);
        mark = rig.journal.Mark();
      }
      rig.Feed(c.reply, 3);
      rig.RunFor(milliseconds(2000));
      rig.Feed(ReplyAll(0x12, 0x34, 2500, 2000), 3);
      rig.Feed(c.reply, 3);
      rig.RunFor(milliseconds(2000));
      for (const std::string& line : rig.Sent(mark))
        EXPECT_TRUE(line.ends_with(kStatusQuery)) << line;
    }
  }
}

}  // namespace
}  // namespace quorvane::test
