// The demo's set-up: a virtual board on a pseudo-terminal, listed among the
// machine's own ports, selected first, behind the real window and link.
#include "app/qt/demo_run.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "app/qt/controller_app.h"
#include "app/qt/controller_dlg.h"
#include "app/qt/demo_ports.h"
#include "app/qt/gui_start.h"
#include "app/qt/info_options.h"
#include "controller/control_ids.h"
#include "history/csv_file.h"
#include "quorvane_version.h"  // generated in the build folder
#include "serial/serial_link.h"
#include "sim/pty_board.h"

namespace quorvane {

namespace {

std::optional<DemoOptions> ParseOptions(const QStringList& args, DemoHooks* hooks) {
  DemoOptions options;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == "--open") {
      options.open = true;
    } else if (arg == "--quit-after" && i + 1 < args.size()) {
      bool ok = false;
      options.quitAfterSeconds = args[++i].toInt(&ok);
      if (!ok || options.quitAfterSeconds <= 0) return std::nullopt;
    } else if (hooks == nullptr || !hooks->TakeOption(args, i, options)) {
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace

int RunDemo(int argc, char** argv, const DemoProgram& program) {
  // Before Qt, so both answer where no display can be opened.
  if (const std::optional<int> status = AnswerInfoOption(argc, argv, program.name, program.help))
    return *status;
  std::optional<GuiStartGuard> starting(std::in_place, program.name);
  QApplication qapp(argc, argv);
  TakeFileSizeLimitAsWriteError();
  starting.reset();
  QApplication::setApplicationName(program.name);
  QApplication::setApplicationVersion(QUORVANE_VERSION);
  QApplication::setWindowIcon(CControllerApp::AppIcon());
  const std::optional<DemoOptions> options = ParseOptions(QApplication::arguments(), program.hooks);
  if (!options) {
    std::fputs(program.usage, stderr);
    return 2;
  }

  try {
    MirroredPortDirectory ports("/dev");
    const std::string name = ports.ReserveVirtualName();
    if (name.empty()) {
      std::fprintf(stderr, "%s: no free port name for the virtual board\n", program.name);
      return 1;
    }
    // A board that is already running, so the panel has something to show.
    sim::PtyBoardOptions boardOptions{.pace = true, .link = ports.Path() / name};
    boardOptions.board.parameters.currentSetpoint = 1200;
    boardOptions.board.parameters.softActive = 1;
    if (program.hooks != nullptr) program.hooks->SetUpBoard(boardOptions.board.switches);
    sim::PtyBoard board(boardOptions);
    const DemoPortProbe probe(ports, name, "Virtual board on " + board.SlavePath().string());
    DeviceWatcher watcher("/dev");  // where plugging happens, not the mirror
    CSerialLink link(ports.Path());
    CControllerApp theApp(link, probe, &watcher, options->limits);
    theApp.SetBeforeRun([&](CControllerDlg& dlg) {
      // The virtual board is the one to try first.
      const int count = dlg.GetController().PortCount();
      for (int i = 0; i < count; ++i) {
        dlg.SelectPort(i);
        if (dlg.GetText(IDC_PORT_LIST).find(DemoPortProbe::kVirtualSuffix) != std::string::npos)
          break;
      }
      if (options->open)
        QTimer::singleShot(
            0, &dlg, [&dlg] { static_cast<QPushButton*>(dlg.Control(IDC_OPEN_PORT))->click(); });
      if (options->quitAfterSeconds > 0)
        QTimer::singleShot(options->quitAfterSeconds * 1000, &dlg, &QWidget::close);
      if (program.hooks != nullptr) program.hooks->BeforeRun(dlg);
    });
    theApp.InitInstance();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", program.name, error.what());
    return 1;
  }
  return 0;
}

}  // namespace quorvane
