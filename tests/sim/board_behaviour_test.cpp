// The virtual board over virtual time: readings that follow the set-point and
// each misbehaviour switch doing what it says, seen by the panel's receiver.
#include <gtest/gtest.h>

#include <algorithm>

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
using testing_support::SumOf;

class BoardBehaviourTest : public testing::Test {
 protected:
  VirtualClock clock;

  static void Send(VirtualBoard& board, const CommandFrame& frame) { board.Receive(frame.view()); }

  static void SetCurrentOn(VirtualBoard& board, std::int32_t milliamperes) {
    Send(board, BuildSetCurrent(0x12, 0x34, milliamperes));
    Send(board, BuildSetSoftActive(1));
    board.TakeOutput();
  }
};

TEST_F(BoardBehaviourTest, CurrentRampsOnlyWhileSoftActiveAndFallsBackToZero) {
  VirtualBoard board{clock.Fn()};
  Send(board, BuildSetCurrent(0x12, 0x34, 1000));
  clock.Advance(5s);
  EXPECT_EQ(board.Snapshot().readings.currentRead, 0) << "no current while soft-active is off";

  Send(board, BuildSetSoftActive(1));
  struct Step {
    std::chrono::milliseconds after;
    std::int32_t currentRead;
  };
  // 50 mA per 100 ms up to the set-point, then held there.
  const Step rising[] = {{99ms, 0}, {1ms, 50}, {900ms, 500}, {1s, 1000}, {10s, 1000}};
  for (const auto& s : rising) {
    clock.Advance(s.after);
    EXPECT_EQ(board.Snapshot().readings.currentRead, s.currentRead) << "after +" << s.after.count();
  }

  Send(board, BuildSetSoftActive(0));
  clock.Advance(500ms);
  EXPECT_EQ(board.Snapshot().readings.currentRead, 250);  // 150 mA per 100 ms down
  clock.Advance(200ms);
  EXPECT_EQ(board.Snapshot().readings.currentRead, 0);
}

TEST_F(BoardBehaviourTest, LowerSetPointBringsTheCurrentDown) {
  VirtualBoard board{clock.Fn()};
  SetCurrentOn(board, 2000);
  clock.Advance(60s);
  Send(board, BuildSetCurrent(0x12, 0x34, 500));
  clock.Advance(60s);
  EXPECT_EQ(board.Snapshot().readings.currentRead, 500);
}

TEST_F(BoardBehaviourTest, PumpTemperatureRisesTowardItsCeilingAndCoolsBack) {
  struct Case {
    std::uint16_t currentMax;
    std::int32_t setpoint;
    std::int32_t settled;  // hundredths of a degree
  };
  const Case cases[] = {
      {3000, 1000, 3500}, {3000, 3000, 5500}, {6000, 6000, 6000},  // capped by the ceiling
  };
  for (const auto& c : cases) {
    BoardConfig config;
    config.parameters.currentMax = c.currentMax;
    VirtualBoard board{clock.Fn(), config};
    SetCurrentOn(board, c.setpoint);
    std::int32_t last = board.Snapshot().readings.pumpTemp;
    for (int second = 0; second < 120; ++second) {
      clock.Advance(1s);
      const std::int32_t now = board.Snapshot().readings.pumpTemp;
      ASSERT_GE(now, last) << "set-point " << c.setpoint << " at " << second << " s";
      ASSERT_LE(now, c.settled) << "set-point " << c.setpoint;
      last = now;
    }
    EXPECT_EQ(last, c.settled) << "set-point " << c.setpoint;

    Send(board, BuildSetSoftActive(0));
    clock.Advance(120s);
    EXPECT_EQ(board.Snapshot().readings.pumpTemp, kAmbientTemp) << "set-point " << c.setpoint;
  }
}

