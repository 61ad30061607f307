// The application object: runs the main window as the program's only window,
// shows the F1 box, and ends when the window closes.
#pragma once

#include "controls/win32/windows_api.h"

#include <functional>
#include <string>

#include "serial/port_probe.h"
#include "serial/serial_link_interface.h"

namespace quorvane {

class CControllerApp {
 public:
  CControllerApp(SerialLinkInterface& link, const PortProbe& ports);

  // Creates the window, runs it and ends its session. Always false: nothing
  // runs after the window has closed.
  bool InitInstance();

  // The F1 box: program name, version, that no help is installed, the keys,
  // and the lab's limits (CControllerDlg::LimitsHelpText).
  static void OnHelp(HWND parent, const std::string& limitsText);
  static std::wstring HelpText(const std::string& limitsText);

 private:
  SerialLinkInterface& m_link;
  const PortProbe& m_ports;
};

}  // namespace quorvane
