// The set-point rules under the lab's limits, how two sets of limits combine,
// and the limits as every front end lists them.
#include "limits/lab_limits.h"

#include <algorithm>
#include <cstdio>

namespace quorvane {
namespace {

// "15.5", "10.005", "20.0": a value of `scale` decimals, trailing zeros cut
// but one kept, so the text reads as the file's number and parses as JSON.
std::string Decimal(std::int64_t value, int scale) {
  std::int64_t unit = 1;
  for (int i = 0; i < scale; ++i) unit *= 10;
  const std::int64_t magnitude = value < 0 ? -value : value;
  char text[48];
  std::snprintf(text, sizeof text, "%s%lld.%0*lld", value < 0 ? "-" : "",
                static_cast<long long>(magnitude / unit), scale,
                static_cast<long long>(magnitude % unit));
  std::string s = text;
  while (s.size() > 2 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
  return s;
}

// A window's or a limit's value in the file's unit, and with its unit.
struct Unit {
  int scale;         // decimals of the device value in the file's unit
  const char* name;  // after a shown value
};
constexpr Unit kMilliamperes{0, "mA"};
constexpr Unit kKilohertz{3, "kHz"};
constexpr Unit kSteps{0, "steps"};
constexpr Unit kDegrees{2, "C"};

std::string InFileUnit(std::int32_t value, Unit unit) {
  return unit.scale == 0 ? std::to_string(value) : Decimal(value, unit.scale);
}
std::string Shown(std::int32_t value, Unit unit) {
  return InFileUnit(value, unit) + " " + unit.name;
}
std::string ShownWindow(const ValueWindow& w, Unit unit) {
  return InFileUnit(w.min, unit) + " to " + InFileUnit(w.max, unit) + " " + unit.name;
}
std::string FileWindow(const ValueWindow& w, Unit unit) {
  return "[" + InFileUnit(w.min, unit) + ", " + InFileUnit(w.max, unit) + "]";
}

Unit UnitOf(Setting setting) {
  switch (setting) {
    case Setting::kCurrent:
      return kMilliamperes;
    case Setting::kFrequency:
      return kKilohertz;
    case Setting::kDuration:
      return kSteps;
    case Setting::kSoftActive:
      break;
  }
  return {0, ""};
}

template <typename T>
void TakeStricter(std::optional<Sourced<T>>& into, const std::optional<Sourced<T>>& other,
                  auto stricter) {
  if (!other) return;
  if (!into) {
    into = other;
    return;
  }
  into = stricter(*into, *other);
}

Sourced<ValueWindow> Overlap(const Sourced<ValueWindow>& a, const Sourced<ValueWindow>& b) {
  const ValueWindow w{std::max(a.value.min, b.value.min), std::min(a.value.max, b.value.max)};
  if (w == a.value) return a;
  if (w == b.value) return b;
  // Each file gives one end.
  return {w, {a.source.Text() + " and " + b.source.Text(), 0}};
}

}  // namespace

std::string LimitSource::Text() const {
  return line > 0 ? file + ":" + std::to_string(line) : file;
}

bool LabLimits::Empty() const {
  return !currentMax && !currentRamp && !frequency && !duration && !seedTemp && !pumpTemp &&
         !boardSilent && !onAlarm;
}

const std::vector<LimitKey> kLimitKeys{
    {"current_max_mA", "the largest pump current set-point, mA"},
    {"current_ramp_mA_per_s", "a rise of the current is carried out at this rate, mA per second"},
    {"frequency_kHz", "the repetition frequency set-point's window [min, max], kHz"},
    {"duration_steps", "the pulse duration set-point's window [min, max], steps"},
    {"seed_C", "the seed temperature's window [min, max], degrees C; outside it, an alarm"},
    {"pump_C", "the pump temperature's window [min, max], degrees C; outside it, an alarm"},
    {"board_silent_alarm_s", "an alarm when the board has not answered for this long, s"},
    {"on_alarm", "\"alarm\" (shown) or \"ramp-down\" (also the current to 0, soft-active off)"},
};

LabLimits Stricter(const LabLimits& a, const LabLimits& b, std::string* problem) {
  LabLimits s = a;
  const auto lower = [](const auto& x, const auto& y) { return y.value < x.value ? y : x; };
  TakeStricter(s.currentMax, b.currentMax, lower);
  TakeStricter(s.currentRamp, b.currentRamp, lower);
  TakeStricter(s.boardSilent, b.boardSilent, lower);
  TakeStricter(s.onAlarm, b.onAlarm,
               [](const auto& x, const auto& y) { return y.value == OnAlarm::kRampDown ? y : x; });
  const auto windows = [&](std::optional<Sourced<ValueWindow>>& into,
                           const std::optional<Sourced<ValueWindow>>& other, const char* key) {
    TakeStricter(into, other, Overlap);
    if (into && into->value.min > into->value.max && problem != nullptr && problem->empty()) {
      *problem = std::string(key) + " of " + (other ? other->source.Text() : "") +
                 " does not overlap the lab's, which would leave nothing allowed";
    }
  };
  windows(s.frequency, b.frequency, "frequency_kHz");
  windows(s.duration, b.duration, "duration_steps");
  windows(s.seedTemp, b.seedTemp, "seed_C");
  windows(s.pumpTemp, b.pumpTemp, "pump_C");
  return s;
}

std::int32_t CurrentTop(const LabLimits& limits, std::int32_t boardMax) {
  return limits.currentMax ? std::min(boardMax, limits.currentMax->value) : boardMax;
}

std::optional<Sourced<ValueWindow>> LabWindow(const LabLimits& limits, Setting setting) {
  switch (setting) {
    case Setting::kCurrent:
      if (!limits.currentMax) return std::nullopt;
      return Sourced<ValueWindow>{{0, limits.currentMax->value}, limits.currentMax->source};
    case Setting::kFrequency:
      return limits.frequency;
    case Setting::kDuration:
      return limits.duration;
    case Setting::kSoftActive:
      break;
  }
  return std::nullopt;
}

std::int32_t ClampToLab(const LabLimits& limits, Setting setting, std::int32_t value) {
  const std::optional<Sourced<ValueWindow>> w = LabWindow(limits, setting);
  return w ? std::clamp(value, w->value.min, w->value.max) : value;
}

std::string LabLimitProblem(const LabLimits& limits, Setting setting, std::int32_t value) {
  const std::optional<Sourced<ValueWindow>> w = LabWindow(limits, setting);
  if (!w || w->value.Holds(value)) return {};
  const bool above = value > w->value.max;
  const std::int32_t end = above ? w->value.max : w->value.min;
  return std::string(above ? "above" : "below") + " the lab limit " + Shown(end, UnitOf(setting)) +
         " (" + w->source.Text() + ")";
}

std::string LabLimitNote(const LabLimits& limits, Setting setting) {
  const std::optional<Sourced<ValueWindow>> w = LabWindow(limits, setting);
  if (!w) return {};
  if (setting == Setting::kCurrent) return "lab limit " + Shown(w->value.max, kMilliamperes);
  return "lab limits " + ShownWindow(w->value, UnitOf(setting));
}

std::vector<LimitRow> LimitRows(const LabLimits& limits) {
  std::vector<LimitRow> rows;
  const auto add = [&](const char* key, const auto& limit, auto value, auto shown) {
    if (limit) rows.push_back({key, value(limit->value), shown(limit->value), limit->source});
  };
  const auto number = [](Unit unit) {
    return [unit](std::int32_t v) { return InFileUnit(v, unit); };
  };
  const auto shownNumber = [](Unit unit) {
    return [unit](std::int32_t v) { return Shown(v, unit); };
  };
  const auto window = [](Unit unit) {
    return [unit](const ValueWindow& w) { return FileWindow(w, unit); };
  };
  const auto shownWindow = [](Unit unit) {
    return [unit](const ValueWindow& w) { return ShownWindow(w, unit); };
  };
  add(kLimitKeys[0].key, limits.currentMax, number(kMilliamperes), shownNumber(kMilliamperes));
  add(kLimitKeys[1].key, limits.currentRamp, number(kMilliamperes),
      [](std::int32_t v) { return std::to_string(v) + " mA/s"; });
  add(kLimitKeys[2].key, limits.frequency, window(kKilohertz), shownWindow(kKilohertz));
  add(kLimitKeys[3].key, limits.duration, window(kSteps), shownWindow(kSteps));
  add(kLimitKeys[4].key, limits.seedTemp, window(kDegrees), shownWindow(kDegrees));
  add(kLimitKeys[5].key, limits.pumpTemp, window(kDegrees), shownWindow(kDegrees));
  add(
      kLimitKeys[6].key, limits.boardSilent,
      [](std::chrono::milliseconds v) { return Decimal(v.count(), 3); },
      [](std::chrono::milliseconds v) { return Decimal(v.count(), 3) + " s"; });
  const auto onAlarmWord = [](OnAlarm v) {
    switch (v) {
      case OnAlarm::kAlarm:
        return std::string("alarm");
      case OnAlarm::kRampDown:
        return std::string("ramp-down");
    }
    return std::string();
  };
  add(
      kLimitKeys[7].key, limits.onAlarm, [&](OnAlarm v) { return "\"" + onAlarmWord(v) + "\""; },
      onAlarmWord);
  return rows;
}

std::string LimitsText(const PortLimits& limits, const std::string& labFile) {
  if (limits.ReadOnly())
    return "Lab limits unusable, so every setting is refused:\n  " + limits.unusable + "\n";
  const std::vector<LimitRow> rows = LimitRows(limits.limits);
  if (rows.empty()) return "No lab limits in effect (the lab's file is " + labFile + ").\n";
  std::string text = "Lab limits in effect:\n";
  const auto padded = [](std::string s, std::size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
  };
  for (const LimitRow& row : rows)
    text +=
        "  " + padded(row.key, 22) + " " + padded(row.shown, 22) + " (" + row.source.Text() + ")\n";
  return text;
}

}  // namespace quorvane
