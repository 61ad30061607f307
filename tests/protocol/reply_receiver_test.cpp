// The reply receiver fed byte by byte: framing, validation, and what each
// reply does to the device values and the displays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/codes.h"
#include "protocol/control_ids.h"
#include "protocol/reply_receiver.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records every owner operation as one readable line.
class RecordingOwner : public ReplyOwner {
 public:
  std::vector<std::string> calls;
  void ShowText(int id, std::string_view text) override {
    calls.push_back("text " + std::to_string(id) + " " + std::string(text));
  }
  void SetSliderRange(std::int32_t m) override { calls.push_back("range " + std::to_string(m)); }
  void AddSliderTick(std::int32_t p) override { calls.push_back("tick " + std::to_string(p)); }
  void SetSliderPosition(std::int32_t p) override { calls.push_back("pos " + std::to_string(p)); }
  void PresentSoftActive(ColorRef color, std::string_view caption) override {
    calls.push_back("soft " + std::to_string(color) + " " + std::string(caption));
  }
  void OnFirstFullReply() override { calls.push_back("first"); }
};

// A reply frame with its length and checksum worked out here, independently
// of the library.
Bytes Reply(std::uint8_t code, const Bytes& payload) {
  Bytes f{'L', 'D', static_cast<std::uint8_t>(payload.size() + 2), code};
  f.insert(f.end(), payload.begin(), payload.end());
  unsigned sum = 0;
  for (auto b : f) sum += b;
  f.push_back(static_cast<std::uint8_t>(sum));
  return f;
}

class ReceiverTest : public testing::Test {
 protected:
  static constexpr unsigned kPort = 33;
  ReceiverState rx;
  DeviceState device;
  ReceiverContext context{kPort, false};
  RecordingOwner owner;

  void Feed(const Bytes& bytes, unsigned port = kPort) {
    for (auto b : bytes) OnSerialByte(rx, device, context, owner, b, port);
  }
};

TEST_F(ReceiverTest, AppliesTheKnownCurrentReply) {
  Feed({0x4C, 0x44, 0x06, 0x03, 0x00, 0x00, 0x04, 0xB0, 0x4D});
  EXPECT_EQ(device.currentSetpoint, 1200);
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"pos 1200", "text 1005 1200"}));
  EXPECT_EQ(rx.rxIndex, 0);
}

TEST_F(ReceiverTest, DropsFrameWithBadChecksum) {
  device.currentSetpoint = 77;
  Feed({0x4C, 0x44, 0x06, 0x03, 0x00, 0x00, 0x04, 0xB0, 0x4E});
  EXPECT_EQ(device.currentSetpoint, 77);
  EXPECT_TRUE(owner.calls.empty());
  EXPECT_EQ(rx.rxIndex, 0);
}

TEST_F(ReceiverTest, AcceptsOnlyLengthBytesTwoToNinetySeven) {
  for (int length = 0; length < 256; ++length) {
    rx = ReceiverState{};
    Feed({'L', 'D', static_cast<std::uint8_t>(length)});
    const bool accepted = length >= 2 && length <= 97;
    EXPECT_EQ(rx.rxIndex, accepted ? 3 : 0) << "length byte " << length;
  }
}

TEST_F(ReceiverTest, SkipsNoiseBeforeAFrame) {
  Feed({0x00, 0xFF, 'D', 'x', 'L', 'q'});
  Feed(Reply(RPL_DURATION, {42}));
  EXPECT_EQ(device.pulseSteps, 42);
}

TEST_F(ReceiverTest, DoesNotRecogniseTheSecondLOfLLD) {
  Bytes stream{'L'};
  const Bytes frame = Reply(RPL_DURATION, {42});
  stream.insert(stream.end(), frame.begin(), frame.end());
  Feed(stream);
  EXPECT_EQ(device.pulseSteps, 20);
}

TEST_F(ReceiverTest, NoiseThatOpensAFalseFrameSwallowsTheRealOne) {
  Feed({'L', 'D', 0x05});  // claims five more bytes
  Feed(Reply(RPL_DURATION, {42}));
  EXPECT_EQ(device.pulseSteps, 20);
  Feed(Reply(RPL_DURATION, {43}));  // found again once the false frame ends
  EXPECT_EQ(device.pulseSteps, 43);
}

TEST_F(ReceiverTest, IgnoresBytesFromOtherPortsEvenMidFrame) {
  const Bytes frame = Reply(RPL_DURATION, {42});
  Feed({frame.begin(), frame.begin() + 3});
  Feed({0x00, 'L', 0x17}, 34);
  Feed({frame.begin() + 3, frame.end()});
  EXPECT_EQ(device.pulseSteps, 42);

  context.currentPort = 0;  // after a rescan nothing is accepted
  Feed(Reply(RPL_DURATION, {9}), 33);
  EXPECT_EQ(device.pulseSteps, 42);
}

