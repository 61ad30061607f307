// COM numbers 1..254 and the device paths behind them, and the discovery of the
// ports present, without ever opening a device.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "serial/port_probe.h"
#include "serial/port_table.h"

namespace quorvane {

// Fixed ranges: 1-32 ttyS0-31, 33-64 ttyUSB0-31, 65-96 ttyACM0-31,
// 97-128 ttyAMA0-31, 129-160 rfcomm0-31; 161..254 have no device.
class PortTable : public PortProbe {
 public:
  explicit PortTable(std::filesystem::path deviceDirectory = DefaultDeviceDirectory(),
                     std::filesystem::path sysClassTty = "/sys/class/tty");

  std::optional<std::filesystem::path> DevicePath(unsigned number) const;
  std::optional<unsigned> NumberOf(const std::string& deviceFileName) const;
  std::string ListName(unsigned number) const;

  bool PortPresent(unsigned number) const override;
  std::vector<ListedPort> DiscoverPorts() const override;

 private:
  std::filesystem::path m_deviceDirectory;
  std::filesystem::path m_sysClassTty;
};

}  // namespace quorvane
