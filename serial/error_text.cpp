// errno to text, and the layout of the serial error box.
#include "serial/error_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorvane {
namespace {

// strerror_r comes in two flavours; overloads pick whichever the C library has.
[[maybe_unused]] const char* Pick(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}
[[maybe_unused]] const char* Pick(const char* result, const char*) {
  return result != nullptr ? result : "";
}

}  // namespace

std::string SystemErrorText(int error) {
  char buffer[256] = {};
  return Pick(strerror_r(error, buffer, sizeof buffer), buffer);
}

std::string FormatErrorReport(const std::string& operation, const std::string& systemText,
                              unsigned portNumber) {
  char text[kMaxErrorReportLength + 1];
  std::snprintf(text, sizeof text, "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n",
                operation.c_str(), systemText.c_str(), static_cast<int>(portNumber));
  return text;
}

bool IsDeviceGoneError(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

}  // namespace quorvane
