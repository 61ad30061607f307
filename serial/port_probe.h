// COM numbers and what the controller needs to list ports and to probe the
// open one. Every platform's port table implements PortProbe.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

inline constexpr unsigned kFirstComNumber = 1;
inline constexpr unsigned kLastComNumber = 254;

struct ListedPort {
  unsigned number = 0;  // COM number
  std::string name;     // list name: "ttyUSB0" on Linux, "COM3" on Windows
  std::string details;  // what the system knows of the device, for a tooltip; may be empty
};

class PortProbe {
 public:
  virtual ~PortProbe() = default;
  virtual bool PortPresent(unsigned number) const = 0;
  // Present ports in increasing number.
  virtual std::vector<ListedPort> DiscoverPorts() const = 0;
};

}  // namespace quorvane
