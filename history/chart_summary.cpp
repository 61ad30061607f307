// The chart's text alternative.
#include "history/chart_summary.h"

#include <cstdio>
#include <ctime>

#include "board/display_forms.h"

namespace quorvane {

std::tm LocalTime(WallTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

std::string ClockText(WallTime time) {
  const std::tm local = LocalTime(time);
  char text[16] = {};
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string ChartSummary(const ReadingHistory& history, WallTime from, WallTime to) {
  std::string text = "Shown from " + ClockText(from) + " to " + ClockText(to) + ".";
  if (history.Empty()) return text + " No readings yet.";
  const Reading& newest = history.Newest();
  return text + " Newest reading at " + ClockText(newest.time) + ": measured current " +
         SetpointText(newest.device.currentRead) + " mA, current set-point " +
         SetpointText(newest.device.currentSetpoint) + " mA, seed " +
         TemperatureText(newest.device.seedTemp) + " °C, pump " +
         TemperatureText(newest.device.pumpTemp) + " °C.";
}

}  // namespace quorvane
