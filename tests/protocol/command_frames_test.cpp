// Known-answer vectors for every command frame the panel sends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/command_frames.h"

namespace quorvane {
namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string out;
  char buf[4];
  for (auto b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", b);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

struct FrameCase {
  const char* name;
  CommandFrame frame;
  const char* expected;
};

class KnownFrames : public testing::TestWithParam<FrameCase> {};

TEST_P(KnownFrames, MatchByteForByte) {
  const auto& c = GetParam();
  EXPECT_EQ(Hex(c.frame.view()), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, KnownFrames,
    testing::Values(
        FrameCase{"ReadStatus", BuildReadStatus(), "4E 53 02 00 A3"},
        FrameCase{"ReadAll", BuildReadAll(), "4E 53 02 02 A5"},
        FrameCase{"CurrentZero", BuildSetCurrent(0, 0, 0), "4E 53 06 04 00 00 00 00 AB"},
        FrameCase{"Current1200", BuildSetCurrent(0, 0, 1200), "4E 53 06 04 00 00 04 B0 5F"},
        FrameCase{"Current1500Prefix", BuildSetCurrent(0x12, 0x34, 1500),
                  "4E 53 06 04 12 34 05 DC D2"},
        FrameCase{"CurrentFFFF", BuildSetCurrent(0, 0, 0xFFFF), "4E 53 06 04 00 00 FF FF A9"},
        FrameCase{"CurrentLow16Bits", BuildSetCurrent(0, 0, 0x12345), "4E 53 06 04 00 00 23 45 13"},
        FrameCase{"FrequencyZero", BuildSetFrequency(0), "4E 53 06 08 00 00 00 00 AF"},
        FrameCase{"Frequency12340", BuildSetFrequency(12340), "4E 53 06 08 00 00 30 34 13"},
        FrameCase{"FrequencyAllOnes", BuildSetFrequency(-1), "4E 53 06 08 FF FF FF FF AB"},
        FrameCase{"DurationZero", BuildSetDuration(0), "4E 53 03 0A 00 AE"},
        FrameCase{"Duration44", BuildSetDuration(44), "4E 53 03 0A 2C DA"},
        FrameCase{"SoftActiveOn", BuildSetSoftActive(1), "4E 53 03 26 01 CB"},
        FrameCase{"SoftActiveOff", BuildSetSoftActive(0), "4E 53 03 26 00 CA"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvane
