// quorvane-demo-hooks: the demo with options for tests and scripts that the
// shipped demo must not carry. Never installed.
// --grab FILE saves the synced window to FILE and closes it;
// --close-after-ms MS asks the window to close after that long from a thread
// of its own, so the request is made even while the window thread is in a
// pause, and prints "close-requested-ns <CLOCK_REALTIME ns>" when it does;
// --noise BYTES_PER_SECOND has the board send noise between its replies;
// --hold-step presses the up step button once synced and never releases it;
// --lab-limits FILE reads the lab's limits from FILE rather than the system's.
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

#include "app/qt/controller_dlg.h"
#include "app/qt/demo_run.h"
#include "controller/control_ids.h"
#include "sim/virtual_board.h"

namespace {

using quorvane::CControllerDlg;

// A delimiter of its own: the quoted "(virtual board)" would end a plain R"(.
constexpr const char* kHelp = R"help(Usage: quorvane-demo-hooks [options]

The demo, quorvane-demo, with options for tests and scripts.

  --open                    press OpenPort once the window shows
  --quit-after SECONDS      close the window after SECONDS
  --grab FILE               open, save the synced window as an image to FILE
                            and close
  --close-after-ms MS       ask the window to close after MS milliseconds from
                            a thread of its own and print
                            "close-requested-ns <CLOCK_REALTIME ns>" then
  --noise BYTES_PER_SECOND  have the board send noise between its replies
  --hold-step               once synced, press the up step button of the
                            current and never release it
  --lab-limits FILE         read the lab's limits from FILE (any owner)
  --help                    print this help and exit
  --version                 print the version and exit
)help";

constexpr const char* kUsage =
    "usage: quorvane-demo-hooks [--open] [--quit-after SECONDS] [--grab FILE]\n"
    "                           [--close-after-ms MS] [--noise BYTES_PER_SECOND] [--hold-step]\n"
    "                           [--lab-limits FILE]\n";

// Saves the window once it is synced and the first readings are shown.
void GrabWhenSynced(CControllerDlg& dlg, const QString& file) {
  auto* timer = new QTimer(&dlg);
  QObject::connect(timer, &QTimer::timeout, &dlg, [&dlg, file, timer] {
    if (!dlg.GetController().Flags().synced || dlg.GetText(quorvane::IDC_PUMP_TEMP).empty()) return;
    timer->stop();
    if (!dlg.grab().save(file))
      std::fprintf(stderr, "quorvane-demo-hooks: cannot write %s\n", qPrintable(file));
    dlg.close();
  });
  timer->start(100);
}

// Presses the up step button once the panel is synced, as a hand that holds it.
void HoldStepWhenSynced(CControllerDlg& dlg) {
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
// window shows is kept until it does.
void CloseTheWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dlg = qobject_cast<CControllerDlg*>(widget);
    if (dlg != nullptr && dlg->isVisible()) {
      dlg->close();
      return;
    }
  }
  QTimer::singleShot(10, qApp, &CloseTheWindow);
}

// Asks the window to close after a delay, from its own thread: a request
// made by a timer of the window thread would wait out any pause that thread
// is in, and so would hide the pause from a measurement of the close. A child
// of the window: cancelled if the window ends first.
// Thread contract: constructed and destroyed on the window thread; the
// request is made on the requester's own thread.
class CloseRequester : public QObject {
 public:
  CloseRequester(std::chrono::milliseconds delay, QObject* window) : QObject(window) {
    m_thread = std::thread([this, delay] {
      std::unique_lock lock(m_mutex);
      if (m_cancel.wait_for(lock, delay, [this] { return m_cancelled; })) return;
      timespec now{};
      clock_gettime(CLOCK_REALTIME, &now);
      std::printf("close-requested-ns %lld\n", now.tv_sec * 1'000'000'000LL + now.tv_nsec);
      std::fflush(stdout);
      QMetaObject::invokeMethod(qApp, &CloseTheWindow, Qt::QueuedConnection);
    });
  }
  ~CloseRequester() override {
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

class TestHooks : public quorvane::DemoHooks {
 public:
  bool TakeOption(const QStringList& args, qsizetype& i, quorvane::DemoOptions& options) override {
    const QString& arg = args[i];
    if (arg == "--hold-step") {
      m_holdStep = true;
      return true;
    }
    if (i + 1 >= args.size()) return false;
    const QString& value = args[++i];
    bool ok = false;
    if (arg == "--grab") {
      m_grabFile = value;
      options.open = true;
      return true;
    }
    if (arg == "--lab-limits") {
      options.limits.labFile = value.toStdString();
      options.limits.labFileMustBeRoots = false;
      return true;
    }
    if (arg == "--close-after-ms") {
      m_closeAfterMs = value.toInt(&ok);
      return ok && m_closeAfterMs > 0;
    }
    if (arg == "--noise") {
      m_noiseBytesPerSecond = value.toDouble(&ok);
      return ok && m_noiseBytesPerSecond >= 0;
    }
    return false;
  }

  void SetUpBoard(quorvane::sim::BoardSwitches& switches) override {
    switches.noiseBytesPerSecond = m_noiseBytesPerSecond;
  }

  void BeforeRun(CControllerDlg& dlg) override {
    if (!m_grabFile.isEmpty()) GrabWhenSynced(dlg, m_grabFile);
    if (m_holdStep) HoldStepWhenSynced(dlg);
    // Started with the window's run, so the delay counts from there.
    if (m_closeAfterMs > 0) new CloseRequester(std::chrono::milliseconds(m_closeAfterMs), &dlg);
  }

 private:
  QString m_grabFile;
  int m_closeAfterMs = 0;
  double m_noiseBytesPerSecond = 0;
  bool m_holdStep = false;
};

}  // namespace

int main(int argc, char** argv) {
  TestHooks hooks;
  return quorvane::RunDemo(
      argc, argv, {.name = "quorvane-demo-hooks", .help = kHelp, .usage = kUsage, .hooks = &hooks});
}
