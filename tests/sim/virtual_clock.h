// A clock the test moves by hand, so time-dependent board behaviour is exact.
#pragma once

#include <chrono>

#include "sim/virtual_board.h"

namespace quorvane::sim {

struct VirtualClock {
  SimTime now{};
  SimClock Fn() {
    return [this] { return now; };
  }
  void Advance(std::chrono::steady_clock::duration d) { now += d; }
};

}  // namespace quorvane::sim
