// The demo: the same panel with a virtual board attached as an extra port.
// Options (for trying it and for scripts): --open presses OpenPort once the
// window shows; --quit-after SECONDS closes the window after that long;
// --help and --version answer without a display.
#include "app/qt/demo_run.h"

namespace {

// A delimiter of its own: the quoted "(virtual board)" would end a plain R"(.
constexpr const char* kHelp = R"help(Usage: quorvane-demo [options]

The Quorvane control panel with a virtual laser driver board attached as an
extra port, "(virtual board)" in the port list, selected at start. Press
OpenPort to connect; the machine's own serial ports are listed as well.

  --open                press OpenPort once the window shows
  --quit-after SECONDS  close the window after SECONDS
  --help                print this help and exit
  --version             print the version and exit

It needs a graphical session; without one, xvfb-run -a quorvane-demo runs it
on a virtual display.
)help";

}  // namespace

int main(int argc, char** argv) {
  return quorvane::RunDemo(
      argc, argv,
      {.name = "quorvane-demo",
       .help = kHelp,
       .usage = "usage: quorvane-demo [--open] [--quit-after SECONDS] [--help | --version]\n"});
}
