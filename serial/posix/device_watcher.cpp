// Hot-plug notices from the udev daemon and from the device directory, merged.
#include "serial/posix/device_watcher.h"

#include <sys/epoll.h>
#include <sys/inotify.h>

#include <cstring>
#include <utility>

#include "serial/posix/udev_handles.h"

namespace quorvane {
namespace {

class UdevNotices : public DeviceNoticeSource {
 public:
  UdevNotices(UdevPtr context, UdevMonitorPtr monitor)
      : m_udev(std::move(context)), m_monitor(std::move(monitor)) {}
  int Fd() const override { return udev_monitor_get_fd(m_monitor.get()); }
  void Drain(std::vector<std::string>& names) override {
    // The monitor's socket is non-blocking: receive returns null once it is empty.
    while (UdevDevicePtr device{udev_monitor_receive_device(m_monitor.get())}) {
      const char* action = udev_device_get_action(device.get());
      const char* name = udev_device_get_sysname(device.get());
      if (action != nullptr && name != nullptr &&
          (!std::strcmp(action, "add") || !std::strcmp(action, "remove")))
        names.emplace_back(name);
    }
  }

 private:
  UdevPtr m_udev;
  UdevMonitorPtr m_monitor;
};

}  // namespace

std::unique_ptr<DeviceNoticeSource> OpenUdevNotices(const std::filesystem::path& udevControl) {
  std::error_code error;
  // Without the daemon libudev hands out a monitor that never fires.
  if (!std::filesystem::exists(udevControl, error)) return nullptr;
  UdevPtr context(udev_new());
  UdevMonitorPtr monitor(context ? udev_monitor_new_from_netlink(context.get(), "udev") : nullptr);
  if (!monitor ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0)
    return nullptr;
  return std::make_unique<UdevNotices>(std::move(context), std::move(monitor));
}

DeviceWatcher::DeviceWatcher(std::filesystem::path deviceDirectory,
                             std::unique_ptr<DeviceNoticeSource> udev, SystemCalls& sys)
    : m_sys(&sys),
      m_directory(std::move(deviceDirectory)),
      m_table(m_directory),
      m_udev(std::move(udev)) {
  // The kernel creates and removes device files itself (devtmpfs), so the
  // directory tells of every plug even where no udev daemon runs. Links and
  // renames count too: that is how virtual ports and tests appear.
  UniqueFd inotify(RetryOnEintr([&] { return m_sys->InotifyInit1(IN_NONBLOCK | IN_CLOEXEC); }));
  if (inotify &&
      m_sys->InotifyAddWatch(inotify.Get(), m_directory.c_str(),
                             IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ONLYDIR) < 0)
    inotify.Reset();
  // One descriptor for the window to watch, readable while either source is.
  UniqueFd epoll(m_sys->EpollCreate1(EPOLL_CLOEXEC));
  const auto add = [&](int fd) {
    epoll_event watch{};
    watch.events = EPOLLIN;
    watch.data.fd = fd;
    return m_sys->EpollCtl(epoll.Get(), EPOLL_CTL_ADD, fd, &watch) == 0;
  };
  if (epoll && inotify && !add(inotify.Get())) inotify.Reset();
  if (epoll && m_udev && !add(m_udev->Fd())) m_udev.reset();
  if (inotify) m_inotify = std::move(inotify);
  if (m_inotify || m_udev) m_epoll = std::move(epoll);

  // What is there once watching has begun is what the window's first scan finds.
  Rescan();
  if (!m_epoll)
    m_unavailable =
        "Neither udev nor " + m_directory.string() +
        " can be watched here: the port list is not refreshed when devices are plugged in or out.";
  else if (!m_udev)
    m_unavailable = "udev is not running here: plugging is followed through " +
                    m_directory.string() + " instead, and port descriptions may be missing.";
}

bool DeviceWatcher::DrainChanges() {
  bool changed = m_inotify && DrainDirectory();
  if (m_udev) {
    std::vector<std::string> names;
    m_udev->Drain(names);
    for (const std::string& name : names)
      if (Note(name)) changed = true;
  }
  return changed;
}

bool DeviceWatcher::Note(const std::string& name) {
  if (!m_table.NumberOf(name)) return false;
  std::error_code error;
  const bool present = std::filesystem::exists(
      std::filesystem::symlink_status(m_directory / name, error));  // a dangling link is a file too
  bool& reported = m_present[name];
  if (reported == present) return false;
  reported = present;
  return true;
}

bool DeviceWatcher::DrainDirectory() {
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got =
        RetryOnEintr([&] { return m_sys->Read(m_inotify.Get(), buffer, sizeof buffer); });
    if (got <= 0) return changed;  // EAGAIN: every notice is read
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      // An overflowing queue dropped notices: only a fresh look is reliable.
      if ((event->mask & IN_Q_OVERFLOW) ? Rescan() : event->len > 0 && Note(event->name))
        changed = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

bool DeviceWatcher::Rescan() {
  std::vector<std::string> names;
  for (const auto& [name, present] : m_present) names.push_back(name);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(m_directory, error))
    names.push_back(entry.path().filename().string());
  bool changed = false;
  for (const std::string& name : names)
    if (Note(name)) changed = true;
  return changed;
}

std::string DeviceWatcher::TakeUnavailableNotice() { return std::exchange(m_unavailable, {}); }

}  // namespace quorvane
