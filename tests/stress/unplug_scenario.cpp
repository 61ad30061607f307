// The unplug scenario: the board's cable is pulled at random moments and put
// back; every cycle must end Closed with the port listed again, or reopened
// and polling, with no hang, no error box and an idle monitor thread while
// the port is gone.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "tests/stress/scenarios.h"
#include "tests/support/proc_figures.h"

namespace quorvane::stress {

namespace {

enum class Moment { kPolling, kPause, kBetweenSet, kHold, kClosePump, kCount };
const char* const kMomentNames[] = {"polling", "pause", "between_set", "hold", "close_pump"};

// Pulls the cable from a thread of its own: the window thread may be asleep
// in one of its pauses, which is exactly when the cable is to go.
class Unplugger {
 public:
  Unplugger(Rig& rig, const std::set<std::string>& infrastructure, bool waitTrigger, Ms delay,
            Ms goneFor)
      : m_thread([this, &rig, &infrastructure, waitTrigger, delay, goneFor] {
          {
            std::unique_lock lock(m_mutex);
            if (waitTrigger) m_triggered.wait_for(lock, Ms(3000), [this] { return m_fired; });
          }
          std::this_thread::sleep_for(delay);
          rig.board->HangUp();
          // What is left besides the threads that were there before the
          // first open (the board's has just been joined) and this one is
          // the link's.
          const std::string self = std::to_string(::syscall(SYS_gettid));
          std::vector<std::string> linkThreads;
          for (const std::string& tid : test::Threads())
            if (!infrastructure.count(tid) && tid != self) linkThreads.push_back(tid);
          linkThreadsSeen = linkThreads.size();
          std::vector<long long> cpuStart;
          for (const std::string& tid : linkThreads) cpuStart.push_back(test::ThreadCpuNs(tid));
          const Clock::time_point goneAt = Clock::now();
          std::this_thread::sleep_for(goneFor);
          // A thread that ended meanwhile reads 0: it spent nothing more.
          goneCpuNs = 0;
          for (std::size_t i = 0; i < linkThreads.size(); ++i)
            goneCpuNs += std::max(0LL, test::ThreadCpuNs(linkThreads[i]) - cpuStart[i]);
          goneWallNs =
              std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - goneAt).count();
          pollsAtReturn = rig.CountCode(CMD_READ_STATUS) + rig.CountCode(CMD_READ_ALL);
          rig.board->Reappear();
          done = true;
        }) {}
  ~Unplugger() { m_thread.join(); }
  Unplugger(const Unplugger&) = delete;
  Unplugger& operator=(const Unplugger&) = delete;

  void Trigger() {
    {
      std::lock_guard lock(m_mutex);
      m_fired = true;
    }
    m_triggered.notify_all();
  }

  std::atomic<bool> done{false};
  // Written by the thread before done is set, read after.
  long long goneCpuNs = 0;
  long long goneWallNs = 0;
  std::size_t pollsAtReturn = 0;
  std::size_t linkThreadsSeen = 0;  // the monitor thread, if the link kept one

 private:
  std::mutex m_mutex;  // guards m_fired
  std::condition_variable m_triggered;
  bool m_fired = false;
  std::thread m_thread;  // last: it starts at once and uses the members above
};

}  // namespace

