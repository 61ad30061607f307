// The simulator's log text: decoded fields, and frames too short to hold
// them described without reading past their end.
#include <gtest/gtest.h>

#include "protocol/command_frames.h"
#include "sim/frame_text.h"
#include "tests/sim/panel_side.h"

namespace quorvane::sim {
namespace {

using testing_support::Bytes;
using testing_support::ToBytes;

struct TextCase {
  Bytes frame;
  std::string text;
};

TEST(FrameTextTest, DescribesCommands) {
  const TextCase cases[] = {
      {ToBytes(BuildReadStatus().view()), "CMD_READ_STATUS"},
      {ToBytes(BuildReadAll().view()), "CMD_READ_ALL"},
      {ToBytes(BuildSetCurrent(0x12, 0xAB, 1200).view()),
       "CMD_SET_CURRENT prefix=12 AB setpoint=1200"},
      {ToBytes(BuildSetFrequency(-1).view()), "CMD_SET_FREQUENCY hz=4294967295"},
      {ToBytes(BuildSetDuration(255).view()), "CMD_SET_DURATION steps=255"},
      {ToBytes(BuildSetSoftActive(1).view()), "CMD_SET_SOFT_ACTIVE state=1"},
      {{0x4E, 0x53, 0x02, 0x04, 0xA9}, "CMD_SET_CURRENT (too short for its fields)"},
      {{0x4E, 0x53, 0x02, 0x26, 0xC9}, "CMD_SET_SOFT_ACTIVE (too short for its fields)"},
      {{0x4E, 0x53, 0x02, 0x05, 0xA8}, "unknown command code 0x05"},
      {{0x4E, 0x53}, "(not a frame)"},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeCommand(c.frame), c.text);
}

TEST(FrameTextTest, DescribesReplies) {
  const TextCase cases[] = {
      {{0x4C, 0x44, 0x0C, 0x00, 0, 0, 0x04, 0xB0, 0x09, 0xC5, 0, 0, 0x0E, 0x74, 0x00},
       "RPL_STATUS current=1200 seed=25.01 pump=37.00"},
      {{0x4C, 0x44, 0x10, 0x02, 0x12, 0x34, 0x04, 0xB0, 0, 0, 0x0B, 0xB8, 0, 0, 0x30, 0x34, 0x14,
        0x01, 0x00},
       "RPL_ALL prefix=12 34 setpoint=1200 max=3000 hz=12340 steps=20 soft=1"},
      {{0x4C, 0x44, 0x06, 0x03, 0x00, 0x00, 0x04, 0xB0, 0x4D},
       "RPL_CURRENT prefix=00 00 setpoint=1200"},
      {{0x4C, 0x44, 0x06, 0x07, 0, 0, 0x30, 0x34, 0x01}, "RPL_FREQUENCY hz=12340"},
      {{0x4C, 0x44, 0x03, 0x09, 0x2C, 0xC8}, "RPL_DURATION steps=44"},
      {{0x4C, 0x44, 0x03, 0x25, 0x00, 0xB8}, "RPL_SOFT_ACTIVE state=0"},
      {{0x4C, 0x44, 0x02, 0x02, 0x92}, "RPL_ALL (too short for its fields)"},
      {{0x4C, 0x44, 0x07, 0x00, 1, 2, 3, 4, 5, 0x00}, "RPL_STATUS (too short for its fields)"},
      {{0x4C, 0x44, 0x02, 0x05, 0x95}, "unknown reply code 0x05"},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeReply(c.frame), c.text);
}

TEST(FrameTextTest, LogLinesShowDirectionHexAndWhatBecameOfTheFrame) {
  WireEvent mismatch{{}, WireKind::kCommand, ToBytes(BuildSetCurrent(0, 0, 1).view())};
  mismatch.verdict = CommandVerdict::kPrefixMismatch;
  WireEvent faulty{{}, WireKind::kReply, {0x4C, 0x44, 0x02, 0x09, 0x00}};
  faulty.corrupted = faulty.shortened = true;
  const std::pair<WireEvent, std::string> cases[] = {
      {mismatch,
       "<- 4E 53 06 04 00 00 00 01 AC  CMD_SET_CURRENT prefix=00 00 setpoint=1  [wrong prefix: "
       "set-point kept]"},
      {faulty,
       "-> 4C 44 02 09 00  RPL_DURATION (too short for its fields)  [short frame]  [checksum "
       "corrupted]"},
      {{{}, WireKind::kDiscarded, {0x01, 0xFF}}, "<- 01 FF  skipped: not part of a valid frame"},
      {{{}, WireKind::kNoise, {0x00}}, "-> 00  noise"},
  };
  for (const auto& [event, text] : cases) EXPECT_EQ(DescribeWireEvent(event), text);
}

}  // namespace
}  // namespace quorvane::sim
