// Timing harness of the whole panel (not a test): how long until the window
// shows, how much CPU and memory it takes while polling a board, and how long
// an RPL_STATUS takes from the wire to the measured-current display.
//   panel_bench startup --started-ns <CLOCK_REALTIME ns when the command began>
//   panel_bench run --seconds S [--reply-delay-ms D] [--pace]
//   panel_bench respond --seconds S   the window thread's delays while polling,
//                                     and the gaps the board saw between frames
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
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
#include "bench/support/spread.h"
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

void PrintSpread(const char* name, const std::vector<double>& values) {
  std::printf("%s n %zu p50 %.3f p99 %.3f max %.3f\n", name, values.size(), Percentile(values, 50),
              Percentile(values, 99), Percentile(values, 100));
}

double Ms(sim::SimTime from, sim::SimTime to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs the window's loop for a while, as exec() would.
void Turn(std::chrono::milliseconds span) {
  const Clock::time_point end = Clock::now() + span;
  while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

int Respond(int seconds) {
  QTemporaryDir dir;
  sim::PtyBoardOptions options;
  options.pace = true;
  options.link = fs::path(dir.path().toStdString()) / "ttyUSB0";
  sim::PtyBoard board(options);
  CSerialLink link(dir.path().toStdString());
  PortTable ports(dir.path().toStdString());
  CControllerDlg dlg(link, ports);
  dlg.show();
  if (!OpenAndSync(dlg, "panel_bench")) return 1;

  // Synced and polling: a 5 ms timer on the window thread, and an event
  // posted to it from another thread every 5 ms.
  std::vector<double> timerLate, postedDelay;  // window thread only
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  Clock::time_point due = Clock::now() + std::chrono::milliseconds(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    timerLate.push_back(
        std::max(0.0, std::chrono::duration<double, std::milli>(now - due).count()));
    due = now + std::chrono::milliseconds(5);
  });
  tick.start(5);
  std::atomic<bool> stop{false};
  std::thread poster([&] {
    while (!stop.load()) {
      const Clock::time_point posted = Clock::now();
      QMetaObject::invokeMethod(
          &dlg,
          [&postedDelay, posted] {
            postedDelay.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
          },
          Qt::QueuedConnection);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const std::size_t journalStart = board.Board().Journal().size();
  Turn(std::chrono::seconds(seconds));
  stop = true;
  poster.join();
  tick.stop();
  QCoreApplication::processEvents();
  std::printf("seconds %d (synced, polling the paced board)\n", seconds);
  PrintSpread("timer_5ms_late_ms", timerLate);
  PrintSpread("posted_event_delay_ms", postedDelay);

  std::vector<sim::JournalEntry> journal = board.Board().Journal();
  journal.erase(journal.begin(), journal.begin() + static_cast<std::ptrdiff_t>(journalStart));
  std::vector<double> period, afterQuery;
  for (std::size_t i = 0; i + 1 < journal.size(); ++i) {
    if (journal[i].code != CMD_READ_STATUS) continue;
    afterQuery.push_back(Ms(journal[i].time, journal[i + 1].time));
    for (std::size_t j = i + 1; j < journal.size(); ++j) {
      if (journal[j].code != CMD_READ_STATUS) continue;
      period.push_back(Ms(journal[i].time, journal[j].time));
      break;
    }
  }
  PrintSpread("wire_status_query_period_ms", period);
  PrintSpread("wire_status_query_to_next_frame_ms", afterQuery);

  // Each operator command once, its frames' gaps as the board saw them.
  // The first frame of code sent since mark, and the gap to the frame after it.
  const auto gapAfter = [&](std::size_t mark, std::uint8_t code, const char* name) {
    Turn(std::chrono::milliseconds(1200));
    const std::vector<sim::JournalEntry> all = board.Board().Journal();
    for (std::size_t i = mark; i + 1 < all.size(); ++i) {
      if (all[i].code != code) continue;
      std::printf("%s %.1f\n", name, Ms(all[i].time, all[i + 1].time));
      return;
    }
    std::printf("%s none\n", name);
  };
  Turn(std::chrono::milliseconds(600));
  std::size_t mark = board.Board().Journal().size();
  static_cast<QLineEdit*>(dlg.Control(IDC_FREQUENCY_EDIT))->setText("20.5");
  static_cast<QPushButton*>(dlg.Control(IDC_SET_FREQUENCY))->click();
  gapAfter(mark, CMD_SET_FREQUENCY, "wire_setting_repeat_gap_ms");
  mark = board.Board().Journal().size();
  static_cast<QSlider*>(dlg.Control(IDC_CURRENT_SLIDER))->setValue(1234);
  gapAfter(mark, CMD_SET_CURRENT, "wire_slider_setpoint_to_query_ms");
  mark = board.Board().Journal().size();
  static_cast<QPushButton*>(dlg.Control(IDC_SOFT_ACTIVE))->click();
  gapAfter(mark, CMD_SET_SOFT_ACTIVE, "wire_soft_active_to_next_frame_ms");
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
  if (args.size() >= 4 && args[1] == "respond" && args[2] == "--seconds")
    return Respond(args[3].toInt());
  std::fprintf(stderr,
               "usage: panel_bench startup --started-ns NS\n"
               "       panel_bench run --seconds S [--reply-delay-ms D] [--pace]\n"
               "       panel_bench respond --seconds S\n");
  return 2;
}
