// The demo: the same panel with a virtual board attached as an extra port.
// Options (for scripts): --open presses OpenPort once the window shows;
// --grab FILE saves the synced window to FILE and closes it;
// --quit-after SECONDS closes the window after that long.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "app/controller_app.h"
#include "app/controller_dlg.h"
#include "app/demo_ports.h"
#include "app/gui_start.h"
#include "controller/control_ids.h"
#include "sim/pty_board.h"

namespace {

struct DemoOptions {
  bool open = false;
  QString grabFile;
  int quitAfterSeconds = 0;
};

std::optional<DemoOptions> ParseOptions(const QStringList& args) {
  DemoOptions options;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == "--open") {
      options.open = true;
    } else if (arg == "--grab" && i + 1 < args.size()) {
      options.grabFile = args[++i];
      options.open = true;
    } else if (arg == "--quit-after" && i + 1 < args.size()) {
      bool ok = false;
      options.quitAfterSeconds = args[++i].toInt(&ok);
      if (!ok || options.quitAfterSeconds <= 0) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  return options;
}

// Saves the window once it is synced and the first readings are shown.
void GrabWhenSynced(quorvane::CControllerDlg& dlg, const QString& file) {
  auto* timer = new QTimer(&dlg);
  QObject::connect(timer, &QTimer::timeout, &dlg, [&dlg, file, timer] {
    if (!dlg.GetController().Flags().synced || dlg.GetText(quorvane::IDC_PUMP_TEMP).empty()) return;
    timer->stop();
    if (!dlg.grab().save(file))
      std::fprintf(stderr, "quorvane-demo: cannot write %s\n", qPrintable(file));
    dlg.close();
  });
  timer->start(100);
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<quorvane::GuiStartGuard> starting(std::in_place, "quorvane-demo");
  QApplication qapp(argc, argv);
  starting.reset();
  QApplication::setApplicationName("quorvane-demo");
  QApplication::setApplicationVersion(QUORVANE_VERSION);
  QApplication::setWindowIcon(quorvane::CControllerApp::AppIcon());
  const std::optional<DemoOptions> options = ParseOptions(QApplication::arguments());
  if (!options) {
    std::fprintf(stderr, "usage: quorvane-demo [--open] [--grab FILE] [--quit-after SECONDS]\n");
    return 2;
  }

  try {
    quorvane::MirroredPortDirectory ports("/dev");
    const std::string name = ports.ReserveVirtualName();
    if (name.empty()) {
      std::fprintf(stderr, "quorvane-demo: no free port name for the virtual board\n");
      return 1;
    }
    // A board that is already running, so the panel has something to show.
    quorvane::sim::PtyBoardOptions boardOptions{.pace = true, .link = ports.Path() / name};
    boardOptions.board.parameters.currentSetpoint = 1200;
    boardOptions.board.parameters.softActive = 1;
    quorvane::sim::PtyBoard board(boardOptions);
    const quorvane::DemoPortProbe probe(ports, name,
                                        "Virtual board on " + board.SlavePath().string());
    quorvane::DeviceWatcher watcher("/dev");  // where plugging happens, not the mirror
    quorvane::CSerialLink link(ports.Path());
    quorvane::CControllerApp theApp(link, probe, &watcher);
    theApp.SetBeforeRun([&](quorvane::CControllerDlg& dlg) {
      // The virtual board is the one to try first.
      const int count = dlg.GetController().PortCount();
      for (int i = 0; i < count; ++i) {
        dlg.SelectPort(i);
        if (dlg.GetText(quorvane::IDC_PORT_LIST).find(quorvane::DemoPortProbe::kVirtualSuffix) !=
            std::string::npos)
          break;
      }
      if (options->open)
        QTimer::singleShot(0, &dlg, [&dlg] {
          static_cast<QPushButton*>(dlg.Control(quorvane::IDC_OPEN_PORT))->click();
        });
      if (!options->grabFile.isEmpty()) GrabWhenSynced(dlg, options->grabFile);
      if (options->quitAfterSeconds > 0)
        QTimer::singleShot(options->quitAfterSeconds * 1000, &dlg, &QWidget::close);
    });
    theApp.InitInstance();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvane-demo: %s\n", error.what());
    return 1;
  }
  return 0;
}
