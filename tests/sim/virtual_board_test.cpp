// VirtualBoard on a virtual clock, checked byte for byte and through the
// panel's own reply receiver: answers, framing, clamping and the journal.
#include <gtest/gtest.h>

#include <thread>

#include "protocol/codes.h"
#include "protocol/command_frames.h"
#include "sim/virtual_board.h"
#include "tests/sim/panel_side.h"
#include "tests/sim/virtual_clock.h"

namespace quorvane::sim {
namespace {

using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::PanelSide;
using testing_support::ToBytes;

class VirtualBoardTest : public testing::Test {
 protected:
  VirtualClock clock;
  VirtualBoard board{clock.Fn()};

  Bytes Exchange(const CommandFrame& frame) {
    board.Receive(frame.view());
    return board.TakeOutput();
  }
};

struct KnownAnswer {
  const char* name;
  CommandFrame command;
  Bytes reply;
};

// Replies of a fresh board (prefix 12 34, max 3000 mA, 20 kHz, 20 steps,
// readings at rest), with checksums worked out by hand.
TEST_F(VirtualBoardTest, AnswersEveryCommandWithTheExpectedBytes) {
  const KnownAnswer cases[] = {
      {"read status",
       BuildReadStatus(),
       {0x4C, 0x44, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0xC4, 0x00, 0x00, 0x09, 0xC4, 0x36}},
      {"read all",
       BuildReadAll(),
       {0x4C, 0x44, 0x10, 0x02, 0x12, 0x34, 0x00, 0x00, 0x00, 0x00, 0x0B, 0xB8, 0x00, 0x00, 0x4E,
        0x20, 0x14, 0x00, 0x2D}},
      {"set current",
       BuildSetCurrent(0x12, 0x34, 1200),
       {0x4C, 0x44, 0x06, 0x03, 0x12, 0x34, 0x04, 0xB0, 0x93}},
      {"set current above max is clamped",
       BuildSetCurrent(0x12, 0x34, 5000),
       {0x4C, 0x44, 0x06, 0x03, 0x12, 0x34, 0x0B, 0xB8, 0xA2}},
      {"set current with a wrong prefix keeps the set-point",
       BuildSetCurrent(0x00, 0x00, 1200),
       {0x4C, 0x44, 0x06, 0x03, 0x12, 0x34, 0x00, 0x00, 0xDF}},
      {"set frequency",
       BuildSetFrequency(12340),
       {0x4C, 0x44, 0x06, 0x07, 0x00, 0x00, 0x30, 0x34, 0x01}},
      {"set duration", BuildSetDuration(44), {0x4C, 0x44, 0x03, 0x09, 0x2C, 0xC8}},
      {"set soft-active", BuildSetSoftActive(1), {0x4C, 0x44, 0x03, 0x25, 0x01, 0xB9}},
  };
  for (const auto& c : cases) {
    VirtualBoard fresh{clock.Fn()};
    fresh.Receive(c.command.view());
    EXPECT_EQ(fresh.TakeOutput(), c.reply) << c.name;
  }
}

TEST_F(VirtualBoardTest, PanelReceiverAppliesEveryReplyAsTheBoardHoldsIt) {
  PanelSide panel;
  panel.Feed(Exchange(BuildReadAll()));
  panel.Feed(Exchange(
      BuildSetCurrent(panel.device.currentPrefix[0], panel.device.currentPrefix[1], 2100)));
  panel.Feed(Exchange(BuildSetFrequency(55550)));
  panel.Feed(Exchange(BuildSetDuration(200)));
  panel.Feed(Exchange(BuildSetSoftActive(1)));
  clock.Advance(3s);
  panel.Feed(Exchange(BuildReadStatus()));

  const BoardSnapshot s = board.Snapshot();
  EXPECT_EQ(panel.owner.fullReplies, 1);
  EXPECT_EQ(panel.device.currentPrefix,
            (std::array{s.parameters.currentPrefix[0], s.parameters.currentPrefix[1]}));
  EXPECT_EQ(panel.device.currentSetpoint, 2100);
  EXPECT_EQ(panel.device.currentMax, s.parameters.currentMax);
  EXPECT_EQ(panel.device.frequencyHz, 55550);
  EXPECT_EQ(panel.device.pulseSteps, 200);
  EXPECT_EQ(panel.device.softActive, 1);
  EXPECT_EQ(panel.device.currentRead, s.readings.currentRead);
  EXPECT_GT(panel.device.currentRead, 0);
  EXPECT_EQ(panel.device.seedTemp, s.readings.seedTemp);
  EXPECT_EQ(panel.device.pumpTemp, s.readings.pumpTemp);
}

TEST_F(VirtualBoardTest, SetCurrentClampsAndChecksTheEchoedPrefix) {
  struct Case {
    std::uint8_t prefix0, prefix1;
    std::int32_t sent;
    std::uint16_t stored;
    CommandVerdict verdict;
  };
  const Case cases[] = {
      {0x12, 0x34, 0, 0, CommandVerdict::kApplied},
      {0x12, 0x34, 3000, 3000, CommandVerdict::kApplied},
      {0x12, 0x34, 3001, 3000, CommandVerdict::kApplied},
      {0x12, 0x34, 0xFFFF, 3000, CommandVerdict::kApplied},
      {0x12, 0x34, 777, 777, CommandVerdict::kApplied},
      {0x34, 0x12, 1500, 777, CommandVerdict::kPrefixMismatch},
      {0x00, 0x00, 1500, 777, CommandVerdict::kPrefixMismatch},
  };
  for (const auto& c : cases) {
    const Bytes reply = Exchange(BuildSetCurrent(c.prefix0, c.prefix1, c.sent));
    EXPECT_EQ(board.Snapshot().parameters.currentSetpoint, c.stored) << "sent " << c.sent;
    EXPECT_EQ(board.Journal().back().verdict, c.verdict) << "sent " << c.sent;
    ASSERT_EQ(reply.size(), 9u);
    EXPECT_EQ((reply[6] << 8) | reply[7], c.stored) << "sent " << c.sent;
  }
}

// Garbage before a valid CMD_READ_ALL: the garbage is skipped whole and the
// frame behind it still answered.
TEST_F(VirtualBoardTest, SkipsBadFramesAndFindsTheFrameBehindThem) {
  struct Case {
    const char* name;
    Bytes garbage;
    std::uint64_t checksumErrors;
  };
  const Case cases[] = {
      {"wrong second header byte", {0x4E, 0x54, 0x02, 0x02, 0xA6}, 0},
      {"bad checksum", {0x4E, 0x53, 0x02, 0x02, 0xA6}, 1},
      {"length 0", {0x4E, 0x53, 0x00}, 0},
      {"length 1", {0x4E, 0x53, 0x01}, 0},
      {"length too large", {0x4E, 0x53, 0xC8}, 0},
      {"reply header", {0x4C, 0x44, 0x03, 0x09, 0x2C, 0xC8}, 0},
      {"repeated N", {0x4E, 0x4E}, 0},
      {"truncated set-current", {0x4E, 0x53, 0x06, 0x04, 0x12}, 1},
      {"noise", {0x00, 0xFF, 0x53, 0x4E, 0x0A}, 0},
  };
  const Bytes expected = Exchange(BuildReadAll());
  for (const auto& c : cases) {
    VirtualBoard fresh{clock.Fn()};
    Bytes stream = c.garbage;
    const Bytes readAll = ToBytes(BuildReadAll().view());
    stream.insert(stream.end(), readAll.begin(), readAll.end());
    fresh.Receive(stream);
    EXPECT_EQ(fresh.TakeOutput(), expected) << c.name;
    const auto journal = fresh.Journal();
    ASSERT_EQ(journal.size(), 1u) << c.name;
    EXPECT_EQ(journal[0].raw, readAll) << c.name;
    EXPECT_EQ(fresh.Counters().bytesDiscarded, c.garbage.size()) << c.name;
    EXPECT_EQ(fresh.Counters().checksumErrors, c.checksumErrors) << c.name;
  }
}

TEST_F(VirtualBoardTest, FrameSplitIntoSingleBytesIsAssembled) {
  const CommandFrame frame = BuildSetFrequency(98760);
  for (std::size_t i = 0; i < frame.size; ++i) {
    board.Receive(std::span(frame.data() + i, 1));
    if (i + 1 < frame.size) {
      EXPECT_TRUE(board.TakeOutput().empty()) << "after byte " << i;
    }
  }
  PanelSide panel;
  panel.Feed(board.TakeOutput());
  EXPECT_EQ(panel.device.frequencyHz, 98760);
}

TEST_F(VirtualBoardTest, ChecksumCorrectFramesWithWrongLengthOrCodeAreJournaledButIgnored) {
  struct Case {
    Bytes frame;
    CommandVerdict verdict;
  };
  const Case cases[] = {
      {{0x4E, 0x53, 0x03, 0x00, 0x00, 0xA4}, CommandVerdict::kWrongLength},
      {{0x4E, 0x53, 0x02, 0x0A, 0xAD}, CommandVerdict::kWrongLength},
      {{0x4E, 0x53, 0x02, 0x05, 0xA8}, CommandVerdict::kUnknownCode},
  };
  for (const auto& c : cases) {
    VirtualBoard fresh{clock.Fn()};
    fresh.Receive(c.frame);
    EXPECT_TRUE(fresh.TakeOutput().empty());
    ASSERT_EQ(fresh.JournalSize(), 1u);
    EXPECT_EQ(fresh.Journal()[0].verdict, c.verdict);
    EXPECT_EQ(fresh.Snapshot().parameters.pulseSteps, 20);
  }
}

TEST_F(VirtualBoardTest, JournalKeepsTimeCodePayloadAndRawFrame) {
  clock.Advance(1500ms);
  const CommandFrame frame = BuildSetFrequency(0x01020304);
  board.Receive(frame.view());
  const auto journal = board.Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].time, clock.now);
  EXPECT_EQ(journal[0].code, CMD_SET_FREQUENCY);
  EXPECT_EQ(journal[0].payload, (Bytes{0x01, 0x02, 0x03, 0x04}));
  EXPECT_EQ(journal[0].raw, ToBytes(frame.view()));
}

TEST_F(VirtualBoardTest, JournalWaitWakesWhenAnotherThreadDeliversAFrame) {
  EXPECT_FALSE(board.WaitForJournalSize(1, 1ms));
  std::thread sender([&] {
    for (int i = 0; i < 3; ++i) board.Receive(BuildReadStatus().view());
  });
  EXPECT_TRUE(board.WaitForJournalSize(3, 10s));
  sender.join();
  EXPECT_EQ(board.Counters().commands, 3u);
}

TEST_F(VirtualBoardTest, ObserverSeesCommandsDiscardedBytesAndReplies) {
  std::vector<WireKind> kinds;
  board.SetObserver([&](const WireEvent& e) { kinds.push_back(e.kind); });
  board.Receive(Bytes{0x01, 0x02});
  Exchange(BuildReadAll());
  EXPECT_EQ(kinds, (std::vector{WireKind::kDiscarded, WireKind::kCommand, WireKind::kReply}));
}

}  // namespace
}  // namespace quorvane::sim
