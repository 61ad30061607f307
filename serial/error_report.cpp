#include "serial/error_report.h"

#include <cstdio>

namespace quorvane {

std::string FormatErrorReport(const std::string& operation, const std::string& systemText,
                              unsigned portNumber) {
  char text[kMaxErrorReportLength + 1];
  std::snprintf(text, sizeof text, "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n",
                operation.c_str(), systemText.c_str(), static_cast<int>(portNumber));
  return text;
}

}  // namespace quorvane
