// The layout of the serial error box, the same on every platform.
#pragma once

#include <cstddef>
#include <string>

namespace quorvane {

// The error box text naming the failed operation, the system text and the
// port, cut to at most kMaxErrorReportLength bytes at a character boundary.
inline constexpr std::size_t kMaxErrorReportLength = 199;
std::string FormatErrorReport(const std::string& operation, const std::string& systemText,
                              unsigned portNumber);

}  // namespace quorvane
