// libudev monitor on the tty subsystem.
#include "serial/device_watcher.h"

#include <cstring>
#include <system_error>
#include <utility>

namespace quorvane {

DeviceWatcher::DeviceWatcher(std::filesystem::path udevControl) {
  std::error_code error;
  // Without the daemon libudev hands out a monitor that never fires; better to say so.
  if (!std::filesystem::exists(udevControl, error)) {
    m_unavailable =
        "udev is not running here: the port list is not refreshed when devices are "
        "plugged in or out.";
    return;
  }
  UdevPtr context(udev_new());
  UdevMonitorPtr monitor(context ? udev_monitor_new_from_netlink(context.get(), "udev") : nullptr);
  if (!monitor ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0) {
    m_unavailable =
        "Could not watch udev for device changes: the port list is not refreshed when "
        "devices are plugged in or out.";
    return;
  }
  m_udev = std::move(context);
  m_monitor = std::move(monitor);
}

int DeviceWatcher::Fd() const { return m_monitor ? udev_monitor_get_fd(m_monitor.get()) : -1; }

bool DeviceWatcher::DrainChanges() {
  if (!m_monitor) return false;
  bool changed = false;
  // The monitor's socket is non-blocking: receive returns null once it is empty.
  while (UdevDevicePtr device{udev_monitor_receive_device(m_monitor.get())}) {
    const char* action = udev_device_get_action(device.get());
    if (action != nullptr && (!std::strcmp(action, "add") || !std::strcmp(action, "remove")))
      changed = true;
  }
  return changed;
}

std::string DeviceWatcher::TakeUnavailableNotice() { return std::exchange(m_unavailable, {}); }

}  // namespace quorvane