TEST_F(BoardBehaviourTest, SeedTemperatureStaysNearAmbientAndRepeatsForASeed) {
  auto trace = [&](std::uint32_t seed) {
    VirtualClock local;
    BoardConfig config;
    config.seed = seed;
    VirtualBoard board{local.Fn(), config};
    SetCurrentOn(board, 3000);
    std::vector<std::int32_t> temps;
    for (int i = 0; i < 200; ++i) {
      local.Advance(100ms);
      temps.push_back(board.Snapshot().readings.seedTemp);
    }
    return temps;
  };
  const auto a = trace(7);
  EXPECT_EQ(a, trace(7));
  EXPECT_NE(a, trace(8));
  EXPECT_GE(*std::min_element(a.begin(), a.end()), 2500 - kSeedNoise);
  EXPECT_LE(*std::max_element(a.begin(), a.end()), 2500 + kSeedNoise);
  EXPECT_NE(*std::min_element(a.begin(), a.end()), *std::max_element(a.begin(), a.end()));
}

TEST_F(BoardBehaviourTest, SilentBoardAppliesCommandsButNeverAnswers) {
  BoardConfig config;
  config.switches.silent = true;
  VirtualBoard board{clock.Fn(), config};
  Send(board, BuildReadAll());
  Send(board, BuildSetDuration(99));
  clock.Advance(10s);
  EXPECT_TRUE(board.TakeOutput().empty());
  EXPECT_FALSE(board.NextDue().has_value());
  EXPECT_EQ(board.Snapshot().parameters.pulseSteps, 99);
  EXPECT_EQ(board.Counters().repliesWithheld, 2u);
}

TEST_F(BoardBehaviourTest, DelayedReplyLeavesExactlyAfterTheDelayInOrder) {
  BoardConfig config;
  config.switches.replyDelay = 300ms;
  VirtualBoard board{clock.Fn(), config};
  const SimTime sent = clock.now;
  Send(board, BuildSetDuration(5));
  clock.Advance(100ms);
  Send(board, BuildSetSoftActive(1));
  EXPECT_EQ(board.NextDue(), sent + 300ms);

  clock.Advance(199ms);
  EXPECT_TRUE(board.TakeOutput().empty());
  clock.Advance(1ms);
  Bytes out = board.TakeOutput();
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[3], RPL_DURATION);
  clock.Advance(100ms);
  out = board.TakeOutput();
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[3], RPL_SOFT_ACTIVE);
}

TEST_F(BoardBehaviourTest, NoiseFlowsAtItsRateWithoutHidingAnyReply) {
  BoardConfig config;
  config.switches.noiseBytesPerSecond = 200;
  VirtualBoard board{clock.Fn(), config};
  PanelSide panel;
  Bytes all;
  for (int i = 0; i < 50; ++i) {
    clock.Advance(100ms);
    Send(board, BuildSetDuration(static_cast<std::uint8_t>(i)));
    const Bytes out = board.TakeOutput();
    all.insert(all.end(), out.begin(), out.end());
    panel.Feed(out);
    ASSERT_EQ(panel.device.pulseSteps, i) << "reply " << i << " lost in the noise";
  }
  EXPECT_EQ(board.Counters().noiseBytes, 1000u);  // 5 s at 200 bytes a second
  EXPECT_EQ(all.size(), 1000u + 50 * 6);
  // Only the 50 replies carry 'L'.
  EXPECT_EQ(std::count(all.begin(), all.end(), kReplyHeader0), 50);
}

TEST_F(BoardBehaviourTest, NoiseIsScheduledSoAnIdleBoardWakesForIt) {
  BoardConfig config;
  config.switches.noiseBytesPerSecond = 4;
  VirtualBoard board{clock.Fn(), config};
  EXPECT_EQ(board.NextDue(), clock.now + 250ms);
  clock.Advance(250ms);
  EXPECT_EQ(board.TakeOutput().size(), 1u);
  board.SetSwitches({});
  clock.Advance(10s);
  EXPECT_TRUE(board.TakeOutput().empty());
  EXPECT_FALSE(board.NextDue().has_value());
}

