// The panel program: the serial ports of this machine; no arguments beyond
// --help and --version.
#include <cstdio>
#include <optional>

#include <QApplication>

#include "app/qt/controller_app.h"
#include "app/qt/gui_start.h"
#include "app/qt/info_options.h"
#include "history/csv_file.h"
#include "quorvane_version.h"  // generated in the build folder
#include "serial/posix/port_table.h"
#include "serial/serial_link.h"

namespace {

constexpr const char* kHelp = R"(Usage: quorvane [--help | --version]

Control panel for the pulsed laser driver board on a serial port. Pick the
board's port in the list (ttyS*, ttyUSB*, ttyACM*, ttyAMA*, rfcomm* under /dev),
press OpenPort, then read the board's set-points and readings and send new
settings. The list follows ports as they are plugged in and pulled out.

  --help     print this help and exit
  --version  print the version and exit

Any other argument is ignored with a warning. Qt's own options (such as
-platform NAME) are accepted. The panel needs a graphical session; without
one, xvfb-run -a quorvane runs it on a virtual display. Opening a port needs
read and write access to its device, usually membership of the group dialout.
)";

}  // namespace

int main(int argc, char** argv) {
  // Before Qt, so both answer where no display can be opened.
  if (const std::optional<int> status = quorvane::AnswerInfoOption(argc, argv, "quorvane", kHelp))
    return *status;
  std::optional<quorvane::GuiStartGuard> starting(std::in_place, "quorvane");
  QApplication qapp(argc, argv);
  quorvane::TakeFileSizeLimitAsWriteError();
  starting.reset();
  QApplication::setApplicationName("quorvane");
  QApplication::setApplicationVersion(QUORVANE_VERSION);
  QApplication::setWindowIcon(quorvane::CControllerApp::AppIcon());
  // Qt's own options (-platform, -display ...) are consumed above and --help
  // and --version never get here; anything else is named rather than silently
  // ignored.
  for (int i = 1; i < argc; ++i)
    std::fprintf(stderr, "quorvane: takes no arguments but --help and --version; ignoring \"%s\"\n",
                 argv[i]);

  // Program-wide objects, alive for the whole run of the window.
  quorvane::DeviceWatcher watcher("/dev");
  quorvane::CSerialLink link("/dev");
  quorvane::PortTable ports("/dev");
  quorvane::CControllerApp theApp(link, ports, &watcher);
  theApp.InitInstance();
  return 0;
}
