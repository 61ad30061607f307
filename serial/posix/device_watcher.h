// Tells the window when a serial device comes or goes, so it can rescan the
// ports: from the udev daemon where it runs, and from the device directory
// itself, so hot-plug also works where no udev daemon runs (containers, WSL).
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "serial/posix/port_table.h"
#include "serial/posix/system_calls.h"

namespace quorvane {

// A source of device notices besides the directory: the udev daemon's
// rebroadcasts; tests stand in for it. Used on the watcher's thread only.
class DeviceNoticeSource {
 public:
  virtual ~DeviceNoticeSource() = default;
  // Readable while notices wait.
  virtual int Fd() const = 0;
  // Appends the device file name ("ttyUSB0") of every tty added or removed
  // since the last call.
  virtual void Drain(std::vector<std::string>& names) = 0;
};

// The udev daemon's tty notices; null when it does not run here (udevControl
// is the socket that exists while it runs) or cannot be listened to.
std::unique_ptr<DeviceNoticeSource> OpenUdevNotices(
    const std::filesystem::path& udevControl = "/run/udev/control");

// Owner's thread only. Create it before the first scan so no arrival falls
// between the scan and the start of watching.
class DeviceWatcher {
 public:
  // deviceDirectory is the port table's (where plugging creates and removes
  // device files); udev may be null.
  explicit DeviceWatcher(std::filesystem::path deviceDirectory = "/dev",
                         std::unique_ptr<DeviceNoticeSource> udev = OpenUdevNotices(),
                         SystemCalls& sys = RealSystemCalls());

  // Some source of notices works.
  bool Available() const { return m_epoll.Valid(); }
  // Readable when notices are waiting from either source; -1 when unavailable.
  int Fd() const { return m_epoll.Get(); }
  // Reads every waiting notice; true when some port appeared or disappeared
  // since the last report. Both sources report one plug: the state per name
  // makes it one change.
  bool DrainChanges();
  // What hot-plug lacks here: the text on the first call, then empty.
  std::string TakeUnavailableNotice();

 private:
  // Compares the name's presence now with the presence last reported; true
  // (and remembered) when it flipped. Names the table does not map are ignored.
  bool Note(const std::string& name);
  bool DrainDirectory();
  // Every name known or present; after lost directory notices.
  bool Rescan();

  SystemCalls* m_sys;
  std::filesystem::path m_directory;
  PortTable m_table;
  std::unique_ptr<DeviceNoticeSource> m_udev;
  UniqueFd m_inotify;
  UniqueFd m_epoll;  // the inotify descriptor and the udev source's, watched as one
  std::map<std::string, bool> m_present;  // per port name: the presence last reported
  std::string m_unavailable;
};

}  // namespace quorvane
