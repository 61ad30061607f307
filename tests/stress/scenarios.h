// The stress scenarios of panel_stress, one function each: they drive the
// real panel and report figures and violations.
#pragma once

#include <cstdint>
#include <string>

#include "tests/stress/stress_rig.h"

namespace quorvane::stress {

struct ScenarioArgs {
  int count = 0;  // cycles, actions, runs or minutes
  std::uint32_t seed = 1;
  Ms settle{2000};      // how long a cycle may take to settle after the board returns
  std::string program;  // the exit scenario's quorvane-demo-hooks
  Ms exitLimit{1000};   // the exit scenario's limit from close request to exit
};

Figures RunUnplug(const ScenarioArgs& args);
Figures RunCommands(const ScenarioArgs& args);
Figures RunExit(const ScenarioArgs& args);
Figures RunSoak(const ScenarioArgs& args);

}  // namespace quorvane::stress
