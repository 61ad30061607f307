// The serial error box's text: one layout, whichever platform fills it in.
#include "serial/error_report.h"

#include <string_view>

namespace quorvane {
namespace {

// The longest start of text that fits in limit bytes and does not end inside
// a UTF-8 character: a broken sequence would show as U+FFFD in the box.
std::string_view CutAtCharacter(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  // Continuation bytes (10xxxxxx) belong to the character before them; the
  // character the limit falls inside is left out whole.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string ErrorReportPortLine(const std::string& portName) {
  return "\nPort: " + portName + "\n";
}

std::string FormatErrorReport(const std::string& operation, const std::string& systemText,
                              const std::string& portName) {
  const std::string report = "WARNING:  " + operation + " Failed with the following error: \n" +
                             systemText + ErrorReportPortLine(portName);
  return std::string(CutAtCharacter(report, kMaxErrorReportLength));
}

std::string FormatErrorReport(const std::string& operation, const std::string& systemText,
                              unsigned portNumber) {
  return FormatErrorReport(operation, systemText, std::to_string(portNumber));
}

}  // namespace quorvane
