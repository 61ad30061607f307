// Which control runs which handler: its click, Enter while it has the focus,
// and a press that starts a step button's hold. Both windows only forward ids.
#include <optional>

#include "controller/control_ids.h"
#include "controller/controller.h"

namespace quorvane {

namespace {

using Handler = void (Controller::*)();

struct ControlRoute {
  int id;
  Handler click;                       // nullptr: a click does nothing
  Handler enter;                       // nullptr: Enter does nothing
  std::optional<NudgeDirection> hold;  // a press starts a hold this way
};

constexpr ControlRoute kRoutes[] = {
    {IDC_OPEN_PORT, &Controller::OnOpenClose, nullptr, {}},
    {IDC_SET_CURRENT, &Controller::OnSetCurrent, nullptr, {}},
    {IDC_SET_FREQUENCY, &Controller::OnSetFrequency, nullptr, {}},
    {IDC_SET_DURATION, &Controller::OnSetDuration, nullptr, {}},
    {IDC_SOFT_ACTIVE, &Controller::OnSoftActive, nullptr, {}},
    // A click steps once; holding the button repeats (the press's hold).
    {IDC_CURRENT_DOWN, &Controller::StepDown, nullptr, NudgeDirection::Down},
    {IDC_CURRENT_UP, &Controller::StepUp, nullptr, NudgeDirection::Up},
    // Enter in an entry field runs its SET, as its button does.
    {IDC_CURRENT_EDIT, nullptr, &Controller::OnSetCurrent, {}},
    {IDC_FREQUENCY_EDIT, nullptr, &Controller::OnSetFrequency, {}},
    {IDC_DURATION_EDIT, nullptr, &Controller::OnSetDuration, {}},
};

const ControlRoute* RouteOf(int id) {
  for (const ControlRoute& route : kRoutes)
    if (route.id == id) return &route;
  return nullptr;
}

}  // namespace

void Controller::OnClicked(int id) {
  const ControlRoute* route = RouteOf(id);
  if (route != nullptr && route->click != nullptr) (this->*route->click)();
}

void Controller::OnEnter(int focusedId) {
  const ControlRoute* route = RouteOf(focusedId);
  if (route != nullptr && route->enter != nullptr) (this->*route->enter)();
}

void Controller::OnPress(int id) {
  const ControlRoute* route = RouteOf(id);
  if (route != nullptr && route->hold) OnNudgePress(*route->hold);
}

}  // namespace quorvane