TEST_F(BoardBehaviourTest, CorruptedChecksumsAreRejectedByThePanel) {
  struct Case {
    double probability;
    std::uint64_t minCorrupted, maxCorrupted;  // of 400 replies
  };
  const Case cases[] = {{0.0, 0, 0}, {1.0, 400, 400}, {0.25, 60, 140}};
  for (const auto& c : cases) {
    BoardConfig config;
    config.switches.corruptChecksumProbability = c.probability;
    VirtualBoard board{clock.Fn(), config};
    std::uint64_t badSums = 0, applied = 0;
    for (int i = 0; i < 400; ++i) {
      PanelSide panel;
      Send(board, BuildSetDuration(1));
      const Bytes out = board.TakeOutput();
      ASSERT_EQ(out.size(), 6u);
      badSums += SumOf(std::span(out).first(5)) != out.back();
      panel.Feed(out);
      applied += panel.device.pulseSteps == 1;
    }
    EXPECT_EQ(board.Counters().corruptedReplies, badSums) << "p=" << c.probability;
    EXPECT_EQ(applied, 400 - badSums) << "p=" << c.probability;
    EXPECT_GE(badSums, c.minCorrupted) << "p=" << c.probability;
    EXPECT_LE(badSums, c.maxCorrupted) << "p=" << c.probability;
  }
}

TEST_F(BoardBehaviourTest, ShortFramesAreWellFormedButShorterThanTheirLayout) {
  struct Case {
    CommandFrame command;
    std::uint8_t fullLength;  // the length byte of the full reply
  };
  const Case cases[] = {
      {BuildReadStatus(), 12},      {BuildReadAll(), 16},     {BuildSetCurrent(0x12, 0x34, 100), 6},
      {BuildSetFrequency(1000), 6}, {BuildSetDuration(3), 3}, {BuildSetSoftActive(1), 3},
  };
  BoardConfig config;
  config.switches.shortFrames = true;
  for (const auto& c : cases) {
    VirtualBoard board{clock.Fn(), config};
    Send(board, c.command);
    const Bytes out = board.TakeOutput();
    ASSERT_GE(out.size(), 5u);
    EXPECT_EQ(out[2], (c.fullLength - 2) / 2 + 2) << "code " << int(out[3]);
    EXPECT_EQ(out.size(), out[2] + 3u);
    EXPECT_EQ(SumOf(std::span(out).first(out.size() - 1)), out.back());
    // The panel refuses to fill the missing fields from stale buffer bytes.
    PanelSide panel;
    panel.Feed(out);
    EXPECT_EQ(panel.owner.replies, 0) << "code " << int(out[3]);
    EXPECT_EQ(panel.owner.fullReplies, 0);
  }
}

TEST_F(BoardBehaviourTest, NeverSendAllWithholdsOnlyTheFullReply) {
  BoardConfig config;
  config.switches.neverSendAll = true;
  VirtualBoard board{clock.Fn(), config};
  Send(board, BuildReadAll());
  EXPECT_TRUE(board.TakeOutput().empty());
  Send(board, BuildReadStatus());
  const Bytes out = board.TakeOutput();
  ASSERT_EQ(out.size(), 12 + 3u);
  EXPECT_EQ(out[3], RPL_STATUS);
}

TEST_F(BoardBehaviourTest, SameSeedGivesTheSameFaultyStream) {
  auto run = [](std::uint32_t seed) {
    VirtualClock local;
    BoardConfig config;
    config.seed = seed;
    config.switches.noiseBytesPerSecond = 50;
    config.switches.corruptChecksumProbability = 0.5;
    VirtualBoard board{local.Fn(), config};
    Bytes all;
    for (int i = 0; i < 20; ++i) {
      local.Advance(100ms);
      board.Receive(BuildReadStatus().view());
      const Bytes out = board.TakeOutput();
      all.insert(all.end(), out.begin(), out.end());
    }
    return all;
  };
  EXPECT_EQ(run(3), run(3));
  EXPECT_NE(run(3), run(4));
}

TEST_F(BoardBehaviourTest, DropLinkForgetsPartialCommandsAndUnsentReplies) {
  BoardConfig config;
  config.switches.replyDelay = 1s;
  VirtualBoard board{clock.Fn(), config};
  Send(board, BuildReadAll());
  const CommandFrame half = BuildReadStatus();
  board.Receive(half.view().first(3));
  board.DropLink();
  board.Receive(half.view().subspan(3));
  clock.Advance(2s);
  EXPECT_TRUE(board.TakeOutput().empty());
  EXPECT_EQ(board.JournalSize(), 1u);
}

}  // namespace
}  // namespace quorvane::sim
