// Walks the board model: a setting or reading whose entry is incomplete, or
// whose conversions, frame and confirming reply disagree, fails here rather
// than in one front end.
#include "board/board_model.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "protocol/wire_format.h"

namespace quorvane {
namespace {

bool Named(const char* text) { return text != nullptr && *text != '\0'; }

TEST(BoardModelTest, EverySettingEntryIsComplete) {
  std::set<std::string> names, keys, commandKeys, labels, spoken;
  for (const SettingSpec& item : kSettings) {
    SCOPED_TRACE(item.name != nullptr ? item.name : "(unnamed)");
    EXPECT_TRUE(Named(item.name) && Named(item.key) && Named(item.commandKey) &&
                Named(item.label) && Named(item.changeLabel));
    EXPECT_NE(item.shownUnit, nullptr);
    EXPECT_TRUE(item.get && item.put && item.parse && item.top && item.display && item.build &&
                item.confirmed);
    EXPECT_GT(item.devicePerEntry, 0);
    EXPECT_TRUE(Named(item.entry.name) && item.entry.description != nullptr);
    EXPECT_EQ(item.setButton.name == nullptr, item.setButton.description == nullptr);
    // A value a program reads has a unit, a switch has none.
    EXPECT_EQ(item.valueUnit == nullptr, item.kind == ValueKind::kSwitch);
    EXPECT_TRUE(names.insert(item.name).second);
    EXPECT_TRUE(keys.insert(item.key).second);
    EXPECT_TRUE(commandKeys.insert(item.commandKey).second);
    EXPECT_TRUE(labels.insert(item.label).second);
    EXPECT_TRUE(spoken.insert(item.entry.name).second);
    if (item.setButton.name != nullptr) {
      EXPECT_TRUE(spoken.insert(item.setButton.name).second);
    }
  }
  for (const MeasurementSpec& item : kMeasurements) {
    SCOPED_TRACE(item.label != nullptr ? item.label : "(unnamed)");
    EXPECT_TRUE(Named(item.label) && Named(item.key) && Named(item.shownUnit) &&
                Named(item.entitySuffix) && Named(item.entityName) && Named(item.entityUnit) &&
                Named(item.deviceClass) && Named(item.readout.name));
    EXPECT_TRUE(item.get && item.display);
    // Readings and set-points share the JSON objects and the CSV header.
    EXPECT_TRUE(keys.insert(item.key).second);
    EXPECT_TRUE(labels.insert(item.label).second);
    EXPECT_TRUE(spoken.insert(item.readout.name).second);
  }
}

// A reply of each kind the board sends after a setting, carrying `value`.
std::vector<Reply> SettingReplies(std::int32_t value) {
  const auto u16 = static_cast<std::uint16_t>(value);
  return {CurrentReply{{0x12, 0x34}, u16}, FrequencyReply{static_cast<std::uint32_t>(value)},
          DurationReply{static_cast<std::uint8_t>(value)},
          SoftActiveReply{static_cast<std::uint8_t>(value)}};
}

TEST(BoardModelTest, EachSettingsFrameValueAndReplyAgree) {
  DeviceState device;
  device.currentMax = 3000;
  device.currentPrefix = {0x12, 0x34};
  for (const SettingSpec& item : kSettings) {
    SCOPED_TRACE(item.name);
    const std::int32_t top = item.top(device);
    for (const std::int32_t value : {std::int32_t{0}, item.devicePerEntry, top}) {
      // What the window shows is what the entry field reads back.
      if (item.kind != ValueKind::kSwitch) {
        EXPECT_EQ(item.parse(item.display(value), device), value) << value;
      }
      DeviceState stored = device;
      item.put(stored, value);
      EXPECT_EQ(item.get(stored), value);
      // The frame is a command the board understands.
      EXPECT_TRUE(DecodeCommand(item.build(device, value).view()).has_value()) << value;
    }
    // Exactly the replies of the confirming code confirm, with their value.
    int confirming = 0;
    for (const Reply& reply : SettingReplies(1)) {
      const auto code = std::visit([](const auto& r) { return r.kCode; }, reply);
      const auto confirmed = item.confirmed(reply);
      EXPECT_EQ(confirmed.has_value(), code == item.confirmingReply) << int{code};
      if (confirmed) {
        EXPECT_EQ(*confirmed, 1);
        ++confirming;
      }
    }
    EXPECT_EQ(confirming, 1);
  }
}

}  // namespace
}  // namespace quorvane
