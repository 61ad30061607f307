// What each reply from the board does to the device values and the window:
// the exact calls, in order, and texts byte for byte.
#include <gtest/gtest.h>

#include "protocol/codes.h"
#include "tests/controller/controller_rig.h"

namespace quorvane::test {
namespace {

using Lines = std::vector<std::string>;

class ReplyDisplay : public testing::Test {
 protected:
  Rig rig;
  void SetUp() override { rig.controller.OnOpenClose(); }
  // Window calls made for one reply, without their time stamps.
  Lines Show(const std::vector<std::uint8_t>& frame) {
    const auto mark = rig.journal.Mark();
    rig.Feed(frame, 3);
    Lines calls;
    for (const std::string& line : rig.journal.Lines(mark)) calls.push_back(line.substr(2));
    return calls;
  }
};

TEST_F(ReplyDisplay, StatusRefreshesTheThreeReadings) {
  EXPECT_EQ(
      Show(ReplyFrame(RPL_STATUS, {0xAA, 0xAA, 0x04, 0xB0, 0x09, 0xE6, 0xBB, 0xBB, 0x0F, 0xA0})),
      (Lines{"SetText 1010 1200", "SetText 1007 25.3", "SetText 1006 40.0"}));
  EXPECT_EQ(rig.controller.Device().currentRead, 1200);
  EXPECT_EQ(rig.controller.Device().seedTemp, 2534);
  EXPECT_EQ(rig.controller.Device().pumpTemp, 4000);
}

TEST_F(ReplyDisplay, FullReplyStoresEverythingShowsItInOrderAndSyncsOnce) {
  const auto all = ReplyAll(0x12, 0x34, 1200, 3000, 12340, 44, 1);
  const Lines shown{"SliderRange 3000",   "SliderTick 300",  "SliderTick 600",
                    "SliderTick 900",     "SliderTick 1200", "SliderTick 1500",
                    "SliderTick 1800",    "SliderTick 2100", "SliderTick 2400",
                    "SliderTick 2700",    "SliderPos 1200",  "SetText 1005 1200",
                    "SetText 1009 12.34", "SetText 1012 44", "SoftActive 0000FF ON"};
  Lines first = shown;
  first.insert(first.end(), {"StopTimer 4", "StartTimer 1 500"});
  EXPECT_EQ(Show(all), first);
  const DeviceState& d = rig.controller.Device();
  EXPECT_EQ(d.currentPrefix, (std::array<std::uint8_t, 2>{0x12, 0x34}));
  EXPECT_EQ(d.currentMax, 3000);
  EXPECT_EQ(d.frequencyHz, 12340);
  EXPECT_EQ(d.pulseSteps, 44);
  EXPECT_EQ(d.softActive, 1);
  EXPECT_EQ(rig.controller.State(), ConnectionState::Synced);
  EXPECT_EQ(Show(all), shown) << "a second full reply must not re-sync";
}

TEST_F(ReplyDisplay, SettingRepliesShowTheirField) {
  EXPECT_EQ(Show(ReplyFrame(RPL_FREQUENCY, {0xFF, 0xFF, 0xFF, 0xFF})), Lines{"SetText 1009 -0.00"});
  EXPECT_EQ(rig.controller.Device().frequencyHz, -1);
  EXPECT_EQ(Show(ReplyFrame(RPL_DURATION, {7})), Lines{"SetText 1012 7"});
  EXPECT_EQ(Show(ReplyFrame(RPL_SOFT_ACTIVE, {0})), Lines{"SoftActive F5F5F5 OFF"});
  EXPECT_EQ(Show(ReplyCurrent(0x12, 0x34, 900)), (Lines{"SliderPos 900", "SetText 1005 900"}));
}

}  // namespace
}  // namespace quorvane::test
