// The reply receiver fed byte by byte: framing, validation, and the typed
// reply each valid frame becomes.
#include <algorithm>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/codes.h"
#include "protocol/reply_receiver.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records every reply as one readable line.
class RecordingOwner : public ReplyOwner {
 public:
  std::vector<std::string> calls;
  void OnReply(const Reply& reply) override { calls.push_back(Describe(reply)); }

  static std::string Describe(const Reply& reply) {
    struct Text {
      std::string operator()(const StatusReply& r) const {
        return "status " + N(r.measured) + " " + N(r.seed) + " " + N(r.pump);
      }
      std::string operator()(const AllReply& r) const {
        return "all " + N(r.prefix[0]) + " " + N(r.prefix[1]) + " " + N(r.setpoint) + " " +
               N(r.maximum) + " " + N(r.hertz) + " " + N(r.steps) + " " + N(r.softActive);
      }
      std::string operator()(const CurrentReply& r) const {
        return "current " + N(r.prefix[0]) + " " + N(r.prefix[1]) + " " + N(r.setpoint);
      }
      std::string operator()(const FrequencyReply& r) const { return "frequency " + N(r.hertz); }
      std::string operator()(const DurationReply& r) const { return "duration " + N(r.steps); }
      std::string operator()(const SoftActiveReply& r) const { return "soft " + N(r.state); }
      static std::string N(unsigned long v) { return std::to_string(v); }
    };
    return std::visit(Text{}, reply);
  }
};

// A reply frame with its length and checksum worked out here, independently
// of the library.
Bytes Reply(std::uint8_t code, const Bytes& payload) {
  // Sized up front: GCC 12 takes an insert into a four-byte vector for an
  // overflow (-Warray-bounds) in the Windows cross build.
  Bytes f(4 + payload.size());
  f[0] = 'L';
  f[1] = 'D';
  f[2] = static_cast<std::uint8_t>(payload.size() + 2);
  f[3] = code;
  std::copy(payload.begin(), payload.end(), f.begin() + 4);
  unsigned sum = 0;
  for (auto b : f) sum += b;
  f.push_back(static_cast<std::uint8_t>(sum));
  return f;
}

class ReceiverTest : public testing::Test {
 protected:
  static constexpr unsigned kPort = 33;
  ReceiverState rx;
  ReceiverContext context{kPort};
  RecordingOwner owner;

  void Feed(const Bytes& bytes, unsigned port = kPort) {
    for (auto b : bytes) OnSerialByte(rx, context, owner, b, port);
  }
  std::string Last() const { return owner.calls.empty() ? "" : owner.calls.back(); }
};

TEST_F(ReceiverTest, HandsOverTheKnownCurrentReply) {
  Feed({0x4C, 0x44, 0x06, 0x03, 0x00, 0x00, 0x04, 0xB0, 0x4D});
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"current 0 0 1200"}));
  EXPECT_EQ(rx.rxIndex, 0);
}

TEST_F(ReceiverTest, DropsFrameWithBadChecksum) {
  Feed({0x4C, 0x44, 0x06, 0x03, 0x00, 0x00, 0x04, 0xB0, 0x4E});
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
  EXPECT_EQ(Last(), "duration 42");
}

TEST_F(ReceiverTest, DoesNotRecogniseTheSecondLOfLLD) {
  Bytes stream{'L'};
  const Bytes frame = Reply(RPL_DURATION, {42});
  stream.insert(stream.end(), frame.begin(), frame.end());
  Feed(stream);
  EXPECT_TRUE(owner.calls.empty());
}

TEST_F(ReceiverTest, NoiseThatOpensAFalseFrameSwallowsTheRealOne) {
  Feed({'L', 'D', 0x05});  // claims five more bytes
  Feed(Reply(RPL_DURATION, {42}));
  EXPECT_TRUE(owner.calls.empty());
  Feed(Reply(RPL_DURATION, {43}));  // found again once the false frame ends
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"duration 43"}));
}

TEST_F(ReceiverTest, IgnoresBytesFromOtherPortsEvenMidFrame) {
  const Bytes frame = Reply(RPL_DURATION, {42});
  Feed({frame.begin(), frame.begin() + 3});
  Feed({0x00, 'L', 0x17}, 34);
  Feed({frame.begin() + 3, frame.end()});
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"duration 42"}));

  context.currentPort = 0;  // after a rescan nothing is accepted
  Feed(Reply(RPL_DURATION, {9}), 33);
  EXPECT_EQ(owner.calls.size(), 1u);
}

TEST_F(ReceiverTest, ConsumesUnknownCodesWithoutEffect) {
  Feed(Reply(0x05, {1, 2, 3}));
  EXPECT_TRUE(owner.calls.empty());
  Feed(Reply(RPL_DURATION, {42}));
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"duration 42"}));
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

// Fields at their places, big-endian, whatever the bytes between them hold.
TEST_F(ReceiverTest, DecodesEveryFieldOfEachReply) {
  const std::pair<Bytes, std::string> cases[] = {
      {Reply(RPL_STATUS, {0xAA, 0xAA, 0x04, 0xB0, 0x09, 0xE6, 0xBB, 0xBB, 0x0F, 0xA0}),
       "status 1200 2534 4000"},
      {Reply(RPL_ALL,
             {0x12, 0x34, 0x04, 0xB0, 0xCC, 0xCC, 0x0B, 0xB8, 0x00, 0x00, 0x30, 0x34, 0x2C, 0x01}),
       "all 18 52 1200 3000 12340 44 1"},
      {Reply(RPL_FREQUENCY, {0xFF, 0xFF, 0xFF, 0xFE}), "frequency 4294967294"},
      {Reply(RPL_SOFT_ACTIVE, {7}), "soft 7"},
  };
  for (const auto& [frame, text] : cases) {
    Feed(frame);
    EXPECT_EQ(Last(), text);
  }
}

TEST_F(ReceiverTest, BackToBackFramesAreAllApplied) {
  Bytes stream;
  for (std::uint8_t v = 1; v <= 50; ++v) {
    const Bytes f = Reply(RPL_DURATION, {v});
    stream.insert(stream.end(), f.begin(), f.end());
  }
  Feed(stream);
  EXPECT_EQ(owner.calls.size(), 50u);
  EXPECT_EQ(Last(), "duration 50");
}

}  // namespace
}  // namespace quorvane
