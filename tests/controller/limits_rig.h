// The controller rig under a lab's limits: a board that answers the panel's
// settings and queries, and the alarms the controller reports.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/controller/controller_rig.h"

namespace quorvane::test {

using Lines = std::vector<std::string>;

inline const LimitSource kAt{"/etc/quorvane/limits.toml", 2};

inline LabLimits CurrentLimit(std::int32_t max, std::int32_t rampPerSecond = 0) {
  LabLimits limits;
  limits.currentMax = Sourced<std::int32_t>{max, kAt};
  if (rampPerSecond > 0) limits.currentRamp = Sourced<std::int32_t>{rampPerSecond, kAt};
  return limits;
}

inline std::string FrameHex(const CommandFrame& frame) { return Hex(frame.data(), frame.size); }

// Keeps every AlarmChanges the controller reports.
class AlarmLog final : public ReadingsObserver {
 public:
  void OnPortOpened() override {}
  void OnStatusReading(const DeviceState&) override {}
  void OnAlarmChanges(const AlarmChanges& changes) override {
    for (const Alarm& a : changes.started) started.push_back(a);
    for (const Alarm& a : changes.ended) ended.push_back(a);
  }
  std::vector<Alarm> started, ended;
};

// The board's side: while answering, each current setting is confirmed with
// RPL_CURRENT, each soft-active setting with RPL_SOFT_ACTIVE, and each status
// query gets the readings below.
struct Board {
  Rig& rig;
  bool answering = true;
  int confirmsToLose = 0;  // current settings that go unconfirmed, as if lost
  StatusReply status{1000, 2500, 2500};
  std::size_t seen = 0;

  void Run(milliseconds span) {
    for (milliseconds done{0}; done < span; done += milliseconds(50)) {
      rig.RunFor(milliseconds(50));
      const std::size_t end = rig.journal.Mark();
      for (std::size_t i = seen; i < end && answering; ++i) Answer(i);
      seen = end;
    }
  }
  void Answer(std::size_t entry) {
    const std::string& line = rig.journal.entries[entry].second;
    const unsigned port = rig.controller.Flags().currentPort;
    if (line == "Send " + FrameHex(BuildReadStatus())) {
      rig.Feed(EncodeReply(status).ToVector(), port);
    } else if (line == "Send " + FrameHex(BuildSetSoftActive(0))) {
      rig.Feed(EncodeReply(SoftActiveReply{0}).ToVector(), port);
    } else if (line.starts_with("Send 4E 53 06 04 ") && confirmsToLose > 0) {
      --confirmsToLose;
    } else if (line.starts_with("Send 4E 53 06 04 ")) {
      const int setpoint = rig.SentCurrents(entry).front();
      rig.Feed(ReplyCurrent(0x12, 0x34, static_cast<std::uint16_t>(setpoint)), port);
    }
  }
};

struct LimitedRig : Rig {
  explicit LimitedRig(PortLimits portLimits) : limits(std::move(portLimits)) {
    controller.SetLimitsSource([this](std::string_view port) {
      askedFor.emplace_back(port);
      return limits;
    });
    controller.SetReadingsObserver(&alarmLog);
  }
  PortLimits limits;
  Lines askedFor;
  AlarmLog alarmLog;
  Board board{*this};
};

}  // namespace quorvane::test
