// Which control runs which handler: its click, Enter while it has the focus,
// and a press that starts a step button's hold. Both windows only forward ids.
// A setting's controls come from the panel's table of them; the rest are here.
#include <optional>

#include "controller/control_ids.h"
#include "controller/controller.h"
#include "controller/panel_controls.h"

namespace quorvane {

namespace {

using Handler = void (Controller::*)();

struct ControlRoute {
  int id;
  Handler click;                       // nullptr: a click does nothing
  std::optional<NudgeDirection> hold;  // a press starts a hold this way
};

constexpr ControlRoute kRoutes[] = {
    {IDC_OPEN_PORT, &Controller::OnOpenClose, {}},
    // A click steps once; holding the button repeats (the press's hold).
    {IDC_CURRENT_DOWN, &Controller::StepDown, NudgeDirection::Down},
    {IDC_CURRENT_UP, &Controller::StepUp, NudgeDirection::Up},
};

const ControlRoute* RouteOf(int id) {
  for (const ControlRoute& route : kRoutes)
    if (route.id == id) return &route;
  return nullptr;
}

}  // namespace

void Controller::OnClicked(int id) {
  // A SET button, or a switch's own button, sends its setting.
  for (const SettingControls& c : kSettingControls) {
    if (id == (c.setId != kNoControl ? c.setId : c.entryId)) return OnSet(c.setting);
  }
  const ControlRoute* route = RouteOf(id);
  if (route != nullptr && route->click != nullptr) (this->*route->click)();
}

void Controller::OnEnter(int focusedId) {
  // Enter in an entry field runs its SET, as its button does.
  for (const SettingControls& c : kSettingControls) {
    if (c.setId != kNoControl && focusedId == c.entryId) return OnSet(c.setting);
  }
}

void Controller::OnPress(int id) {
  const ControlRoute* route = RouteOf(id);
  if (route != nullptr && route->hold) OnNudgePress(*route->hold);
}

}  // namespace quorvane
