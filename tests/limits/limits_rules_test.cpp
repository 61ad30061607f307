// The rules every front end applies under the limits: what may be sent, how
// a rise is ramped, and when an alarm starts and ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "limits/lab_limits.h"

namespace quorvane {
namespace {

using std::chrono::milliseconds;

LabLimits Limits(const char* body) {
  const ParsedLimits parsed = ParseLimits(std::string("[default]\n") + body, "lab.toml", "");
  EXPECT_EQ(parsed.problem, "");
  return parsed.limits;
}

TEST(LimitsRules, SetPointsAreJudgedAndClampedAgainstTheLabsWindows) {
  const LabLimits l =
      Limits("current_max_mA = 2000\nfrequency_kHz = [10, 20.5]\nduration_steps = [5, 40]\n");
  struct Case {
    Setting setting;
    std::int32_t value, clamped;
    const char* problem;
  };
  const Case cases[] = {
      {Setting::kCurrent, 2000, 2000, ""},
      {Setting::kCurrent, 2001, 2000, "above the lab limit 2000 mA (lab.toml:2)"},
      {Setting::kFrequency, 9990, 10000, "below the lab limit 10.0 kHz (lab.toml:3)"},
      {Setting::kFrequency, 20510, 20500, "above the lab limit 20.5 kHz (lab.toml:3)"},
      {Setting::kDuration, 4, 5, "below the lab limit 5 steps (lab.toml:4)"},
      {Setting::kSoftActive, 1, 1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LabLimitProblem(l, c.setting, c.value), c.problem);
    EXPECT_EQ(ClampToLab(l, c.setting, c.value), c.clamped);
  }
  EXPECT_EQ(CurrentTop(l, 3000), 2000);
  EXPECT_EQ(CurrentTop(l, 1500), 1500);  // the board's own maximum is lower
  EXPECT_EQ(CurrentTop(LabLimits{}, 3000), 3000);
  EXPECT_EQ(LabLimitNote(l, Setting::kCurrent), "lab limit 2000 mA");
  EXPECT_EQ(LabLimitNote(l, Setting::kFrequency), "lab limits 10.0 to 20.5 kHz");
  EXPECT_EQ(LabLimitNote(LabLimits{}, Setting::kCurrent), "");
}

// Steps at the poll's pace, one ahead of the board at most.
TEST(LimitsRules, ARampNeverRunsAheadOfTheBoard) {
  EXPECT_EQ(RampStep(100, milliseconds(500)), 50);
  EXPECT_EQ(RampStep(1, milliseconds(500)), 1);

  CurrentRamp ramp;
  EXPECT_EQ(ramp.Start(140, 0, 50), 50);
  EXPECT_TRUE(ramp.Running());
  EXPECT_EQ(ramp.Next(0), std::nullopt);  // 50 not yet confirmed: the board is behind
  EXPECT_EQ(ramp.Next(50), 100);
  EXPECT_EQ(RampStatusText(ramp, 50), "ramping the current to 140 mA: 50 mA confirmed");
  EXPECT_EQ(ramp.Next(100), 140);
  EXPECT_EQ(ramp.Next(140), std::nullopt);
  EXPECT_FALSE(ramp.Running());

  // Re-targeted from where the board stands; a fall is immediate.
  EXPECT_EQ(ramp.Start(1000, 100, 50), 150);
  EXPECT_EQ(ramp.Start(400, 150, 50), 200);
  EXPECT_EQ(ramp.Target(), 400);
  EXPECT_EQ(ramp.Start(20, 200, 50), 20);
  EXPECT_FALSE(ramp.Running());
  EXPECT_EQ(ramp.Start(130, 100, 50), 130);  // within one step: no ramp
  EXPECT_FALSE(ramp.Running());

  // The lab's ramp-down goes down by steps too; Stop ends it where it stands.
  EXPECT_EQ(ramp.Start(0, 120, 50, true), 70);
  EXPECT_EQ(ramp.Next(70), 20);
  ramp.Stop();
  EXPECT_EQ(ramp.Next(20), std::nullopt);
}

TEST(LimitsRules, AlarmsStartOnceAndEndOnce) {
  AlarmWatch watch(
      Limits("seed_C = [15, 30]\ncurrent_max_mA = 2000\nboard_silent_alarm_s = 2\n"
             "on_alarm = \"ramp-down\"\n"));
  const AlarmWatch::Steady t0{};
  const AlarmWatch::Wall wall{};
  DeviceState d;
  const StatusReply status{};
  struct Step {
    int atMs;
    std::int32_t seed;  // hundredths; -1: no reply, time only
    std::vector<AlarmKind> started, ended;
  };
  const Step steps[] = {
      {0, 2500, {}, {}},
      {500, 3020, {AlarmKind::kSeedTemp}, {}},
      {1000, 3100, {}, {}},  // still in alarm: said once
      {3100, -1, {AlarmKind::kBoardSilent}, {}},
      {3600, 2990, {}, {AlarmKind::kBoardSilent, AlarmKind::kSeedTemp}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.atMs);
    const AlarmWatch::Steady now = t0 + milliseconds(s.atMs);
    AlarmChanges changes;
    if (s.seed >= 0) {
      d.seedTemp = s.seed;
      changes = watch.OnReply(status, d, now, wall);
    } else {
      changes = watch.OnTime(now, wall);
    }
    std::vector<AlarmKind> started, ended;
    for (const Alarm& a : changes.started) started.push_back(a.kind);
    for (const Alarm& a : changes.ended) ended.push_back(a.kind);
    EXPECT_EQ(started, s.started);
    EXPECT_EQ(ended, s.ended);
  }
  EXPECT_FALSE(watch.WantsRampDown());

  d.currentSetpoint = 2500;  // set by another program, beyond the lab's limit
  const AlarmChanges above = watch.OnReply(AllReply{}, d, t0 + milliseconds(4000), wall);
  ASSERT_EQ(above.started.size(), 1u);
  EXPECT_EQ(above.started[0].Text(),
            "current set-point 2500 mA above the lab limit 2000 mA (lab.toml:3)");
  EXPECT_EQ(above.started[0].readout(), Measurement::kCurrent);
  // Shown as it is: nothing is sent for another program's set-point, even
  // under ramp-down; a temperature out of its window is what ramps down.
  EXPECT_FALSE(watch.WantsRampDown());
  d.seedTemp = 3500;
  watch.OnReply(status, d, t0 + milliseconds(4500), wall);
  EXPECT_TRUE(watch.WantsRampDown());
  EXPECT_EQ(watch.Reset().ended.size(), 2u);
  EXPECT_TRUE(watch.Active().empty());

  d.seedTemp = 3120;
  const AlarmChanges hot = watch.OnReply(status, d, t0 + milliseconds(5000), wall);
  ASSERT_EQ(hot.started.size(), 1u);
  EXPECT_EQ(hot.started[0].Text(), "seed temperature 31.2 C outside 15.0 to 30.0 C (lab.toml:2)");
}

TEST(LimitsRules, RowsListTheLimitsAsTheFileWritesThem) {
  const std::vector<LimitRow> rows =
      LimitRows(Limits("on_alarm = \"alarm\"\ncurrent_max_mA = 2000\npump_C = [-5, 40.25]\n"
                       "board_silent_alarm_s = 1.5\n"));
  std::vector<std::string> seen;
  for (const LimitRow& r : rows)
    seen.push_back(std::string(r.key) + "=" + r.value + "|" + r.shown + "|" + r.source.Text());
  const std::vector<std::string> expected = {
      "current_max_mA=2000|2000 mA|lab.toml:3",
      "pump_C=[-5.0, 40.25]|-5.0 to 40.25 C|lab.toml:4",
      "board_silent_alarm_s=1.5|1.5 s|lab.toml:5",
      "on_alarm=\"alarm\"|alarm|lab.toml:2",
  };
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace quorvane
