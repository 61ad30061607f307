// COM1..COM254 and the discovery of the ports present on this machine.
#pragma once

#include <string>
#include <vector>

#include "serial/port_probe.h"
#include "serial/win32/win32_calls.h"

namespace quorvane {

class PortTable : public PortProbe {
 public:
  PortTable();
  explicit PortTable(Win32Calls& calls);

  // "COMn", the device name less its "\\.\" prefix.
  static std::string ListName(unsigned number);
  // "\\.\COMn", the name CreateFileA takes.
  static std::string DevicePath(unsigned number);

  // Opens the device for an instant with no read or write rights. A port
  // held open by another program is present too: the system refuses the
  // probe because the port is busy, and the operator is better told so when
  // opening it than left looking for a port the list does not show.
  bool PortPresent(unsigned number) const override;
  std::vector<ListedPort> DiscoverPorts() const override;

 private:
  Win32Calls* m_sys;
};

}  // namespace quorvane