TEST_F(ReceiverTest, ConsumesUnknownCodesWithoutEffect) {
  Feed(Reply(0x05, {1, 2, 3}));
  EXPECT_TRUE(owner.calls.empty());
  Feed(Reply(RPL_DURATION, {42}));
  EXPECT_EQ(device.pulseSteps, 42);
}

struct LengthCase {
  std::uint8_t code;
  std::size_t payload;  // full layout's payload size
};

TEST_F(ReceiverTest, DropsFramesShorterThanTheirLayoutAndAppliesLongerOnes) {
  const LengthCase cases[] = {{RPL_STATUS, 10},   {RPL_ALL, 14},     {RPL_CURRENT, 4},
                              {RPL_FREQUENCY, 4}, {RPL_DURATION, 1}, {RPL_SOFT_ACTIVE, 1}};
  for (const auto& c : cases) {
    // Leave plausible-looking bytes in the buffer, as an earlier frame would.
    rx = ReceiverState{};
    rx.rxBuf.fill(0x11);
    owner.calls.clear();
    Feed(Reply(c.code, Bytes(c.payload - 1, 0x22)));
    EXPECT_TRUE(owner.calls.empty()) << "short frame of code " << int(c.code) << " was applied";

    Bytes longer(c.payload + 3, 0x01);
    Feed(Reply(c.code, longer));
    EXPECT_FALSE(owner.calls.empty()) << "long frame of code " << int(c.code) << " was dropped";
  }
}

TEST_F(ReceiverTest, StatusReplyRefreshesTheThreeReadings) {
  Feed(Reply(RPL_STATUS, {0xAA, 0xAA, 0x04, 0xB0, 0x09, 0xE6, 0xBB, 0xBB, 0x0F, 0xA0}));
  EXPECT_EQ(device.currentRead, 1200);
  EXPECT_EQ(device.seedTemp, 2534);
  EXPECT_EQ(device.pumpTemp, 4000);
  EXPECT_EQ(owner.calls,
            (std::vector<std::string>{"text 1010 1200", "text 1007 25.3", "text 1006 40.0"}));
}

TEST_F(ReceiverTest, FullReplyStoresEverythingInOrderAndSignalsTheFirstOnce) {
  const Bytes payload{0x12, 0x34, 0x04, 0xB0, 0x00, 0x00, 0x0B,
                      0xB8, 0x00, 0x00, 0x30, 0x34, 0x2C, 0x01};
  Feed(Reply(RPL_ALL, payload));
  EXPECT_EQ(device.currentPrefix[0], 0x12);
  EXPECT_EQ(device.currentPrefix[1], 0x34);
  EXPECT_EQ(device.currentMax, 3000);
  EXPECT_EQ(device.frequencyHz, 12340);
  EXPECT_EQ(device.pulseSteps, 44);
  EXPECT_EQ(device.softActive, 1);
  const std::vector<std::string> expected{
      "range 3000",      "tick 300",     "tick 600",    "tick 900",  "tick 1200", "tick 1500",
      "tick 1800",       "tick 2100",    "tick 2400",   "tick 2700", "pos 1200",  "text 1005 1200",
      "text 1009 12.34", "text 1012 44", "soft 255 ON", "first"};
  EXPECT_EQ(owner.calls, expected);

  context.synced = true;
  owner.calls.clear();
  Feed(Reply(RPL_ALL, payload));
  ASSERT_FALSE(owner.calls.empty());
  EXPECT_EQ(owner.calls.back(), "soft 255 ON") << "a second full reply must not re-sync";
}

TEST_F(ReceiverTest, SettingRepliesUpdateTheirFields) {
  Feed(Reply(RPL_FREQUENCY, {0xFF, 0xFF, 0xFF, 0xFF}));
  Feed(Reply(RPL_SOFT_ACTIVE, {0}));
  EXPECT_EQ(device.frequencyHz, -1);
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"text 1009 -0.00", "soft 16119285 OFF"}));
}

TEST_F(ReceiverTest, BackToBackFramesAreAllApplied) {
  Bytes stream;
  for (std::uint8_t v = 1; v <= 50; ++v) {
    const Bytes f = Reply(RPL_DURATION, {v});
    stream.insert(stream.end(), f.begin(), f.end());
  }
  Feed(stream);
  EXPECT_EQ(device.pulseSteps, 50);
  EXPECT_EQ(owner.calls.size(), 50u);
}

}  // namespace
}  // namespace quorvane
