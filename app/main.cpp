// The panel program: the serial ports of this machine, no arguments.
#include <cstdio>

#include <QApplication>

#include "app/controller_app.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
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
