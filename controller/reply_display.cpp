// What each reply from the board does: the device values it carries are
// stored, then shown, in the order the window has always received them.
#include "board/display_forms.h"
#include "controller/controller.h"
#include "controller/panel_controls.h"

namespace quorvane {

void Controller::ApplyReply(const Reply& reply) {
  StoreReply(m_device, reply);
  if (std::holds_alternative<StatusReply>(reply)) m_answeredSinceStep = true;
  if (std::holds_alternative<AllReply>(reply) || std::holds_alternative<CurrentReply>(reply))
    m_confirmedSetpoint = m_device.currentSetpoint;
  ShowReply(reply);
  // After the displays, so an alarm's colour lands on the value it is about.
  if (Limited()) WatchReply(reply);
}

void Controller::ShowReply(const Reply& reply) {
  if (std::holds_alternative<StatusReply>(reply)) {
    for (const MeasurementControl& c : kMeasurementControls) {
      const MeasurementSpec& item = SpecOf(c.measurement);
      m_window.SetText(c.readoutId, item.display(item.get(m_device)));
    }
    if (m_readingsObserver != nullptr) m_readingsObserver->OnStatusReading(m_device);
    return;
  }
  if (std::holds_alternative<AllReply>(reply)) {
    // The slider reaches the lab's limit at most: a drag cannot ask for more.
    m_window.SetSliderRange(SliderTop());
    // A narrower range may have pulled the slider in: not the operator's move.
    NoteSliderPlaced();
    for (std::int32_t tick : SliderTicks(SliderTop())) m_window.AddSliderTick(tick);
    for (const SettingSpec& item : kSettings) ShowSetting(item.setting);
    if (Limited()) ShowLimitNotes();
    // Later full replies refresh the displays only.
    if (!m_flags.synced) OnFirstFullReply();
    return;
  }
  // Any other reply confirms one setting.
  for (const SettingSpec& item : kSettings)
    if (item.confirmed(reply)) ShowSetting(item.setting);
}

void Controller::ShowSetting(Setting setting) {
  const SettingSpec& item = SpecOf(setting);
  const SettingControls& controls = ControlsOf(setting);
  const std::int32_t value = item.get(m_device);
  if (setting == Setting::kCurrent && m_ramp.Running()) {
    // A ramp under way: the slider shows what the board has reached, the
    // entry where the ramp is going.
    PlaceSlider(m_confirmedSetpoint);
    ShowCurrentNote();
    return m_window.SetText(controls.entryId, item.display(m_ramp.Target()));
  }
  if (controls.sliderId != kNoControl) PlaceSlider(value);
  switch (item.kind) {
    case ValueKind::kSwitch: {
      const SoftActivePresentation look = PresentSoftActive(static_cast<std::uint8_t>(value));
      return m_window.PresentSoftActive(look.color, look.caption);
    }
    case ValueKind::kWhole:
    case ValueKind::kHundredths:
      return m_window.SetText(controls.entryId, item.display(value));
  }
}

}  // namespace quorvane
