// The layout of the serial error box, the same on every platform.
#pragma once

#include <cstddef>
#include <string>

namespace quorvane {

// The error box text naming the failed operation, the system text and the
// port, cut to at most kMaxErrorReportLength bytes at a character boundary.
// portName is the port as this platform's texts name it (PortIo::PortName).
inline constexpr std::size_t kMaxErrorReportLength = 199;
std::string FormatErrorReport(const std::string& operation, const std::string& systemText,
                              const std::string& portName);
// The same box naming the port by its number, as the Windows box does.
std::string FormatErrorReport(const std::string& operation, const std::string& systemText,
                              unsigned portNumber);

// The box's line that names the port, so a program that shows the box under
// a name of its own can find it.
std::string ErrorReportPortLine(const std::string& portName);

}  // namespace quorvane
