// The panel program: the serial ports of this machine, no arguments.
#include <cstdio>
#include <optional>

#include <QApplication>

#include "app/controller_app.h"
#include "app/gui_start.h"

int main(int argc, char** argv) {
  std::optional<quorvane::GuiStartGuard> starting(std::in_place, "quorvane");
  QApplication qapp(argc, argv);
  starting.reset();
  QApplication::setApplicationName("quorvane");
  QApplication::setApplicationVersion(QUORVANE_VERSION);
  QApplication::setWindowIcon(quorvane::CControllerApp::AppIcon());
  // Qt's own options (-platform, -display ...) are consumed above; the panel
  // itself has none and says so rather than silently ignoring them.
  for (int i = 1; i < argc; ++i)
    std::fprintf(stderr, "quorvane: takes no arguments; ignoring \"%s\"\n", argv[i]);

  // Program-wide objects, alive for the whole run of the window.
  quorvane::DeviceWatcher watcher("/dev");
  quorvane::CSerialLink link("/dev");
  quorvane::PortTable ports("/dev");
  quorvane::CControllerApp theApp(link, ports, &watcher);
  theApp.InitInstance();
  return 0;
}
