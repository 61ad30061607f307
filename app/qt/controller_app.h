// The application object: runs the main window modally as the program's only
// window, wires hot-plug notices and F1, and ends when the window closes.
#pragma once

#include <functional>
#include <string>

#include <QIcon>
#include <QString>

#include "limits/lab_limits.h"
#include "serial/port_probe.h"
#include "serial/posix/device_watcher.h"
#include "serial/serial_link_interface.h"

class QWidget;

namespace quorvane {

class CControllerDlg;

inline constexpr const char* kProgramName = "Quorvane";

class CControllerApp {
 public:
  // watcher may be null (no hot-plug notices). limits: where the window reads
  // the lab's limits (the system's lab file unless a demo's test hooks say).
  CControllerApp(SerialLinkInterface& link, const PortProbe& ports, DeviceWatcher* watcher,
                 LimitsSources limits = {});

  // Creates the window, runs it modally and ends its session. Always false:
  // nothing runs after the window has closed.
  bool InitInstance();

  // Called with the window as it stands before it is run (demo hooks).
  template <typename Hook>
  void SetBeforeRun(Hook hook) {
    m_beforeRun = std::move(hook);
  }

  // The F1 box over the window: program name, version, that no help is
  // installed, the keys, and the lab's limits (CControllerDlg::LimitsHelpText).
  static void OnHelp(CControllerDlg& dlg);
  static QString HelpText(const std::string& limitsText);
  static QIcon AppIcon();
  CControllerDlg* MainWindow() const { return m_pMainWnd; }

 private:
  SerialLinkInterface& m_link;
  const PortProbe& m_ports;
  DeviceWatcher* m_watcher;
  LimitsSources m_limits;
  CControllerDlg* m_pMainWnd = nullptr;
  std::function<void(CControllerDlg&)> m_beforeRun;
};

}  // namespace quorvane
