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
  for (const SettingSpec& spec : kSettings) {
    SCOPED_TRACE(spec.name != nullptr ? spec.name : "(unnamed)");
    EXPECT_TRUE(Named(spec.name) && Named(spec.key) && Named(spec.commandKey) &&
                Named(spec.label) && Named(spec.changeLabel));
    EXPECT_NE(spec.shownUnit, nullptr);
    EXPECT_TRUE(spec.get && spec.put && spec.parse && spec.top && spec.display && spec.build &&
                spec.confirmed);
    EXPECT_GT(spec.devicePerEntry, 0);
    EXPECT_TRUE(Named(spec.entry.name) && spec.entry.description != nullptr);
    EXPECT_EQ(spec.setButton.name == nullptr, spec.setButton.description == nullptr);
    // A value a program reads has a unit, a switch has none.
    EXPECT_EQ(spec.valueUnit == nullptr, spec.kind == ValueKind::kSwitch);
    EXPECT_TRUE(names.insert(spec.name).second);
    EXPECT_TRUE(keys.insert(spec.key).second);
    EXPECT_TRUE(commandKeys.insert(spec.commandKey).second);
    EXPECT_TRUE(labels.insert(spec.label).second);
    EXPECT_TRUE(spoken.insert(spec.entry.name).second);
    if (spec.setButton.name != nullptr) {
      EXPECT_TRUE(spoken.insert(spec.setButton.name).second);
    }
  }
  for (const MeasurementSpec& spec : kMeasurements) {
    SCOPED_TRACE(spec.label != nullptr ? spec.label : "(unnamed)");
    EXPECT_TRUE(Named(spec.label) && Named(spec.key) && Named(spec.shownUnit) &&
                Named(spec.entitySuffix) && Named(spec.entityName) && Named(spec.entityUnit) &&
                Named(spec.deviceClass) && Named(spec.readout.name));
    EXPECT_TRUE(spec.get && spec.display);
    // Readings and set-points share the JSON objects and the CSV header.
    EXPECT_TRUE(keys.insert(spec.key).second);
    EXPECT_TRUE(labels.insert(spec.label).second);
    EXPECT_TRUE(spoken.insert(spec.readout.name).second);
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
  for (const SettingSpec& spec : kSettings) {
    SCOPED_TRACE(spec.name);
    const std::int32_t top = spec.top(device);
    for (const std::int32_t value : {std::int32_t{0}, spec.devicePerEntry, top}) {
      // What the window shows is what the entry field reads back.
      if (spec.kind != ValueKind::kSwitch) {
        EXPECT_EQ(spec.parse(spec.display(value), device), value) << value;
      }
      DeviceState stored = device;
      spec.put(stored, value);
      EXPECT_EQ(spec.get(stored), value);
      // The frame is a command the board understands.
      EXPECT_TRUE(DecodeCommand(spec.build(device, value).view()).has_value()) << value;
    }
    // Exactly the replies of the confirming code confirm, with their value.
    int confirming = 0;
    for (const Reply& reply : SettingReplies(1)) {
      const auto code = std::visit([](const auto& r) { return r.kCode; }, reply);
      const auto confirmed = spec.confirmed(reply);
      EXPECT_EQ(confirmed.has_value(), code == spec.confirmingReply) << int{code};
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
