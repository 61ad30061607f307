// Settings from typed text to frames and back from replies, through the
// panel's own conversions, clamps and display forms.
#include "ctl/setting.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "board/board_model.h"
#include "board/operator_entry.h"

namespace quorvane::ctl {

bool IsAcceptedValue(Setting setting, const std::string& text) {
  if (SpecOf(setting).kind == ValueKind::kSwitch) return text == "on" || text == "off";
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
    sign.push_back('-');
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
std::string UnitsTaken(const SettingSpec& item) {
  if (*item.shownUnit == '\0') return "and no unit";
  std::string units = std::string("then ") + item.shownUnit;
  if (item.typedDeviceUnit != nullptr) units += std::string(", ") + item.typedDeviceUnit;
  return units + " or no unit";
}

}  // namespace

FieldValue InFieldUnits(Setting setting, const std::string& typed, BareUnit bare) {
  const SettingSpec& item = SpecOf(setting);
  if (item.kind == ValueKind::kSwitch) return {typed, {}};
  std::string number = typed;
  std::optional<BareUnit> unit;  // the unit written, when one was
  if (*item.shownUnit != '\0' && EndsWith(typed, item.shownUnit)) {
    number.resize(typed.size() - std::string_view(item.shownUnit).size());
    unit = BareUnit::kPanel;
  } else if (item.typedDeviceUnit != nullptr && EndsWith(typed, item.typedDeviceUnit)) {
    number.resize(typed.size() - std::string_view(item.typedDeviceUnit).size());
    unit = BareUnit::kHertz;
  }
  if (!IsAcceptedValue(setting, number)) {
    // Letters left over may be a unit this setting does not take: say which it does.
    const bool lettered = std::any_of(number.begin(), number.end(), [](unsigned char c) {
      return std::isalpha(c) != 0 || c == ' ';
    });
    std::string problem = ValueProblem(setting, number, std::nullopt);
    if (lettered) problem += ", " + UnitsTaken(item);
    return {number, problem};
  }
  // A bare figure is in the field's units unless the caller says it is the device's.
  const bool takesDeviceUnit = item.typedDeviceUnit != nullptr;
  const BareUnit in = unit.value_or(takesDeviceUnit ? bare : BareUnit::kPanel);
  if (takesDeviceUnit && in == BareUnit::kHertz) return {HertzAsKilohertzText(number), {}};
  // Compared in hundredths, as the field cuts: 10000.01 is over.
  if (takesDeviceUnit && !unit && CutEntry(number, 2) > kLargestBareKilohertz * 100) {
    return {typed, "a frequency without a unit is in kHz, and no board of this kind goes above " +
                       std::to_string(kLargestBareKilohertz) + " kHz; did you mean " + typed +
                       "Hz? (or " + typed + "kHz, if that is meant)"};
  }
  return {number, {}};
}

std::string RangeProblem(Setting setting, const std::string& text,
                         std::optional<std::int32_t> currentMax) {
  const SettingSpec& item = SpecOf(setting);
  if (item.kind == ValueKind::kSwitch) return {};
  if (item.topFromBoard && !currentMax) return {};
  DeviceState device;
  device.currentMax = currentMax.value_or(0);
  // Judged on the value the field's cut makes, in the units it is cut to:
  // 4000.9 mA is 4000 mA, as the panel would send it.
  const std::int32_t value = CutEntry(text, item.entryDecimals);
  const std::int32_t top = item.top(device);
  if (value >= 0 && value <= top / item.devicePerEntry) return {};
  return std::string(item.name) + " takes 0 to " + ShownValue(item, top) +
         (item.topFromBoard ? ", the board's maximum" : "");
}

std::string ValueProblem(Setting setting, const std::string& text,
                         std::optional<std::int32_t> currentMax) {
  if (!IsAcceptedValue(setting, text)) {
    return SpecOf(setting).kind == ValueKind::kSwitch
               ? std::string(SettingName(setting)) + " takes on or off"
               : "digits with at most one point, a minus only in front";
  }
  return RangeProblem(setting, text, currentMax);
}

SettingPlan PlanSetting(Setting setting, const std::string& text, const DeviceState& device) {
  const SettingSpec& item = SpecOf(setting);
  const std::int32_t value = item.parse(text, device);
  return {item.build(device, value), item.sentTwice, static_cast<std::uint32_t>(value),
          ShownValue(item, value)};
}

std::optional<std::uint32_t> ConfirmedValue(Setting setting, const Reply& reply) {
  if (const auto value = SpecOf(setting).confirmed(reply))
    return static_cast<std::uint32_t>(*value);
  return std::nullopt;
}

const char* SettingName(Setting setting) { return SpecOf(setting).name; }

std::string ShownValue(Setting setting, std::uint32_t value) {
  return ShownValue(SpecOf(setting), static_cast<std::int32_t>(value));
}

}  // namespace quorvane::ctl
