// Numbers read from text the way the C library's atof reads them in the "C"
// locale, whatever locale the process runs in.
#pragma once

#include <string_view>

namespace quorvane {

// The longest leading decimal (or hex, inf, nan) number after white space,
// 0.0 when there is none; '.' is the decimal point.
double AtofC(std::string_view text);

}  // namespace quorvane
