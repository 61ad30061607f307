// The printed forms every front end shares for the board model's values.
#include "board/board_model.h"

#include <cstdio>

namespace quorvane {
namespace {

std::string WithUnit(std::string shown, const char* unit) {
  if (*unit != '\0') shown += std::string(" ") + unit;
  return shown;
}

}  // namespace

std::string ShownValue(const SettingSpec& item, std::int32_t value) {
  return WithUnit(item.display(value), item.shownUnit);
}

std::string ShownValue(const MeasurementSpec& item, std::int32_t value) {
  return WithUnit(item.display(value), item.shownUnit);
}

std::string CsvValue(ValueKind kind, std::int32_t value) {
  switch (kind) {
    case ValueKind::kWhole:
      return std::to_string(value);
    case ValueKind::kHundredths: {
      const std::int64_t wide = value;
      const std::int64_t magnitude = wide < 0 ? -wide : wide;
      char text[32];
      std::snprintf(text, sizeof text, "%s%lld.%02lld", wide < 0 ? "-" : "",
                    static_cast<long long>(magnitude / 100),
                    static_cast<long long>(magnitude % 100));
      return text;
    }
    case ValueKind::kSwitch:
      return value != 0 ? "1" : "0";
  }
  return {};
}

}  // namespace quorvane
