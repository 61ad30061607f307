// What every stress scenario shares: the real window on the real link with a
// virtual board behind a pseudo-terminal, process figures from /proc, a
// watchdog on the event loop and the figures table.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QTemporaryDir>

#include "app/qt/controller_dlg.h"
#include "serial/posix/device_watcher.h"
#include "serial/posix/port_table.h"
#include "serial/serial_link.h"
#include "sim/pty_board.h"

class QPushButton;

namespace quorvane::stress {

using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// The rows a scenario reports and the violations it found. A violation is
// printed at once, so a failed run says what went wrong and when.
// Whole numbers drawn evenly from lo..hi; one seed repeats a run's every choice.
class UniformDraw {
 public:
  explicit UniformDraw(unsigned seed) : m_rng(seed) {}
  int operator()(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

 private:
  std::mt19937 m_rng;
};

struct Figures {
  std::vector<std::pair<std::string, std::string>> rows;
  int violations = 0;
  void Add(const std::string& name, const std::string& value) { rows.emplace_back(name, value); }
  void Violation(const std::string& what);
};

// Descriptors, threads and resident memory of this process.
struct ProcessCounts {
  int fds = 0;
  int threads = 0;
  long rssKiB = 0;
};
ProcessCounts SampleProcess();

// Runs the event loop until done() or the time-out; returns done().
bool PumpUntil(const std::function<bool()>& done, Ms timeout);
void PumpFor(Ms duration);

// The window with its seams opened for the harness: what it shows, when it
// pauses and pumps, and whether it tries to raise an error box. Hooks run on
// the window thread except onError, which may run on the monitor thread.
class StressDlg : public CControllerDlg {
 public:
  using CControllerDlg::CControllerDlg;
  std::function<void(int, std::string_view)> onText;
  std::function<void(std::string_view)> onSoftActive;
  std::function<void(Ms)> onPause;  // a pause of the board work begins
  std::function<void()> onPump;
  std::function<void(std::int32_t)> onSliderPlaced;
  std::atomic<int> errors{0};

  void SetText(int controlId, std::string_view text) override;
  void PresentSoftActive(ColorRef color, std::string_view caption) override;
  void StartTimer(int id, Ms period) override;
  void PumpMessages() override;
  void SetSliderPosition(std::int32_t position) override;
  // An error box would stop the run until someone dismissed it; it is
  // counted and its text printed instead.
  void ShowErrorBox(const std::string& text, const std::string& caption) override;
};

struct RigOptions {
  sim::BoardConfig board{};
  bool pace = false;
  sim::WireObserver observer{};
};

// The panel as the real program builds it, on a folder of its own: the
// device watcher first, then link, port table and window.
class Rig {
 public:
  explicit Rig(RigOptions options);
  ~Rig();
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  QPushButton* Button(int id) const;
  bool Synced() { return dlg->GetController().Flags().synced != 0; }
  bool PortOpen() { return dlg->GetController().Flags().portOpen != 0; }
  // Selects ttyUSB0 if listed and presses OpenPort; true once synced.
  bool OpenAndSync(Ms timeout);
  std::size_t CountCode(std::uint8_t code) const;
  std::size_t ListIndexOfBoard() const;  // npos when not listed

  QTemporaryDir dir;
  std::unique_ptr<sim::PtyBoard> board;
  std::unique_ptr<DeviceWatcher> watcher;
  std::unique_ptr<CSerialLink> link;
  std::unique_ptr<PortTable> ports;
  std::unique_ptr<StressDlg> dlg;
};

// Ends the process with a message when the window thread stops turning its
// event loop: a hang cannot be reported by the thread that hangs. Also closes
// any error box found modal, and counts it.
class LoopWatchdog {
 public:
  LoopWatchdog(Ms limit, Figures& figures);
  ~LoopWatchdog();
  LoopWatchdog(const LoopWatchdog&) = delete;
  LoopWatchdog& operator=(const LoopWatchdog&) = delete;

 private:
  std::atomic<long long> m_lastBeatMs;
  std::mutex m_mutex;  // guards m_stop for the condition variable
  std::condition_variable m_stopped;
  bool m_stop = false;
  std::unique_ptr<class QTimer> m_beat;
  std::thread m_thread;
};

long long NowMs();

}  // namespace quorvane::stress
