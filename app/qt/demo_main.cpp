// The demo: the same panel with a virtual board attached as an extra port.
// Options (for scripts): --open presses OpenPort once the window shows;
// --grab FILE saves the synced window to FILE and closes it;
// --quit-after SECONDS closes the window after that long;
// --close-after-ms MS asks the window to close after that long from a thread
// of its own, so the request is made even while the window thread is in a
// pause, and prints "close-requested-ns <CLOCK_REALTIME ns>" when it does;
// --noise BYTES_PER_SECOND has the board send noise between its replies;
// --hold-step presses the up step button once synced and never releases it;
// --help and --version answer without a display.
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "app/qt/controller_app.h"
#include "app/qt/controller_dlg.h"
#include "app/qt/demo_ports.h"
#include "app/qt/gui_start.h"
#include "app/qt/info_options.h"
#include "history/csv_file.h"
#include "serial/serial_link.h"
#include "controller/control_ids.h"
#include "sim/pty_board.h"

namespace {

// A delimiter of its own: the quoted "(virtual board)" would end a plain R"(.
constexpr const char* kHelp = R"help(Usage: quorvane-demo [options]

The Quorvane control panel with a virtual laser driver board attached as an
extra port, "(virtual board)" in the port list, selected at start. Press
OpenPort to connect; the machine's own serial ports are listed as well.

  --open                    press OpenPort once the window shows
  --grab FILE               open, save the synced window as an image to FILE
                            and close
  --quit-after SECONDS      close the window after SECONDS
  --close-after-ms MS       ask the window to close after MS milliseconds from
                            a thread of its own and print
                            "close-requested-ns <CLOCK_REALTIME ns>" then
  --noise BYTES_PER_SECOND  have the board send noise between its replies
  --hold-step               once synced, press the up step button of the
                            current and never release it
  --help                    print this help and exit
  --version                 print the version and exit

It needs a graphical session; without one, xvfb-run -a quorvane-demo runs it
on a virtual display.
)help";

struct DemoOptions {
  bool open = false;
  QString grabFile;
  int quitAfterSeconds = 0;
  int closeAfterMs = 0;
  double noiseBytesPerSecond = 0;
  bool holdStep = false;
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
    } else if (arg == "--close-after-ms" && i + 1 < args.size()) {
      bool ok = false;
      options.closeAfterMs = args[++i].toInt(&ok);
      if (!ok || options.closeAfterMs <= 0) return std::nullopt;
    } else if (arg == "--noise" && i + 1 < args.size()) {
      bool ok = false;
      options.noiseBytesPerSecond = args[++i].toDouble(&ok);
      if (!ok || options.noiseBytesPerSecond < 0) return std::nullopt;
    } else if (arg == "--hold-step") {
      options.holdStep = true;
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

// Presses the up step button once the panel is synced, as a hand that holds it.
void HoldStepWhenSynced(quorvane::CControllerDlg& dlg) {
  auto* timer = new QTimer(&dlg);
  QObject::connect(timer, &QTimer::timeout, &dlg, [&dlg, timer] {
    if (!dlg.GetController().Flags().synced) return;
    timer->stop();
    QWidget* up = dlg.Control(quorvane::IDC_CURRENT_UP);
    const QPointF at(up->width() / 2.0, up->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, up->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(up, &press);
  });
  timer->start(50);
}

// Closes the panel's window once it runs; a request that comes before the
// window is up is kept until it is.
void CloseTheWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dlg = qobject_cast<quorvane::CControllerDlg*>(widget);
    if (dlg != nullptr && dlg->isVisible()) {
      dlg->close();
      return;
    }
  }
  QTimer::singleShot(10, qApp, &CloseTheWindow);
}

// Asks the window to close after a delay, from its own thread: a request
// made by a timer of the window thread would wait out any pause that thread
// is in, and so would hide the pause from a measurement of the close.
class CloseRequester {
 public:
  explicit CloseRequester(std::chrono::milliseconds delay)
      : m_thread([this, delay] {
          std::unique_lock lock(m_mutex);
          if (m_cancel.wait_for(lock, delay, [this] { return m_cancelled; })) return;
          timespec now{};
          clock_gettime(CLOCK_REALTIME, &now);
          std::printf("close-requested-ns %lld\n", now.tv_sec * 1'000'000'000LL + now.tv_nsec);
          std::fflush(stdout);
          QMetaObject::invokeMethod(qApp, &CloseTheWindow, Qt::QueuedConnection);
        }) {}
  ~CloseRequester() {
    {
      std::lock_guard lock(m_mutex);
      m_cancelled = true;
    }
    m_cancel.notify_all();
    m_thread.join();
  }
  CloseRequester(const CloseRequester&) = delete;
  CloseRequester& operator=(const CloseRequester&) = delete;

 private:
  std::mutex m_mutex;  // guards m_cancelled
  std::condition_variable m_cancel;
  bool m_cancelled = false;
  std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
  // Before Qt, so both answer where no display can be opened.
  if (const std::optional<int> status =
          quorvane::AnswerInfoOption(argc, argv, "quorvane-demo", kHelp))
    return *status;
  std::optional<quorvane::GuiStartGuard> starting(std::in_place, "quorvane-demo");
  QApplication qapp(argc, argv);
  quorvane::TakeFileSizeLimitAsWriteError();
  starting.reset();
  QApplication::setApplicationName("quorvane-demo");
  QApplication::setApplicationVersion(QUORVANE_VERSION);
  QApplication::setWindowIcon(quorvane::CControllerApp::AppIcon());
  const std::optional<DemoOptions> options = ParseOptions(QApplication::arguments());
  if (!options) {
    std::fprintf(stderr,
                 "usage: quorvane-demo [--open] [--grab FILE] [--quit-after SECONDS]\n"
                 "                     [--close-after-ms MS] [--noise BYTES_PER_SECOND] "
                 "[--hold-step]\n");
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
    boardOptions.board.switches.noiseBytesPerSecond = options->noiseBytesPerSecond;
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
      if (options->holdStep) HoldStepWhenSynced(dlg);
      if (options->quitAfterSeconds > 0)
        QTimer::singleShot(options->quitAfterSeconds * 1000, &dlg, &QWidget::close);
    });
    // Started with the window's run; cancelled if the window closed first.
    std::optional<CloseRequester> closer;
    if (options->closeAfterMs > 0) closer.emplace(std::chrono::milliseconds(options->closeAfterMs));
    theApp.InitInstance();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvane-demo: %s\n", error.what());
    return 1;
  }
  return 0;
}
