// Tells the window when a tty device comes or goes, so it can rescan the
// ports; without udev it says so once and stays silent.
#pragma once

#include <filesystem>
#include <string>

#include "serial/udev_handles.h"

namespace quorvane {

// Owner's thread only. Create it before the first scan so no arrival falls
// between the scan and the start of watching.
class DeviceWatcher {
 public:
  // udevControl is the socket that exists while the udev daemon runs.
  explicit DeviceWatcher(std::filesystem::path udevControl = "/run/udev/control");

  bool Available() const { return m_monitor != nullptr; }
  // Readable when notices are waiting; -1 when unavailable.
  int Fd() const;
  // Reads every waiting notice; true when a tty device was added or removed.
  bool DrainChanges();
  // Why hot-plug notices are missing: the text on the first call, then empty.
  std::string TakeUnavailableNotice();

 private:
  UdevPtr m_udev;
  UdevMonitorPtr m_monitor;
  std::string m_unavailable;
};

}  // namespace quorvane
