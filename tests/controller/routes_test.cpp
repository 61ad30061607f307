// The windows' input by control id: each control's click, Enter and press run
// exactly what its own handler runs; every other id runs nothing.
#include <gtest/gtest.h>

#include "controller/control_ids.h"
#include "tests/controller/controller_rig.h"

namespace quorvane::test {
namespace {

using Lines = std::vector<std::string>;
using Act = void (*)(Controller&);

enum class Input { Click, Enter, Press };

struct RouteCase {
  Input input;
  int id;
  Act expected;  // nullptr: nothing at all
};

void OpenClose(Controller& c) { c.OnOpenClose(); }
void SetCurrent(Controller& c) { c.OnSetCurrent(); }
void SetFrequency(Controller& c) { c.OnSetFrequency(); }
void SetDuration(Controller& c) { c.OnSetDuration(); }
void SoftActive(Controller& c) { c.OnSoftActive(); }
void StepDown(Controller& c) { c.StepDown(); }
void StepUp(Controller& c) { c.StepUp(); }
void HoldDown(Controller& c) { c.OnNudgePress(NudgeDirection::Down); }
void HoldUp(Controller& c) { c.OnNudgePress(NudgeDirection::Up); }

const RouteCase kRoutes[] = {
    {Input::Click, IDC_OPEN_PORT, OpenClose},
    {Input::Click, IDC_SET_CURRENT, SetCurrent},
    {Input::Click, IDC_SET_FREQUENCY, SetFrequency},
    {Input::Click, IDC_SET_DURATION, SetDuration},
    {Input::Click, IDC_SOFT_ACTIVE, SoftActive},
    {Input::Click, IDC_CURRENT_DOWN, StepDown},
    {Input::Click, IDC_CURRENT_UP, StepUp},
    {Input::Click, IDC_CURRENT_EDIT, nullptr},
    {Input::Click, IDC_CURRENT_READ, nullptr},
    {Input::Click, 4242, nullptr},
    {Input::Enter, IDC_CURRENT_EDIT, SetCurrent},
    {Input::Enter, IDC_FREQUENCY_EDIT, SetFrequency},
    {Input::Enter, IDC_DURATION_EDIT, SetDuration},
    {Input::Enter, IDC_SET_CURRENT, nullptr},
    {Input::Enter, IDC_CURRENT_UP, nullptr},
    {Input::Enter, IDC_CURRENT_SLIDER, nullptr},
    {Input::Enter, IDC_PORT_LIST, nullptr},
    {Input::Enter, IDC_SEED_TEMP, nullptr},
    {Input::Enter, -1, nullptr},
    {Input::Press, IDC_CURRENT_DOWN, HoldDown},
    {Input::Press, IDC_CURRENT_UP, HoldUp},
    {Input::Press, IDC_SET_CURRENT, nullptr},
    {Input::Press, IDC_PUMP_TEMP, nullptr},
    {Input::Press, -1, nullptr},
};

// Everything the controller did to the window and the link after act, with
// a second of the poll and of any hold after it.
Lines Effect(const std::function<void(Controller&)>& act) {
  Rig rig;
  rig.OpenAndSync(1000, 3000);
  rig.window.Type(IDC_CURRENT_EDIT, "1500");
  rig.window.Type(IDC_FREQUENCY_EDIT, "12.34");
  rig.window.Type(IDC_DURATION_EDIT, "44");
  const auto mark = rig.journal.Mark();
  act(rig.controller);
  rig.RunFor(milliseconds(1000));
  return rig.journal.Lines(mark);
}

TEST(ControllerRoutes, EachIdRunsItsOwnHandlerAndOthersNothing) {
  const Lines nothing = Effect([](Controller&) {});
  for (const RouteCase& c : kRoutes) {
    SCOPED_TRACE(::testing::Message() << "input " << static_cast<int>(c.input) << " id " << c.id);
    const Lines routed = Effect([&c](Controller& controller) {
      switch (c.input) {
        case Input::Click:
          return controller.OnClicked(c.id);
        case Input::Enter:
          return controller.OnEnter(c.id);
        case Input::Press:
          return controller.OnPress(c.id);
      }
    });
    if (c.expected == nullptr) {
      EXPECT_EQ(routed, nothing);
      continue;
    }
    const Lines direct = Effect(c.expected);
    EXPECT_NE(direct, nothing);  // the case shows something, so a wrong route shows
    EXPECT_EQ(routed, direct);
  }
}

}  // namespace
}  // namespace quorvane::test
