// COM1..COM254 and the discovery of the ports present on this machine.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "serial/port_probe.h"
#include "serial/port_table.h"
#include "serial/win32/system_calls.h"

namespace quorvane {

class PortTable : public PortProbe {
 public:
  // Devices are named under deviceDirectory, the device namespace "\\.\"
  // unless a test says otherwise.
  explicit PortTable(std::filesystem::path deviceDirectory = DefaultDeviceDirectory(),
                     SystemCalls& sys = RealSystemCalls());

  // "COMn", the device name less its "\\.\" prefix.
  static std::string ListName(unsigned number);
  // "\\.\COMn", the name CreateFileA takes.
  std::string DevicePath(unsigned number) const;

  // Opens the device for an instant with no read or write rights. A port
  // held open by another program is present too: the system refuses the
  // probe because the port is busy, and the operator is better told so when
  // opening it than left looking for a port the list does not show.
  bool PortPresent(unsigned number) const override;
  std::vector<ListedPort> DiscoverPorts() const override;

 private:
  std::string m_deviceDirectory;  // ends in its separator: names are appended as they are
  SystemCalls* m_sys;
};

}  // namespace quorvane
