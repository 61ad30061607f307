// COM port discovery by probing each device name, and what the system says
// stands behind a present one.
#include "serial/win32/port_table.h"

#include <memory>

namespace quorvane {

std::filesystem::path DefaultDeviceDirectory() { return "\\\\.\\"; }

std::unique_ptr<PortProbe> MakePortTable(const std::filesystem::path& deviceDirectory) {
  return std::make_unique<PortTable>(deviceDirectory);
}

PortTable::PortTable(std::filesystem::path deviceDirectory, SystemCalls& sys)
    : m_deviceDirectory(deviceDirectory.string()), m_sys(&sys) {}

std::string PortTable::ListName(unsigned number) { return "COM" + std::to_string(number); }

std::string PortTable::DevicePath(unsigned number) const {
  return m_deviceDirectory + ListName(number);
}

bool PortTable::PortPresent(unsigned number) const {
  if (number < kFirstComNumber || number > kLastComNumber) return false;
  const HANDLE probe =
      m_sys->CreateFileA(DevicePath(number).c_str(), 0, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (probe == INVALID_HANDLE_VALUE || probe == nullptr) {
    const DWORD error = ::GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
  }
  m_sys->CloseHandle(probe);
  return true;
}

std::vector<ListedPort> PortTable::DiscoverPorts() const {
  std::vector<ListedPort> ports;
  for (unsigned number = kFirstComNumber; number <= kLastComNumber; ++number) {
    if (!PortPresent(number)) continue;
    ListedPort port{number, ListName(number), {}};
    // The kernel device behind the name (\Device\Serial0, \Device\VCP0), when
    // the system keeps one; Wine does not for ports it did not make itself.
    char target[512] = {};
    if (::QueryDosDeviceA(port.name.c_str(), target, sizeof target) != 0) port.details = target;
    ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace quorvane
