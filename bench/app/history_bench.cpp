// Timing harness of the readings history (not a test): what the history
// window costs a polling panel, what a full ring weighs, and how long one
// redraw of a full ring takes.
//   history_bench window --seconds S [--rounds N] [--pace]
//   history_bench ring
//   history_bench redraw [--repeats N] [--runs R]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include "app/qt/controller_dlg.h"
#include "app/qt/history_window.h"
#include "app/qt/trend_chart.h"
#include "bench/app/panel_session.h"
#include "controller/control_ids.h"
#include "history/readings_log.h"
#include "serial/posix/port_table.h"
#include "serial/serial_link.h"
#include "sim/pty_board.h"
#include "tests/support/proc_figures.h"

namespace {

using namespace quorvane;
using namespace quorvane::bench;
using namespace quorvane::test;  // the process figures
using Steady = std::chrono::steady_clock;
namespace fs = std::filesystem;

double MiB(long kib) { return kib / 1024.0; }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs the window thread's event loop, as the panel's own run does, for a while.
void RunEventsFor(std::chrono::milliseconds span) {
  QEventLoop loop;
  QTimer::singleShot(span, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Phase {
  const char* name = "";
  double cpuPercent = 0;
  long rssKiB = 0;
  int redraws = 0;
};

int Window(int seconds, int rounds, bool pace) {
  QTemporaryDir dir;
  sim::PtyBoardOptions options;
  options.pace = pace;
  options.link = fs::path(dir.path().toStdString()) / "ttyUSB0";
  const std::set<std::string> before = Threads();
  sim::PtyBoard board(options);
  const std::set<std::string> boardThreads = ThreadsSince(before);

  CSerialLink link(dir.path().toStdString());
  PortTable ports(dir.path().toStdString());
  CControllerDlg dlg(link, ports);
  dlg.show();
  if (!OpenAndSync(dlg, "history_bench")) return 1;
  const long rssStart = ResidentKiB();
  std::printf("seconds_per_phase %d rounds %d pace %d\n", seconds, rounds, pace ? 1 : 0);
  std::printf("rss_at_start_mib %.1f (synced, history window never opened)\n", MiB(rssStart));

  // Closed and open in turn: the readings ring fills by the same amount in
  // every phase, so the open phase's extra memory is the window's own. The
  // first open phase's memory includes what Qt Charts and the window allocate
  // on first use (the chart scene, series, axis label fonts and glyph caches,
  // the window's backing store, shared with the X server); closing keeps the
  // window, so later rounds show what a reopen adds, which should be near 0.
  // The ring's pages count as they fill (about 64 bytes a second).
  std::vector<Phase> phases;
  for (int round = 0; round < rounds; ++round) {
    for (const bool open : {false, true}) {
      if (open) {
        QElapsedTimer shown;
        shown.start();
        dlg.ShowHistory();
        std::printf(
            "round %d show_history_ms %.1f (the call; the first paint comes in the phase)\n",
            round + 1, shown.nsecsElapsed() / 1e6);
      } else if (dlg.History() != nullptr) {
        dlg.History()->close();
      }
      const int redrawsBefore = dlg.History() != nullptr ? dlg.History()->Redraws() : 0;
      const long long cpuStart = CpuNsExcept(boardThreads);
      const Steady::time_point wallStart = Steady::now();
      RunEventsFor(std::chrono::seconds(seconds));
      const double wallNs =
          std::chrono::duration<double, std::nano>(Steady::now() - wallStart).count();
      Phase phase;
      phase.name = open ? "open" : "closed";
      phase.cpuPercent = 100.0 * static_cast<double>(CpuNsExcept(boardThreads) - cpuStart) / wallNs;
      phase.rssKiB = ResidentKiB();
      phase.redraws = (dlg.History() != nullptr ? dlg.History()->Redraws() : 0) - redrawsBefore;
      std::printf("round %d %-6s cpu_percent_of_one_core %.3f rss_end_mib %.1f chart_redraws %d\n",
                  round + 1, phase.name, phase.cpuPercent, MiB(phase.rssKiB), phase.redraws);
      std::fflush(stdout);
      phases.push_back(phase);
    }
  }
  double cpuDiffSum = 0;
  for (int round = 0; round < rounds; ++round) {
    const Phase& closed = phases[static_cast<std::size_t>(2 * round)];
    const Phase& open = phases[static_cast<std::size_t>(2 * round + 1)];
    cpuDiffSum += open.cpuPercent - closed.cpuPercent;
    std::printf("round %d open_minus_closed cpu_percent %+.3f rss_mib %+.1f\n", round + 1,
                open.cpuPercent - closed.cpuPercent, MiB(open.rssKiB - closed.rssKiB));
  }
  std::printf("mean open_minus_closed cpu_percent %+.3f (goal at most +0.5)\n",
              cpuDiffSum / rounds);
  std::printf("rss_growth_over_run_mib %+.1f (goal for the window at most +10)\n",
              MiB(phases.back().rssKiB - rssStart));
  dlg.EndSession();
  return 0;
}

// A believable day of readings: the current near its set-point with noise,
// temperatures drifting, a set-point change every two hours and the port
// reopened every six (a gap, and a new run), or as often as asked.
class DayOfReadings {
 public:
  // runs: how many runs the ring is to hold; 0 for a reopen every six hours.
  explicit DayOfReadings(std::size_t runs = 0)
      : m_reopenEvery(runs > 0 ? std::max<std::size_t>(ReadingHistory::kDefaultCapacity / runs, 1)
                               : 6 * (std::chrono::hours(1) / kPollPeriod)) {}

  DeviceState Next(std::size_t index) {
    constexpr std::size_t kPerHour = std::chrono::hours(1) / kPollPeriod;
    m_device.currentSetpoint = (index / (2 * kPerHour)) % 2 == 0 ? 1200 : 1500;
    m_device.currentRead = m_device.currentSetpoint + static_cast<int>(m_noise(m_random));
    const double hours = static_cast<double>(index) / kPerHour;
    m_device.seedTemp = 2500 + static_cast<int>(150 * std::sin(hours) + m_noise(m_random));
    m_device.pumpTemp = 3100 + static_cast<int>(200 * std::cos(hours / 3) + m_noise(m_random));
    m_device.frequencyHz = 25000;
    return m_device;
  }
  bool Reopens(std::size_t index) const { return index > 0 && index % m_reopenEvery == 0; }

 private:
  std::size_t m_reopenEvery;
  DeviceState m_device;
  std::mt19937 m_random{20240611};  // the same day every run
  std::normal_distribution<double> m_noise{0.0, 6.0};
};

int Ring() {
  const std::size_t capacity = ReadingHistory::kDefaultCapacity;
  const auto span = static_cast<long long>(capacity) * kPollPeriod;
  const long before = ResidentKiB();
  auto history = std::make_unique<ReadingHistory>();
  // The ring is reserved whole, but the kernel backs its pages only as they
  // are written: the figure after construction is small, after filling it is whole.
  const long constructed = ResidentKiB();
  DayOfReadings day;
  const WallTime start = std::chrono::system_clock::now() - span;
  for (std::size_t i = 0; i < capacity; ++i)
    history->Append(ReadingOf(start + static_cast<long long>(i) * kPollPeriod, day.Next(i)));
  const long filled = ResidentKiB();
  std::printf("readings %zu (a full ring: %.1f h at one reading every %lld ms)\n", history->Size(),
              std::chrono::duration<double, std::ratio<3600>>(span).count(),
              static_cast<long long>(kPollPeriod.count()));
  std::printf("sizeof_reading %zu ring_bytes %zu (%.2f MiB)\n", sizeof(Reading),
              capacity * sizeof(Reading), capacity * sizeof(Reading) / 1048576.0);
  std::printf("rss_mib before %.1f constructed %.1f filled %.1f\n", MiB(before), MiB(constructed),
              MiB(filled));
  std::printf("rss_growth_mib construct %+.2f fill %+.2f total %+.2f\n", MiB(constructed - before),
              MiB(filled - constructed), MiB(filled - before));
  return 0;
}

int Redraw(int repeats, std::size_t runs) {
  const std::size_t capacity = ReadingHistory::kDefaultCapacity;
  WallTime now = std::chrono::system_clock::now() - static_cast<long long>(capacity) * kPollPeriod;
  ReadingsLog log([&now] { return now; });
  DayOfReadings day(runs);
  for (std::size_t i = 0; i < capacity; ++i, now += kPollPeriod) {
    if (day.Reopens(i)) log.OnPortOpened();
    log.OnStatusReading(day.Next(i));
  }
  HistoryWindow window(log, nullptr);
  window.show();
  const Steady::time_point deadline = Steady::now() + std::chrono::seconds(10);
  while ((window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) &&
         Steady::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  if (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
    std::fprintf(stderr, "history_bench: the history window was never shown\n");
    return 1;
  }
  RunEventsFor(std::chrono::milliseconds(300));  // the first paint and layout, not measured

  // Each redraw follows a new reading, so the ring has moved as in a running
  // panel: the oldest reading drops out and the series are built anew.
  std::vector<double> drawMs, paintMs, totalMs;
  std::size_t index = capacity;
  for (int i = 0; i < repeats; ++i, ++index, now += kPollPeriod) {
    log.OnStatusReading(day.Next(index));
    const int redraws = window.Redraws();
    QElapsedTimer timer;
    timer.start();
    window.FollowSpan(HistoryWindow::Span::All);
    const qint64 drawn = timer.nsecsElapsed();
    QCoreApplication::sendPostedEvents();  // the chart's layout after the axis ranges moved
    window.Chart()->viewport()->repaint();
    const qint64 painted = timer.nsecsElapsed();
    if (window.Redraws() != redraws + 1) {
      std::fprintf(stderr, "history_bench: FollowSpan did not redraw the chart\n");
      return 1;
    }
    drawMs.push_back(drawn / 1e6);
    paintMs.push_back((painted - drawn) / 1e6);
    totalMs.push_back(painted / 1e6);
    RunEventsFor(std::chrono::milliseconds(50));  // whatever else was queued, not measured
  }
  std::printf(
      "readings %zu span All, runs kept %zu drawn %d, points drawn per line %lld, "
      "chart %dx%d px\n",
      log.History().Size(), log.History().RunCount(),
      window.Chart()->RunCount(TrendQuantity::MeasuredCurrent),
      static_cast<long long>(window.Chart()->PointCount(TrendQuantity::MeasuredCurrent)),
      window.Chart()->width(), window.Chart()->height());
  std::printf("redraws %d (median of each):\n", repeats);
  std::printf("  build_series_ms %.2f (the series thinned from the whole ring, axes fitted)\n",
              Median(drawMs));
  std::printf("  paint_ms %.2f (posted layout and a synchronous repaint of the chart)\n",
              Median(paintMs));
  std::printf("  redraw_ms %.2f max %.2f (both)\n", Median(totalMs),
              *std::max_element(totalMs.begin(), totalMs.end()));
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: history_bench window --seconds S [--rounds N] [--pace]\n"
               "       history_bench ring\n"
               "       history_bench redraw [--repeats N] [--runs R]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Before Qt, so the ring's figures are not mixed with the toolkit's start.
  if (argc == 2 && std::string(argv[1]) == "ring") return Ring();
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() >= 4 && args[1] == "window" && args[2] == "--seconds") {
    int rounds = 1;
    bool pace = false;
    for (qsizetype i = 4; i < args.size(); ++i) {
      if (args[i] == "--pace") pace = true;
      if (args[i] == "--rounds" && i + 1 < args.size()) rounds = std::max(1, args[++i].toInt());
    }
    const int seconds = args[3].toInt();
    return seconds > 0 ? Window(seconds, rounds, pace) : Usage();
  }
  if (args.size() >= 2 && args[1] == "redraw") {
    int repeats = 20;
    int runs = 0;
    for (qsizetype i = 2; i + 1 < args.size(); i += 2) {
      if (args[i] == "--repeats") repeats = args[i + 1].toInt();
      if (args[i] == "--runs") runs = args[i + 1].toInt();
    }
    return repeats > 0 && runs >= 0 ? Redraw(repeats, static_cast<std::size_t>(runs)) : Usage();
  }
  return Usage();
}
