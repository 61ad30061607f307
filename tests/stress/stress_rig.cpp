// The shared pieces of the stress scenarios: the panel on a virtual board,
// /proc figures and the event-loop watchdog.
#include "tests/stress/stress_rig.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "controller/control_ids.h"
#include "tests/support/proc_figures.h"

namespace quorvane::stress {

namespace fs = std::filesystem;

void Figures::Violation(const std::string& what) {
  ++violations;
  std::fprintf(stderr, "VIOLATION: %s\n", what.c_str());
}

long long NowMs() {
  return std::chrono::duration_cast<Ms>(Clock::now().time_since_epoch()).count();
}

static int CountEntries(const char* directory) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++count;
  return count;
}

ProcessCounts SampleProcess() {
  ProcessCounts counts;
  // The directory iterator holds one descriptor of its own while it counts.
  counts.fds = CountEntries("/proc/self/fd") - 1;
  counts.threads = CountEntries("/proc/self/task");
  counts.rssKiB = test::ResidentKiB();
  return counts;
}

bool PumpUntil(const std::function<bool()>& done, Ms timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(Ms(2));
  }
  return true;
}

void PumpFor(Ms duration) {
  PumpUntil([] { return false; }, duration);
}

void StressDlg::SetText(int controlId, std::string_view text) {
  CControllerDlg::SetText(controlId, text);
  if (onText) onText(controlId, text);
}

void StressDlg::PresentSoftActive(ColorRef color, std::string_view caption) {
  CControllerDlg::PresentSoftActive(color, caption);
  if (onSoftActive) onSoftActive(caption);
}

void StressDlg::StartTimer(int id, Ms period) {
  if (id == TIMER_PACE && onPause) onPause(period);
  CControllerDlg::StartTimer(id, period);
}

void StressDlg::PumpMessages() {
  if (onPump) onPump();
  CControllerDlg::PumpMessages();
}

void StressDlg::SetSliderPosition(std::int32_t position) {
  CControllerDlg::SetSliderPosition(position);
  if (onSliderPlaced) onSliderPlaced(position);
}

void StressDlg::ShowErrorBox(const std::string& text, const std::string& caption) {
  ++errors;
  std::fprintf(stderr, "VIOLATION: error box \"%s\": %s\n", caption.c_str(), text.c_str());
}

Rig::Rig(RigOptions options) {
  const fs::path path = dir.path().toStdString();
  sim::PtyBoardOptions boardOptions;
  boardOptions.board = options.board;
  boardOptions.pace = options.pace;
  boardOptions.link = path / "ttyUSB0";
  boardOptions.observer = std::move(options.observer);
  board = std::make_unique<sim::PtyBoard>(boardOptions);
  watcher = std::make_unique<DeviceWatcher>(path);
  link = std::make_unique<CSerialLink>(path);
  ports = std::make_unique<PortTable>(path);
  dlg = std::make_unique<StressDlg>(*link, *ports);
  DeviceWatcher* w = watcher.get();
  dlg->WatchDevices(w->Fd(), [w] { return w->DrainChanges(); });
  dlg->show();
}

Rig::~Rig() {
  dlg->EndSession();
  dlg.reset();
  link.reset();
}

QPushButton* Rig::Button(int id) const { return static_cast<QPushButton*>(dlg->Control(id)); }

std::size_t Rig::ListIndexOfBoard() const {
  const auto* list = static_cast<QComboBox*>(dlg->Control(IDC_PORT_LIST));
  const int index = list->findText("ttyUSB0", Qt::MatchStartsWith);
  return index < 0 ? std::string::npos : static_cast<std::size_t>(index);
}

bool Rig::OpenAndSync(Ms timeout) {
  const std::size_t index = ListIndexOfBoard();
  if (index == std::string::npos) return false;
  dlg->SelectPort(static_cast<int>(index));
  Button(IDC_OPEN_PORT)->click();
  return PumpUntil([this] { return Synced() && PortOpen(); }, timeout);
}

std::size_t Rig::CountCode(std::uint8_t code) const {
  std::size_t count = 0;
  for (const sim::JournalEntry& entry : board->Board().Journal())
    if (entry.code == code) ++count;
  return count;
}

LoopWatchdog::LoopWatchdog(Ms limit, Figures& figures)
    : m_lastBeatMs(NowMs()), m_beat(std::make_unique<QTimer>()) {
  QObject::connect(m_beat.get(), &QTimer::timeout, [this, &figures] {
    m_lastBeatMs = NowMs();
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      figures.Violation("an error box was open: " + box->text().toStdString());
      box->reject();
    }
  });
  m_beat->start(100);
  m_thread = std::thread([this, limit] {
    std::unique_lock lock(m_mutex);
    while (!m_stopped.wait_for(lock, Ms(500), [this] { return m_stop; })) {
      if (NowMs() - m_lastBeatMs.load() > limit.count()) {
        std::fprintf(stderr, "VIOLATION: the event loop stood still for %lld ms: hang\n",
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::abort();
      }
    }
  });
}

LoopWatchdog::~LoopWatchdog() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_stopped.notify_all();
  m_thread.join();
}

}  // namespace quorvane::stress
