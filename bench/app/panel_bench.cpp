// Timing harness of the whole panel (not a test): how long until the window
// shows, how much CPU and memory it takes while polling a board, and how long
// an RPL_STATUS takes from the wire to the measured-current display.
//   panel_bench startup --started-ns <CLOCK_REALTIME ns when the command began>
//   panel_bench run --seconds S [--reply-delay-ms D] [--pace]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include "app/qt/controller_dlg.h"
#include "bench/app/panel_session.h"
#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "serial/posix/device_watcher.h"
#include "serial/posix/port_table.h"
#include "serial/serial_link.h"
#include "sim/pty_board.h"
#include "tests/support/proc_figures.h"

namespace {

using namespace quorvane;
using namespace quorvane::bench;
using namespace quorvane::test;  // the process figures
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

long long RealtimeNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t index =
      std::min(values.size() - 1, static_cast<std::size_t>(p / 100.0 * values.size()));
  return values[index];
}

// The window with a stopwatch on the measured-current display.
class TimedDlg : public CControllerDlg {
 public:
  using CControllerDlg::CControllerDlg;
  void SetText(int controlId, std::string_view text) override {
    CControllerDlg::SetText(controlId, text);
    if (controlId == IDC_CURRENT_READ) shown.push_back(Clock::now());
  }
  std::vector<Clock::time_point> shown;
};

class ExposeWatch : public QObject {
 public:
  long long exposedNs = 0;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && exposedNs == 0 &&
        static_cast<QWindow*>(watched)->isExposed()) {
      exposedNs = RealtimeNs();
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return false;
  }
};

int Startup(long long startedNs) {
  // What main() of the panel does, up to the first frame on screen.
  DeviceWatcher watcher;
  CSerialLink link("/dev");
  PortTable ports("/dev");
  CControllerDlg dlg(link, ports);
  ExposeWatch watch;
  dlg.winId();
  dlg.windowHandle()->installEventFilter(&watch);
  dlg.show();
  QTimer::singleShot(10000, qApp, &QCoreApplication::quit);  // never hang a benchmark run
  QApplication::exec();
  if (watch.exposedNs == 0) {
    std::fprintf(stderr, "panel_bench: the window was never shown\n");
    return 1;
  }
  std::printf("window_shown_ms %.1f\n", (watch.exposedNs - startedNs) / 1e6);
  return 0;
}

int Run(int seconds, int replyDelayMs, bool pace) {
  QTemporaryDir dir;
  std::mutex repliesMutex;
  std::vector<Clock::time_point> replies;  // RPL_STATUS frames as they were written

  sim::PtyBoardOptions options;
  options.pace = pace;
  options.board.switches.replyDelay = std::chrono::milliseconds(replyDelayMs);
  options.link = fs::path(dir.path().toStdString()) / "ttyUSB0";
  options.observer = [&](const sim::WireEvent& event) {
    if (event.kind != sim::WireKind::kReply || event.bytes.size() < 4 ||
        event.bytes[3] != RPL_STATUS)
      return;
    std::lock_guard lock(repliesMutex);
    replies.push_back(event.time);
  };
  const std::set<std::string> before = Threads();
  sim::PtyBoard board(options);
  const std::set<std::string> boardThreads = ThreadsSince(before);

  CSerialLink link(dir.path().toStdString());
  PortTable ports(dir.path().toStdString());
  TimedDlg dlg(link, ports);
  dlg.show();
  if (!OpenAndSync(dlg, "panel_bench")) return 1;

  const long long cpuStart = CpuNsExcept(boardThreads);
  const Clock::time_point wallStart = Clock::now();
  dlg.shown.clear();
  QTimer::singleShot(seconds * 1000, &dlg, &QDialog::reject);
  dlg.exec();
  const double wallNs = std::chrono::duration<double, std::nano>(Clock::now() - wallStart).count();
  const long long cpuNs = CpuNsExcept(boardThreads) - cpuStart;
  const long rss = ResidentKiB();

  std::vector<double> latencies;
  {
    std::lock_guard lock(repliesMutex);
    for (const Clock::time_point shown : dlg.shown) {
      const auto written = std::upper_bound(replies.begin(), replies.end(), shown);
      if (written == replies.begin()) continue;
      latencies.push_back(
          std::chrono::duration<double, std::milli>(shown - *(written - 1)).count());
    }
  }
  std::printf("seconds %d reply_delay_ms %d pace %d\n", seconds, replyDelayMs, pace ? 1 : 0);
  std::printf("cpu_percent_of_one_core %.3f\n", 100.0 * cpuNs / wallNs);
  std::printf("rss_mib %.1f\n", rss / 1024.0);
  std::printf("status_replies_shown %zu\n", latencies.size());
  if (pace) {
    // Paced replies are stamped when their first byte leaves, not their last.
    std::printf("reply_to_display_ms n/a with paced replies\n");
  } else {
    std::printf("reply_to_display_ms p50 %.3f p99 %.3f max %.3f\n", Percentile(latencies, 50),
                Percentile(latencies, 99), Percentile(latencies, 100));
  }
  dlg.EndSession();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() >= 4 && args[1] == "startup" && args[2] == "--started-ns")
    return Startup(args[3].toLongLong());
  if (args.size() >= 4 && args[1] == "run" && args[2] == "--seconds") {
    int delay = 0;
    bool pace = false;
    for (qsizetype i = 4; i < args.size(); ++i) {
      if (args[i] == "--pace") pace = true;
      if (args[i] == "--reply-delay-ms" && i + 1 < args.size()) delay = args[++i].toInt();
    }
    return Run(args[3].toInt(), delay, pace);
  }
  std::fprintf(stderr,
               "usage: panel_bench startup --started-ns NS\n"
               "       panel_bench run --seconds S [--reply-delay-ms D] [--pace]\n");
  return 2;
}
