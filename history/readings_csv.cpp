// The CSV text of readings: exact decimals, UTC times to the millisecond, so
// a file reads the same on every machine and converts back without loss.
#include "history/readings_csv.h"

#include <cstdio>
#include <ctime>

#include "board/board_model.h"

namespace quorvane {

std::string IsoTime(WallTime time) {
  using namespace std::chrono;
  const auto sinceEpoch = time_point_cast<milliseconds>(time).time_since_epoch();
  const auto wholeSeconds = floor<seconds>(sinceEpoch);
  const std::time_t t = static_cast<std::time_t>(wholeSeconds.count());
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &t);
#else
  gmtime_r(&t, &utc);
#endif
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>((sinceEpoch - wholeSeconds).count()));
  return text;
}

std::string CsvHeader() {
  std::string header = "time";
  for (const MeasurementSpec& item : kMeasurements) header += std::string(",") + item.key;
  for (const SettingSpec& item : kSettings) header += std::string(",") + item.key;
  return header + "\n";
}

std::string CsvRow(const Reading& r) {
  std::string row = IsoTime(r.time);
  const auto add = [&](ValueKind kind, std::int32_t value) {
    row += ',';
    row += CsvValue(kind, value);
  };
  for (const MeasurementSpec& item : kMeasurements) add(item.kind, item.get(r.device));
  for (const SettingSpec& item : kSettings) add(item.kind, item.get(r.device));
  row += '\n';
  return row;
}

}  // namespace quorvane
