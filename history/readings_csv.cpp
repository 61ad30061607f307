// The CSV text of readings: exact decimals, UTC times to the millisecond, so
// a file reads the same on every machine and converts back without loss.
#include "history/readings_csv.h"

#include <cstdio>
#include <ctime>

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

std::string HundredthsText(std::int32_t hundredths) {
  const std::int64_t value = hundredths;
  const std::int64_t magnitude = value < 0 ? -value : value;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", value < 0 ? "-" : "",
                static_cast<long long>(magnitude / 100), static_cast<long long>(magnitude % 100));
  return text;
}

std::string CsvHeader() {
  return "time,current_mA,seed_C,pump_C,setpoint_mA,frequency_Hz,duration_steps,soft_active\n";
}

std::string CsvRow(const Reading& r) {
  return IsoTime(r.time) + "," + std::to_string(r.currentRead) + "," + HundredthsText(r.seedTemp) +
         "," + HundredthsText(r.pumpTemp) + "," + std::to_string(r.currentSetpoint) + "," +
         std::to_string(r.frequencyHz) + "," + std::to_string(r.pulseSteps) + "," +
         (r.softActive != 0 ? "1" : "0") + "\n";
}

}  // namespace quorvane
