// Sees the window's queued key and mouse input before any control does: Enter
// runs the SET command of the entry field it was typed in and never reaches a
// control, Escape is swallowed, the step buttons' presses and every left
// release go to the step logic first, F1 opens the help box and F2 the readings history; the rest
// goes on to the dialog's keyboard navigation (Tab).
#pragma once

#include "controls/win32/windows_api.h"

#include <functional>

#include "controller/controller.h"

namespace quorvane {

class PreFilter {
 public:
  struct Targets {
    HWND dialog;
    HWND currentEdit;
    HWND frequencyEdit;
    HWND durationEdit;
    HWND downButton;
    HWND upButton;
  };
  struct Handlers {
    std::function<void()> setCurrent;
    std::function<void()> setFrequency;
    std::function<void()> setDuration;
    std::function<void(NudgeDirection)> nudgePress;
    std::function<void()> mouseRelease;
    std::function<void()> help;
    std::function<void()> history;
  };

  PreFilter(Targets targets, Handlers handlers)
      : m_targets(targets), m_handlers(std::move(handlers)) {}

  // True when the message is consumed (also by the dialog's navigation).
  bool PreTranslateMessage(MSG& msg) const;

 private:
  Targets m_targets;
  Handlers m_handlers;
};

}  // namespace quorvane
