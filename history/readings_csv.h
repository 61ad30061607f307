// The CSV form of the readings, shared by the panel's recordings and exports
// and by quorvane-ctl, so every file of readings reads the same.
#pragma once

#include <string>

#include "history/reading_history.h"

namespace quorvane {

// "2026-12-07T16:30:00.123Z": UTC, milliseconds.
std::string IsoTime(WallTime time);

// A column for each reading, then for each setting, in the board model's
// order; hundredths as an exact decimal with two places ("25.01", "-0.05").
std::string CsvHeader();
// One line, ending in '\n', in the header's column order.
std::string CsvRow(const Reading& reading);

}  // namespace quorvane
