// COM numbers to device paths, and discovery that never opens a device
// (opening a tty toggles DTR/RTS, which resets some boards).
#include "serial/posix/port_table.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <memory>

#include "serial/posix/udev_handles.h"

namespace quorvane {
namespace {

struct Range {
  unsigned first;
  const char* prefix;
};
constexpr unsigned kRangeLength = 32;
constexpr Range kRanges[] = {
    {1, "ttyS"}, {33, "ttyUSB"}, {65, "ttyACM"}, {97, "ttyAMA"}, {129, "rfcomm"},
};

// Unix98 pseudo-terminal slaves: majors 136..143.
bool IsPseudoTerminal(const struct stat& info) {
  const unsigned majorNumber = major(info.st_rdev);
  return majorNumber >= 136 && majorNumber <= 143;
}

}  // namespace

std::filesystem::path DefaultDeviceDirectory() { return "/dev"; }

std::unique_ptr<PortProbe> MakePortTable(const std::filesystem::path& deviceDirectory) {
  return std::make_unique<PortTable>(deviceDirectory);
}

PortTable::PortTable(std::filesystem::path deviceDirectory, std::filesystem::path sysClassTty)
    : m_deviceDirectory(std::move(deviceDirectory)), m_sysClassTty(std::move(sysClassTty)) {}

std::string PortTable::ListName(unsigned number) const {
  for (const Range& range : kRanges)
    if (number >= range.first && number < range.first + kRangeLength)
      return range.prefix + std::to_string(number - range.first);
  return {};
}

std::optional<std::filesystem::path> PortTable::DevicePath(unsigned number) const {
  std::string name = ListName(number);
  if (name.empty()) return std::nullopt;
  return m_deviceDirectory / name;
}

std::optional<unsigned> PortTable::NumberOf(const std::string& deviceFileName) const {
  for (const Range& range : kRanges) {
    const std::string prefix = range.prefix;
    if (deviceFileName.size() <= prefix.size() || deviceFileName.compare(0, prefix.size(), prefix))
      continue;
    const std::string digits = deviceFileName.substr(prefix.size());
    if (digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos ||
        (digits.size() == 2 && digits[0] == '0'))
      continue;
    const unsigned index = static_cast<unsigned>(std::stoul(digits));
    if (index < kRangeLength) return range.first + index;
  }
  return std::nullopt;
}

bool PortTable::PortPresent(unsigned number) const {
  const auto path = DevicePath(number);
  if (!path) return false;
  struct stat info {};
  if (::stat(path->c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return false;
  if (IsPseudoTerminal(info)) return true;
  // The kernel creates every ttyS slot; an empty one reports UART type 0.
  const std::string name = path->filename().string();
  if (name.rfind("ttyS", 0) == 0) {
    std::ifstream typeFile(m_sysClassTty / name / "type");
    int type = -1;
    if (typeFile >> type && type == 0) return false;
  }
  return true;
}

std::vector<ListedPort> PortTable::DiscoverPorts() const {
  std::vector<ListedPort> ports;
  for (unsigned number = kFirstComNumber; number <= kLastComNumber; ++number) {
    if (!PortPresent(number)) continue;
    ListedPort port{number, ListName(number), {}};
    // The kernel name behind a link (a test's link to /dev/pts/3) is what udev knows.
    std::error_code ignored;
    const auto target = std::filesystem::canonical(*DevicePath(number), ignored);
    port.details = UdevDetails(target.empty() ? port.name : target.filename().string());
    ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace quorvane
