// Port names and device paths on Windows: COMn, or the device name \\.\COMn.
#include <cctype>
#include <string>

#include "ctl/port_choice.h"
#include "serial/port_probe.h"

namespace quorvane::ctl {

// Windows names every port itself; no private links are made here.
PrivateLink::~PrivateLink() = default;

std::optional<ChosenPort> ChoosePort(const std::string& text,
                                     const std::filesystem::path& deviceDirectory) {
  std::string name = text;
  if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
  if (name.size() < 4 || name.size() > 6) return std::nullopt;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
  const std::string digits = name.substr(3);
  if (digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const unsigned number = static_cast<unsigned>(std::stoul(digits));
  if (number < kFirstComNumber || number > kLastComNumber) return std::nullopt;
  return ChosenPort{number, text, deviceDirectory, nullptr};
}

std::string InTermsOf(const ChosenPort&, std::string message) { return message; }

std::string ListName(const ChosenPort& port) { return "COM" + std::to_string(port.number); }

}  // namespace quorvane::ctl
