// Settings from typed text to frames and back from replies, through the
// panel's own conversions, clamps and display forms.
#include "ctl/setting.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "controller/display_forms.h"
#include "controller/operator_entry.h"

namespace quorvane::ctl {

bool IsAcceptedValue(Setting setting, const std::string& text) {
  if (setting == Setting::kSoftActive) return text == "on" || text == "off";
  std::u16string typed;
  for (const char c : text) {
    if (!AdmitsTypedChar(static_cast<unsigned char>(c), typed)) return false;
    typed.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  }
  // "-" alone passes the character rule but is no number.
  return std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string HertzAsKilohertzText(const std::string& hertz) {
  std::string sign;
  std::string digits = hertz;
  if (!digits.empty() && digits.front() == '-') {
    sign = "-";
    digits.erase(0, 1);
  }
  std::string fraction;
  if (const std::size_t point = digits.find('.'); point != std::string::npos) {
    fraction = digits.substr(point + 1);
    digits.erase(point);
  }
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  const std::size_t whole = digits.size() - 3;
  return sign + digits.substr(0, whole) + "." + digits.substr(whole) + fraction;
}

namespace {

bool EndsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The units a setting takes right after its number, spelt as they must be.
const char* UnitsTaken(Setting setting) {
  switch (setting) {
    case Setting::kCurrent:
      return "then mA or no unit";
    case Setting::kFrequency:
      return "then kHz, Hz or no unit";
    case Setting::kDuration:
    case Setting::kSoftActive:
      break;
  }
  return "and no unit";
}

}  // namespace

FieldValue InFieldUnits(Setting setting, const std::string& typed, BareUnit bare) {
  if (setting == Setting::kSoftActive) return {typed, {}};
  std::string number = typed;
  std::optional<BareUnit> unit;  // the unit written, when one was
  if (setting == Setting::kCurrent && EndsWith(typed, "mA")) {
    number.resize(typed.size() - 2);
    unit = BareUnit::kPanel;
  } else if (setting == Setting::kFrequency && EndsWith(typed, "kHz")) {
    number.resize(typed.size() - 3);
    unit = BareUnit::kPanel;
  } else if (setting == Setting::kFrequency && EndsWith(typed, "Hz")) {
    number.resize(typed.size() - 2);
    unit = BareUnit::kHertz;
  }
  if (!IsAcceptedValue(setting, number)) {
    // Letters left over may be a unit this setting does not take: say which it does.
    const bool lettered = std::any_of(number.begin(), number.end(), [](unsigned char c) {
      return std::isalpha(c) != 0 || c == ' ';
    });
    std::string problem = ValueProblem(setting, number, std::nullopt);
    if (lettered) problem += std::string(", ") + UnitsTaken(setting);
    return {number, problem};
  }
  const BareUnit in = unit.value_or(setting == Setting::kFrequency ? bare : BareUnit::kPanel);
  if (setting == Setting::kFrequency && in == BareUnit::kHertz)
    return {HertzAsKilohertzText(number), {}};
  // Compared in hundredths, as the field cuts: 10000.01 is over.
  if (setting == Setting::kFrequency && !unit &&
      CutEntry(number, 2) > kLargestBareKilohertz * 100) {
    return {typed, "a frequency without a unit is in kHz, and no board of this kind goes above " +
                       std::to_string(kLargestBareKilohertz) + " kHz; did you mean " + typed +
                       "Hz? (or " + typed + "kHz, if that is meant)"};
  }
  return {number, {}};
}

std::string RangeProblem(Setting setting, const std::string& text,
                         std::optional<std::int32_t> currentMax) {
  // Judged on the value the field's cut makes, in the units it is cut to:
  // 4000.9 mA is 4000 mA, as the panel would send it.
  std::int32_t value = 0;
  std::int32_t top = 0;
  std::string range;
  switch (setting) {
    case Setting::kCurrent:
      if (!currentMax) return {};
      value = CutEntry(text, 0);
      top = *currentMax;
      range =
          "0 to " + ShownValue(setting, static_cast<std::uint32_t>(top)) + ", the board's maximum";
      break;
    case Setting::kFrequency:
      value = CutEntry(text, 2);
      top = kMaxFrequencyHz / 10;
      range = "0 to " + ShownValue(setting, static_cast<std::uint32_t>(kMaxFrequencyHz));
      break;
    case Setting::kDuration:
      value = CutEntry(text, 0);
      top = 255;
      range = "0 to 255";
      break;
    case Setting::kSoftActive:
    default:
      return {};
  }
  if (value >= 0 && value <= top) return {};
  return std::string(SettingName(setting)) + " takes " + range;
}

std::string ValueProblem(Setting setting, const std::string& text,
                         std::optional<std::int32_t> currentMax) {
  if (!IsAcceptedValue(setting, text)) {
    return setting == Setting::kSoftActive ? "soft-active takes on or off"
                                           : "digits with at most one point, a minus only in front";
  }
  return RangeProblem(setting, text, currentMax);
}

SettingPlan PlanSetting(Setting setting, const std::string& text, const DeviceState& device) {
  switch (setting) {
    case Setting::kCurrent: {
      const std::int32_t mA = ParseCurrent(text, device.currentMax);
      return {BuildSetCurrent(device.currentPrefix[0], device.currentPrefix[1], mA), true,
              static_cast<std::uint32_t>(mA), ShownValue(setting, static_cast<std::uint32_t>(mA))};
    }
    case Setting::kFrequency: {
      const std::int32_t hz = ParseFrequency(text);
      return {BuildSetFrequency(hz), true, static_cast<std::uint32_t>(hz),
              ShownValue(setting, static_cast<std::uint32_t>(hz))};
    }
    case Setting::kDuration: {
      const std::uint8_t steps = ParseDuration(text);
      return {BuildSetDuration(steps), true, steps, ShownValue(setting, steps)};
    }
    case Setting::kSoftActive:
    default: {
      const std::uint8_t state = text == "on" ? 1 : 0;
      return {BuildSetSoftActive(state), false, state, ShownValue(setting, state)};
    }
  }
}

std::optional<std::uint32_t> ConfirmedValue(Setting setting, const Reply& reply) {
  switch (setting) {
    case Setting::kCurrent:
      if (const auto* r = std::get_if<CurrentReply>(&reply)) return r->setpoint;
      break;
    case Setting::kFrequency:
      if (const auto* r = std::get_if<FrequencyReply>(&reply)) return r->hertz;
      break;
    case Setting::kDuration:
      if (const auto* r = std::get_if<DurationReply>(&reply)) return r->steps;
      break;
    case Setting::kSoftActive:
      // The board keeps any non-zero state as on.
      if (const auto* r = std::get_if<SoftActiveReply>(&reply)) return r->state != 0 ? 1u : 0u;
      break;
  }
  return std::nullopt;
}

const char* SettingName(Setting setting) {
  switch (setting) {
    case Setting::kCurrent:
      return "current";
    case Setting::kFrequency:
      return "frequency";
    case Setting::kDuration:
      return "duration";
    case Setting::kSoftActive:
    default:
      return "soft-active";
  }
}

std::string ShownValue(Setting setting, std::uint32_t value) {
  switch (setting) {
    case Setting::kCurrent:
      return SetpointText(static_cast<std::int32_t>(value)) + " mA";
    case Setting::kFrequency:
      return FrequencyText(static_cast<std::int32_t>(value)) + " kHz";
    case Setting::kDuration:
      return DurationText(static_cast<std::uint8_t>(value));
    case Setting::kSoftActive:
    default:
      return PresentSoftActive(static_cast<std::uint8_t>(value)).caption;
  }
}

}  // namespace quorvane::ctl
