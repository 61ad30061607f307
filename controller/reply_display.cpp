// What each reply from the board does: the device values it carries are
// stored, then shown, in the order the window has always received them.
#include "controller/control_ids.h"
#include "controller/controller.h"
#include "board/display_forms.h"

namespace quorvane {

void Controller::ApplyReply(const Reply& reply) {
  StoreReply(m_device, reply);
  switch (reply.index()) {
    case IndexOf<StatusReply>():
      m_window.SetText(IDC_CURRENT_READ, SetpointText(m_device.currentRead));
      m_window.SetText(IDC_SEED_TEMP, TemperatureText(m_device.seedTemp));
      m_window.SetText(IDC_PUMP_TEMP, TemperatureText(m_device.pumpTemp));
      if (m_readingsObserver != nullptr) m_readingsObserver->OnStatusReading(m_device);
      break;
    case IndexOf<AllReply>():
      m_window.SetSliderRange(m_device.currentMax);
      // A narrower range may have pulled the slider in: not the operator's move.
      NoteSliderPlaced();
      for (std::int32_t tick : SliderTicks(m_device.currentMax)) m_window.AddSliderTick(tick);
      ShowCurrentSetpoint();
      ShowFrequency();
      ShowDuration();
      ShowSoftActive();
      // Later full replies refresh the displays only.
      if (!m_flags.synced) OnFirstFullReply();
      break;
    case IndexOf<CurrentReply>():
      ShowCurrentSetpoint();
      break;
    case IndexOf<FrequencyReply>():
      ShowFrequency();
      break;
    case IndexOf<DurationReply>():
      ShowDuration();
      break;
    case IndexOf<SoftActiveReply>():
      ShowSoftActive();
      break;
    default:
      break;
  }
}

void Controller::ShowCurrentSetpoint() {
  PlaceSlider(m_device.currentSetpoint);
  m_window.SetText(IDC_CURRENT_EDIT, SetpointText(m_device.currentSetpoint));
}

void Controller::ShowFrequency() {
  m_window.SetText(IDC_FREQUENCY_EDIT, FrequencyText(m_device.frequencyHz));
}

void Controller::ShowDuration() {
  m_window.SetText(IDC_DURATION_EDIT, DurationText(m_device.pulseSteps));
}

void Controller::ShowSoftActive() {
  const SoftActivePresentation look = PresentSoftActive(m_device.softActive);
  m_window.PresentSoftActive(look.color, look.caption);
}

}  // namespace quorvane
