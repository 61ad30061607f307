// libudev handles owned by unique_ptr, and what udev knows about a tty device.
#pragma once

#include <libudev.h>

#include <memory>
#include <string>

namespace quorvane {

struct UdevUnref {
  void operator()(udev* handle) const { udev_unref(handle); }
  void operator()(udev_device* handle) const { udev_device_unref(handle); }
  void operator()(udev_monitor* handle) const { udev_monitor_unref(handle); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevUnref>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevUnref>;

// Model, vendor, serial number and by-id link of the tty device with this
// kernel name ("ttyUSB0"), joined for a tooltip; empty when udev knows nothing.
std::string UdevDetails(const std::string& kernelName);

}  // namespace quorvane