Figures RunUnplug(const ScenarioArgs& args) {
  Figures figures;
  UniformDraw uniform(args.seed);
  Rig rig({});
  const LoopWatchdog watchdog(Ms(10000), figures);
  PumpFor(Ms(300));
  // One open and close first, so what Qt sets up once is in the baseline.
  if (!rig.OpenAndSync(Ms(5000))) figures.Violation("the board never synced");
  rig.Button(IDC_OPEN_PORT)->click();
  PumpFor(Ms(500));
  const ProcessCounts start = SampleProcess();
  const std::set<std::string> infrastructure = test::Threads();
  if (!rig.OpenAndSync(Ms(5000))) figures.Violation("the board never synced");

  int survived = 0, reopened = 0, closedEnds = 0, watched = 0;
  long long goneCpuNs = 0, goneWallNs = 0;
  double worstCyclePercent = 0;
  int moments[static_cast<int>(Moment::kCount)] = {};
  for (int cycle = 0; cycle < args.count; ++cycle) {
    const auto moment = static_cast<Moment>(uniform(0, static_cast<int>(Moment::kCount) - 1));
    ++moments[static_cast<int>(moment)];
    const Ms goneFor(uniform(0, 1500));
    const bool waitTrigger =
        moment == Moment::kPause || moment == Moment::kBetweenSet || moment == Moment::kClosePump;
    Ms delay(0);
    if (moment == Moment::kPolling || moment == Moment::kHold) delay = Ms(uniform(0, 1000));
    if (moment == Moment::kPause) delay = Ms(uniform(0, 190));
    if (moment == Moment::kBetweenSet) delay = Ms(uniform(0, 95));
    Unplugger unplugger(rig, infrastructure, waitTrigger, delay, goneFor);
    rig.dlg->onPause = [&](Ms pause) {
      if ((moment == Moment::kPause && pause == Ms(200)) ||
          (moment == Moment::kBetweenSet && pause == Ms(100)))
        unplugger.Trigger();
    };
    rig.dlg->onPump = [&] {
      if (moment == Moment::kClosePump) unplugger.Trigger();
    };
    if (moment == Moment::kBetweenSet) {
      auto* edit = static_cast<QLineEdit*>(rig.dlg->Control(IDC_CURRENT_EDIT));
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, QString::number(uniform(0, 3000)));
      QTest::keyClick(edit, Qt::Key_Return);
    } else if (moment == Moment::kHold) {
      QPushButton* up = rig.Button(uniform(0, 1) ? IDC_CURRENT_UP : IDC_CURRENT_DOWN);
      QTest::mousePress(up, Qt::LeftButton);
      PumpFor(delay + Ms(uniform(0, 600)));
      QTest::mouseRelease(up, Qt::LeftButton);
    } else if (moment == Moment::kClosePump) {
      rig.Button(IDC_OPEN_PORT)->click();
    }
    PumpUntil([&] { return unplugger.done.load(); }, Ms(8000));
    rig.dlg->onPause = nullptr;
    rig.dlg->onPump = nullptr;
    if (!unplugger.done) {
      figures.Violation("cycle " + std::to_string(cycle) + ": the board never came back");
      break;
    }
    if (unplugger.linkThreadsSeen > 0) ++watched;
    goneCpuNs += unplugger.goneCpuNs;
    goneWallNs += unplugger.goneWallNs;
    if (unplugger.goneWallNs >= 1'000'000'000LL)
      worstCyclePercent =
          std::max(worstCyclePercent, 100.0 * unplugger.goneCpuNs / unplugger.goneWallNs);

    const auto polling = [&] {
      return rig.PortOpen() &&
             rig.CountCode(CMD_READ_STATUS) + rig.CountCode(CMD_READ_ALL) > unplugger.pollsAtReturn;
    };
    const auto closed = [&] { return rig.dlg->GetController().State() == ConnectionState::Closed; };
    const bool settled = PumpUntil([&] { return polling() || closed(); }, args.settle);
    const std::string where =
        "cycle " + std::to_string(cycle) + " (" + kMomentNames[static_cast<int>(moment)] + ")";
    if (!settled) {
      figures.Violation(where + ": neither polling nor closed (state " +
                        std::to_string(static_cast<int>(rig.dlg->GetController().State())) +
                        ", listed " + std::to_string(rig.ListIndexOfBoard() != std::string::npos) +
                        ", board " + std::to_string(rig.board->Present()) + ")");
      continue;
    }
    if (polling()) {
      ++reopened;
      // A cycle may begin before sync only by accident; wait for it.
      PumpUntil([&] { return rig.Synced(); }, Ms(3000));
    } else {
      ++closedEnds;
      // A closed panel lists a port that comes back, within 2 s of its return.
      if (!PumpUntil([&] { return rig.ListIndexOfBoard() != std::string::npos; }, Ms(2000))) {
        figures.Violation(where + ": the returned port was not listed again");
        continue;
      }
      if (!rig.OpenAndSync(Ms(5000))) {
        figures.Violation(where + ": reopening after the cycle did not sync");
        continue;
      }
    }
    ++survived;
  }
  rig.Button(IDC_OPEN_PORT)->click();
  PumpUntil([&] { return !rig.PortOpen(); }, Ms(3000));
  PumpFor(Ms(500));
  const ProcessCounts end = SampleProcess();

  const double gonePercent = goneWallNs > 0 ? 100.0 * goneCpuNs / goneWallNs : 0;
  if (rig.dlg->errors > 0) figures.Violation(std::to_string(rig.dlg->errors) + " error boxes");
  if (gonePercent > 1.0)
    figures.Violation("monitor CPU while the port was gone " + std::to_string(gonePercent) + " %");
  if (end.fds != start.fds)
    figures.Violation("descriptors " + std::to_string(start.fds) + " -> " +
                      std::to_string(end.fds));
  if (end.threads != start.threads)
    figures.Violation("threads " + std::to_string(start.threads) + " -> " +
                      std::to_string(end.threads));
  if (rig.link->DroppedFrames() != 0) figures.Violation("the link dropped frames");

  std::string mix;
  for (int i = 0; i < static_cast<int>(Moment::kCount); ++i)
    mix += std::string(i ? " " : "") + kMomentNames[i] + "=" + std::to_string(moments[i]);
  figures.Add("unplug cycles survived",
              std::to_string(survived) + "/" + std::to_string(args.count));
  figures.Add("unplug ends reopened/closed and listed again",
              std::to_string(reopened) + "/" + std::to_string(closedEnds));
  figures.Add("unplug moments", mix);
  char cpu[64];
  std::snprintf(cpu, sizeof cpu, "%.3f %% (worst cycle >= 1 s: %.3f %%)", gonePercent,
                worstCyclePercent);
  figures.Add("unplug monitor CPU while gone", cpu);
  figures.Add("unplug cycles with a monitor thread alive while gone", std::to_string(watched));
  figures.Add("unplug error boxes", std::to_string(rig.dlg->errors.load()));
  figures.Add("unplug fds/threads start->end",
              std::to_string(start.fds) + "->" + std::to_string(end.fds) + " / " +
                  std::to_string(start.threads) + "->" + std::to_string(end.threads));
  return figures;
}

}  // namespace quorvane::stress
