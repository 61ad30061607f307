// The values each reply carries, stored in the panel's record of the board.
#include "protocol/device_state.h"

namespace quorvane {
namespace {

struct Store {
  DeviceState& d;
  void operator()(const StatusReply& r) const {
    d.currentRead = r.measured;
    d.seedTemp = r.seed;
    d.pumpTemp = r.pump;
  }
  void operator()(const AllReply& r) const {
    d.currentPrefix = r.prefix;
    d.currentSetpoint = r.setpoint;
    d.currentMax = r.maximum;
    d.frequencyHz = static_cast<std::int32_t>(r.hertz);
    d.pulseSteps = r.steps;
    d.softActive = r.softActive;
  }
  void operator()(const CurrentReply& r) const {
    d.currentPrefix = r.prefix;
    d.currentSetpoint = r.setpoint;
  }
  void operator()(const FrequencyReply& r) const {
    d.frequencyHz = static_cast<std::int32_t>(r.hertz);
  }
  void operator()(const DurationReply& r) const { d.pulseSteps = r.steps; }
  void operator()(const SoftActiveReply& r) const { d.softActive = r.state; }
};

}  // namespace

void StoreReply(DeviceState& state, const Reply& reply) { std::visit(Store{state}, reply); }

}  // namespace quorvane
