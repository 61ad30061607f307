// The wire format's typed values against frames written out by hand: encoding
// gives exactly these bytes and decoding gives the values back.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/command_frames.h"
#include "protocol/wire_format.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ReplyCase {
  const char* name;
  Reply reply;
  Bytes frame;
};

TEST(WireFormat, RepliesEncodeToTheKnownBytesAndDecodeBack) {
  const ReplyCase cases[] = {
      {"status",
       StatusReply{1200, 2501, 3700},
       {0x4C, 0x44, 0x0C, 0x00, 0, 0, 0x04, 0xB0, 0x09, 0xC5, 0, 0, 0x0E, 0x74, 0xA0}},
      {"all",
       AllReply{{0x12, 0x34}, 1200, 3000, 12340, 20, 1},
       {0x4C, 0x44, 0x10, 0x02, 0x12, 0x34, 0x04, 0xB0, 0, 0, 0x0B, 0xB8, 0, 0, 0x30, 0x34, 0x14,
        0x01, 0xD8}},
      {"current",
       CurrentReply{{0x00, 0x00}, 1200},
       {0x4C, 0x44, 0x06, 0x03, 0x00, 0x00, 0x04, 0xB0, 0x4D}},
      {"frequency", FrequencyReply{12340}, {0x4C, 0x44, 0x06, 0x07, 0, 0, 0x30, 0x34, 0x01}},
      {"duration", DurationReply{44}, {0x4C, 0x44, 0x03, 0x09, 0x2C, 0xC8}},
      {"soft-active", SoftActiveReply{0}, {0x4C, 0x44, 0x03, 0x25, 0x00, 0xB8}},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncodeReply(c.reply).ToVector(), c.frame);
    const std::optional<Reply> decoded = DecodeReply(c.frame);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(EncodeReply(*decoded).ToVector(), c.frame);
    // One byte short of its layout: nothing, not a half-read value.
    Bytes shorter(c.frame.begin(), c.frame.end() - 2);
    shorter[2] = static_cast<std::uint8_t>(shorter[2] - 1);
    EXPECT_FALSE(DecodeReply(shorter).has_value());
  }
}

TEST(WireFormat, CommandsDecodeToWhatTheyWereBuiltFrom) {
  const auto current = DecodeCommand(BuildSetCurrent(0xAB, 0xCD, 0x1234).view());
  ASSERT_TRUE(current && std::holds_alternative<SetCurrentCommand>(*current));
  const auto& set = std::get<SetCurrentCommand>(*current);
  EXPECT_EQ(set.prefix, (CurrentPrefix{0xAB, 0xCD}));
  EXPECT_EQ(set.setpoint, 0x1234);
  const auto frequency = DecodeCommand(BuildSetFrequency(-10).view());
  ASSERT_TRUE(frequency && std::holds_alternative<SetFrequencyCommand>(*frequency));
  EXPECT_EQ(std::get<SetFrequencyCommand>(*frequency).hertz, 0xFFFFFFF6u);
  // A frame shorter than its layout is no command.
  const Bytes truncated{0x4E, 0x53, 0x04, 0x04, 0x00, 0x00, 0x58};
  EXPECT_FALSE(DecodeCommand(truncated).has_value());
}

}  // namespace
}  // namespace quorvane
