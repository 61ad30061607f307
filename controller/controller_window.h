// Everything the controller does to the window, by control id. The dialog
// implements it by forwarding to its widgets; tests record it with a virtual clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "board/display_forms.h"

namespace quorvane {

inline constexpr int TIMER_POLL = 1;
inline constexpr int TIMER_NUDGE_DOWN = 2;
inline constexpr int TIMER_NUDGE_UP = 3;
inline constexpr int TIMER_SYNC = 4;
// Times the board's pauses (PacedQueue): one-shot in effect, stopped when it fires.
inline constexpr int TIMER_PACE = 5;

class ControllerWindow {
 public:
  virtual ~ControllerWindow() = default;

  // Timers: starting a running timer restarts it with the new period.
  virtual void StartTimer(int id, std::chrono::milliseconds period) = 0;
  virtual void StopTimer(int id) = 0;

  // Window texts by control id (entry fields, displays, button captions).
  virtual std::string GetText(int controlId) const = 0;
  virtual void SetText(int controlId, std::string_view text) = 0;

  // IDC_CURRENT_SLIDER.
  virtual void SetSliderRange(std::int32_t maximum) = 0;  // 0..maximum, no redraw
  virtual void AddSliderTick(std::int32_t position) = 0;
  virtual void SetSliderPosition(std::int32_t position) = 0;
  virtual std::int32_t SliderPosition() const = 0;

  // IDC_SOFT_ACTIVE: colour first, then caption.
  virtual void PresentSoftActive(ColorRef color, std::string_view caption) = 0;

  // IDC_PORT_LIST. details: what the system knows of the device (tooltip).
  virtual void ClearPortList() = 0;
  virtual void InsertPort(int index, std::string_view name, std::string_view details) = 0;
  virtual void SelectPort(int index) = 0;
  virtual int SelectedPort() const = 0;  // -1 when nothing is selected
  virtual void EnablePortList(bool enabled) = 0;

  // Why the last open failed (tooltip of IDC_OPEN_PORT); empty clears it.
  virtual void SetOpenPortHint(std::string_view text) = 0;
  // Shows that tooltip at the button at once, without the operator hovering.
  virtual void PopUpOpenPortHint() = 0;

  // Whether the left mouse button is down at this moment, asked of the system
  // rather than remembered from the events the window saw: a box, another
  // window or a lost grab can take the release, and a held step button must
  // never outlive the operator's finger.
  virtual bool LeftButtonDown() const = 0;

  // The lab's limits. Called only while a limits file applies, so a panel
  // without one looks and speaks exactly as before.
  // A note on a setting's controls (entry field, slider): "lab limit 2000 mA",
  // a ramp's progress. The window adds it to the control's tooltip and
  // accessible description; empty removes it.
  virtual void SetControlNote(int controlId, std::string_view note) = 0;
  // A read-out in alarm: shown red, the reason in its tooltip and accessible
  // description, announced to a screen reader once, when the alarm starts.
  // Empty ends it.
  virtual void ShowAlarm(int readoutId, std::string_view reason) = 0;
  // Monotonic time, for the silence of a board (the tests' clock is virtual).
  virtual std::chrono::steady_clock::time_point Now() const = 0;
};

}  // namespace quorvane
