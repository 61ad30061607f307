// Where the main window shows each of the board model's settings and
// readings: the controls' ids. The board model says what a setting is; this
// says which entry field, SET button and read-out the panel gives it.
#pragma once

#include <array>

#include "board/board_model.h"
#include "controller/control_ids.h"

namespace quorvane {

inline constexpr int kNoControl = -1;

struct SettingControls {
  Setting setting;
  // The entry field (for a switch, the button that toggles it) and its SET
  // button (kNoControl: the entry is its own button).
  int entryId;
  int setId;
  // The slider that follows and moves the set-point, or kNoControl.
  int sliderId;
};

struct MeasurementControl {
  Measurement measurement;
  int readoutId;
};

// In the board model's order, one for each of its entries (checked below).
inline constexpr std::array<SettingControls, kSettings.size()> kSettingControls{{
    {Setting::kCurrent, IDC_CURRENT_EDIT, IDC_SET_CURRENT, IDC_CURRENT_SLIDER},
    {Setting::kFrequency, IDC_FREQUENCY_EDIT, IDC_SET_FREQUENCY, kNoControl},
    {Setting::kDuration, IDC_DURATION_EDIT, IDC_SET_DURATION, kNoControl},
    {Setting::kSoftActive, IDC_SOFT_ACTIVE, kNoControl, kNoControl},
}};

inline constexpr std::array<MeasurementControl, kMeasurements.size()> kMeasurementControls{{
    {Measurement::kCurrent, IDC_CURRENT_READ},
    {Measurement::kSeedTemp, IDC_SEED_TEMP},
    {Measurement::kPumpTemp, IDC_PUMP_TEMP},
}};

namespace panel_detail {
constexpr bool InModelOrder() {
  for (std::size_t i = 0; i < kSettingControls.size(); ++i)
    if (kSettingControls[i].setting != kSettings[i].setting) return false;
  for (std::size_t i = 0; i < kMeasurementControls.size(); ++i)
    if (kMeasurementControls[i].measurement != kMeasurements[i].measurement) return false;
  return true;
}
}  // namespace panel_detail
static_assert(panel_detail::InModelOrder(), "each board model entry needs its controls, in order");

constexpr const SettingControls& ControlsOf(Setting setting) {
  return kSettingControls[static_cast<std::size_t>(setting)];
}

// What a screen reader says for a control that shows a setting or a reading,
// from the board model; name nullptr for any other control.
constexpr SpokenText BoardSpokenText(int id) {
  for (const SettingControls& c : kSettingControls) {
    if (c.entryId == id) return SpecOf(c.setting).entry;
    if (c.setId == id) return SpecOf(c.setting).setButton;
  }
  for (const MeasurementControl& c : kMeasurementControls)
    if (c.readoutId == id) return SpecOf(c.measurement).readout;
  return {nullptr, nullptr};
}

}  // namespace quorvane
