// The panel program for Windows: the machine's COM ports, no arguments.
#include "controls/win32/windows_api.h"

#include "app/win32/controller_app.h"
#include "serial/serial_link.h"
#include "serial/win32/port_table.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The port list and the slider are common controls; they must be
  // registered before the dialog that holds them is created.
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_USEREX_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  // Program-wide objects, alive for the whole run of the window.
  quorvane::CSerialLink link;
  quorvane::PortTable ports;
  quorvane::CControllerApp theApp(link, ports);
  theApp.InitInstance();
  return 0;
}
