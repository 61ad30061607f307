// The application object: runs the main window modally as the program's only
// window, wires hot-plug notices and F1, and ends when the window closes.
#pragma once

#include <functional>

#include <QIcon>
#include <QString>

#include "serial/posix/device_watcher.h"
#include "serial/port_probe.h"
#include "serial/serial_link_interface.h"

class QWidget;

namespace quorvane {

class CControllerDlg;

inline constexpr const char* kProgramName = "Quorvane";

class CControllerApp {
 public:
  // watcher may be null (no hot-plug notices).
  CControllerApp(SerialLinkInterface& link, const PortProbe& ports, DeviceWatcher* watcher);

  // Creates the window, runs it modally and ends its session. Always false:
  // nothing runs after the window has closed.
  bool InitInstance();

  // Called with the window as it stands before it is run (demo hooks).
  template <typename Hook>
  void SetBeforeRun(Hook hook) {
    m_beforeRun = std::move(hook);
  }

  // The F1 box: program name, version, and that no help is installed.
  static void OnHelp(QWidget* parent);
  static QString HelpText();
  static QIcon AppIcon();
  CControllerDlg* MainWindow() const { return m_pMainWnd; }

 private:
  SerialLinkInterface& m_link;
  const PortProbe& m_ports;
  DeviceWatcher* m_watcher;
  CControllerDlg* m_pMainWnd = nullptr;
  std::function<void(CControllerDlg&)> m_beforeRun;
};

}  // namespace quorvane
