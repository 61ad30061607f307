// The port table of this system, for programs that list ports the same way on
// every platform; each platform's own table is in posix/ or win32/.
#pragma once

#include <filesystem>
#include <memory>

#include "serial/port_probe.h"

namespace quorvane {

// Where this system names its port devices: "/dev" on Linux, the device
// namespace "\\.\" on Windows. A link or a table given another directory
// looks its devices up there (tests point it at a folder of links).
std::filesystem::path DefaultDeviceDirectory();

// This system's port table over deviceDirectory.
std::unique_ptr<PortProbe> MakePortTable(
    const std::filesystem::path& deviceDirectory = DefaultDeviceDirectory());

}  // namespace quorvane
