// The whole panel: the real window, the real serial link and a virtual board
// on a pseudo-terminal. Open, sync, set by Enter, soft-active round trip, step
// hold, hang-up, and closing the window while the board is being polled.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "app/qt/controller_dlg.h"
#include "controller/control_ids.h"
#include "controls/qt/state_button.h"
#include "controls/qt/tick_slider.h"
#include "protocol/codes.h"
#include "sim/pty_board.h"
#include "tests/app/qt/panel_fixture.h"

using namespace quorvane;
using namespace quorvane::test;
using namespace std::chrono_literals;

namespace {

// Writes to the port fail with a plain error while armed, so the monitor
// thread raises a box. The link's events are written through here too.
class FailingWrites final : public SystemCalls {
 public:
  ssize_t Write(int fd, const void* buffer, std::size_t count) override {
    if (armed.load() && ::isatty(fd)) {
      errno = EPERM;
      return -1;
    }
    return SystemCalls::Write(fd, buffer, count);
  }
  std::atomic<bool> armed{false};
};

// Makes the next write to the port fail, so the monitor thread raises an
// error box and waits on it; runs act inside the box's own loop, then lets
// writes through again and dismisses the box. False when no box came.
bool InsideTheNextErrorBox(FailingWrites& sys, const std::function<void(QMessageBox*)>& act) {
  bool handled = false;
  QTimer inBox;
  QObject::connect(&inBox, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || handled) return;
    handled = true;
    act(box);
    sys.armed = false;
    box->button(QMessageBox::Ok)->click();
  });
  inBox.start(20);
  sys.armed = true;
  return QTest::qWaitFor([&] { return handled; }, 5000);
}

// A hang cannot be failed from the thread that hangs; this one ends the run.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit, const char* what)
      : m_thread([this, limit, what] {
          std::unique_lock lock(m_mutex);
          if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
            std::fprintf(stderr, "FAIL: %s did not finish within %lld s\n", what,
                         static_cast<long long>(limit.count()));
            std::_Exit(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(m_mutex);
      m_finished = true;
    }
    m_done.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_thread;
};

// The window with its pace timer watched: whether a pause of the board work
// runs, and a call at the start of each.
class PaceWatchDlg final : public CControllerDlg {
 public:
  using CControllerDlg::CControllerDlg;
  void StartTimer(int id, std::chrono::milliseconds period) override {
    CControllerDlg::StartTimer(id, period);
    if (id != TIMER_PACE) return;
    pausing = true;
    if (onPause) onPause();
  }
  void StopTimer(int id) override {
    if (id == TIMER_PACE) pausing = false;
    CControllerDlg::StopTimer(id);
  }
  bool pausing = false;
  std::function<void()> onPause;
};

}  // namespace

class PanelEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void openSyncsAndShowsTheBoardsValues();
  void enterInCurrentFieldSendsTheFrameTwice();
  void softActiveTurnsRedOnAfterTheReply();
  void holdingStepUpRepeatsUntilRelease();
  void holdEndsWhenTheReleaseGoesToABox();
  void failedOpenExplainsItselfInTheTooltip();
  void hangUpClosesAndDropsThePort();
  void closingWhilePollingEndsPromptly();
  void deviceChangeInsideAnErrorBoxWaitsForTheBox();
  void windowServesEventsWhileThePollPauses();
};

void PanelEndToEndTest::openSyncsAndShowsTheBoardsValues() {
  Panel p(Parameters(1200, 1));
  QCOMPARE(p.dlg->SelectedPort(), 0);
  QCOMPARE(p.Text(IDC_PORT_LIST), std::string("ttyUSB0"));
  p.Button(IDC_OPEN_PORT)->click();
  QCOMPARE(p.Text(IDC_OPEN_PORT), std::string("ClosePort"));
  QVERIFY(!p.dlg->Control(IDC_PORT_LIST)->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);

  QCOMPARE(p.Text(IDC_CURRENT_EDIT), std::string("1200"));
  QCOMPARE(p.Text(IDC_FREQUENCY_EDIT), std::string("25.00"));
  QCOMPARE(p.Text(IDC_DURATION_EDIT), std::string("33"));
  auto* slider = static_cast<CTickSlider*>(p.dlg->Control(IDC_CURRENT_SLIDER));
  QCOMPARE(slider->maximum(), 3000);
  QCOMPARE(slider->value(), 1200);
  QCOMPARE(slider->Ticks().size(), std::size_t{9});
  auto* soft = static_cast<CStateButton*>(p.dlg->Control(IDC_SOFT_ACTIVE));
  QCOMPARE(soft->Color(), kSoftActiveOnColor);
  QCOMPARE(p.Text(IDC_SOFT_ACTIVE), std::string("ON"));
  // The readings arrive with the first status poll.
  QTRY_VERIFY_WITH_TIMEOUT(!p.Text(IDC_SEED_TEMP).empty(), 3000);
  QVERIFY(!p.Text(IDC_PUMP_TEMP).empty());
  QVERIFY(!p.Text(IDC_CURRENT_READ).empty());
  QVERIFY(!EntriesWithCode(*p.board, CMD_READ_STATUS).empty());
}

void PanelEndToEndTest::enterInCurrentFieldSendsTheFrameTwice() {
  Panel p(Parameters(0, 0));
  QVERIFY(QTest::qWaitForWindowActive(p.dlg.get()));
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);

  auto* edit = static_cast<QLineEdit*>(p.dlg->Control(IDC_CURRENT_EDIT));
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, "1500");
  const std::size_t before = EntriesWithCode(*p.board, CMD_SET_CURRENT).size();
  QTest::keyClick(p.dlg->windowHandle(), Qt::Key_Return);
  QTRY_VERIFY_WITH_TIMEOUT(EntriesWithCode(*p.board, CMD_SET_CURRENT).size() >= before + 2, 2000);

  const auto sets = EntriesWithCode(*p.board, CMD_SET_CURRENT);
  const sim::JournalEntry& first = sets[before];
  const sim::JournalEntry& second = sets[before + 1];
  const std::vector<std::uint8_t> payload{0x12, 0x34, 0x05, 0xDC};
  QCOMPARE(first.payload, payload);
  QCOMPARE(second.raw, first.raw);
  // The 100 ms between them is the controller's, checked on its virtual clock;
  // here a loaded machine may deliver the two closer together.
  QVERIFY(second.time >= first.time);
  QVERIFY(p.dlg->isVisible());
  // The board's answer comes back into the field.
  QTRY_COMPARE_WITH_TIMEOUT(p.Text(IDC_CURRENT_EDIT), std::string("1500"), 2000);
}

void PanelEndToEndTest::softActiveTurnsRedOnAfterTheReply() {
  Panel p(Parameters(0, 0));
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  auto* soft = static_cast<CStateButton*>(p.dlg->Control(IDC_SOFT_ACTIVE));
  QCOMPARE(p.Text(IDC_SOFT_ACTIVE), std::string("OFF"));
  QCOMPARE(soft->Color(), kSoftActiveOffColor);

  QTest::mouseClick(soft, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(p.Text(IDC_SOFT_ACTIVE), std::string("ON"), 2000);
  QCOMPARE(soft->Color(), kSoftActiveOnColor);
  const QImage look = soft->grab().toImage();
  QCOMPARE(QColor(look.pixel(look.width() / 2, 2)), QColor(255, 0, 0));
  const auto toggles = EntriesWithCode(*p.board, CMD_SET_SOFT_ACTIVE);
  QCOMPARE(toggles.size(), std::size_t{1});
  QCOMPARE(toggles.front().payload, std::vector<std::uint8_t>{0x01});
}

void PanelEndToEndTest::holdingStepUpRepeatsUntilRelease() {
  Panel p(Parameters(100, 0));
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  // A board that listens without answering cannot move the set-point under
  // the steps, so every frame's value follows from the step rule alone.
  p.board->SetSwitches({.silent = true});
  const std::size_t before = EntriesWithCode(*p.board, CMD_SET_CURRENT).size();
  QPushButton* up = p.Button(IDC_CURRENT_UP);
  QTest::mousePress(up, Qt::LeftButton);
  // Held for six repeats at least: the fifth is the first to step by 2 mA.
  QTRY_VERIFY_WITH_TIMEOUT(EntriesWithCode(*p.board, CMD_SET_CURRENT).size() >= before + 6, 5000);
  QTest::mouseRelease(up, Qt::LeftButton);
  QTest::qWait(600);  // the click's frame reaches the board
  const auto sets = EntriesWithCode(*p.board, CMD_SET_CURRENT);
  QTest::qWait(600);
  QCOMPARE(EntriesWithCode(*p.board, CMD_SET_CURRENT).size(),
           sets.size());  // no repeat after release

  // Repeat k steps by k / 5 + 1 mA; the release's click adds a last 1 mA.
  const std::size_t repeats = sets.size() - before - 1;
  int expected = 100;
  for (std::size_t k = 1; k <= repeats + 1; ++k) {
    expected += k <= repeats ? static_cast<int>(k / 5 + 1) : 1;
    const auto& payload = sets[before + k - 1].payload;
    const int setpoint = payload[2] << 8 | payload[3];
    QVERIFY2(setpoint == expected, qPrintable(QString("frame %1 of %2: %3, expected %4")
                                                  .arg(k)
                                                  .arg(repeats + 1)
                                                  .arg(setpoint)
                                                  .arg(expected)));
  }
  QCOMPARE(p.dlg->GetController().Device().currentSetpoint, expected);
}

void PanelEndToEndTest::holdEndsWhenTheReleaseGoesToABox() {
  // The hold's next step fails to write, so the monitor thread raises a box;
  // the operator lets go over the box, where the panel never sees the release.
  FailingWrites sys;
  Panel p(Parameters(100, 0), false, sys);
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  p.board->SetSwitches({.silent = true});
  const std::size_t before = EntriesWithCode(*p.board, CMD_SET_CURRENT).size();
  QTest::mousePress(p.Button(IDC_CURRENT_UP), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(EntriesWithCode(*p.board, CMD_SET_CURRENT).size() >= before + 2, 5000);
  QString boxText;
  QVERIFY(InsideTheNextErrorBox(sys, [&](QMessageBox* box) {
    boxText = box->text();
    QTest::mouseRelease(box, Qt::LeftButton);
  }));
  // The box names the port as the list does, not by the panel's COM number.
  QVERIFY2(boxText.endsWith("\nPort: ttyUSB0\n"), qPrintable(boxText));
  QTest::qWait(300);  // a step already on its way may still arrive
  const std::size_t sets = EntriesWithCode(*p.board, CMD_SET_CURRENT).size();
  const std::size_t polls = EntriesWithCode(*p.board, CMD_READ_STATUS).size();
  QTest::qWait(1000);
  QCOMPARE(EntriesWithCode(*p.board, CMD_SET_CURRENT).size(), sets);
  QVERIFY2(EntriesWithCode(*p.board, CMD_READ_STATUS).size() > polls, "the poll did not resume");
}

void PanelEndToEndTest::failedOpenExplainsItselfInTheTooltip() {
  Panel p(Parameters(0, 0));
  // Another program holds the port.
  CSerialLink other(p.dir.path().toStdString());
  QVERIFY(other.Open(p.dlg.get(), 33, 9600, 'N', 8, 0, EV_RXCHAR, 512, 0, 0, 0, 0, 0));
  QPushButton* open = p.Button(IDC_OPEN_PORT);
  open->click();
  QCOMPARE(p.Text(IDC_OPEN_PORT), std::string("OpenPort"));
  QVERIFY2(open->toolTip().contains("ttyUSB0 is busy"), qPrintable(open->toolTip()));
  QVERIFY2(!open->toolTip().contains("COM"), qPrintable(open->toolTip()));
  // Shown at once: nothing else on the panel tells the operator the press failed.
  QVERIFY(QToolTip::isVisible());
  QCOMPARE(QToolTip::text(), open->toolTip());
  other.Close();
  other.DetachOwner();
  open->click();
  QCOMPARE(p.Text(IDC_OPEN_PORT), std::string("ClosePort"));
  QVERIFY(open->toolTip().isEmpty());
}

void PanelEndToEndTest::hangUpClosesAndDropsThePort() {
  Panel p(Parameters(0, 0));
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  p.board->HangUp();
  QTRY_COMPARE_WITH_TIMEOUT(p.Text(IDC_OPEN_PORT), std::string("OpenPort"), 3000);
  auto* list = static_cast<QComboBox*>(p.dlg->Control(IDC_PORT_LIST));
  QCOMPARE(list->count(), 0);
  QVERIFY(list->isEnabled());
  QCOMPARE(p.dlg->GetController().Flags().portOpen, 0);
  QVERIFY(!p.link->DeviceOpen());
}

void PanelEndToEndTest::closingWhilePollingEndsPromptly() {
  // Paced replies keep bytes on their way to the window when it closes.
  Panel p(Parameters(0, 0), /*pace=*/true);
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  QElapsedTimer sinceClose;
  QTimer::singleShot(300, p.dlg.get(), [&] {
    sinceClose.start();
    p.dlg->close();
  });
  p.dlg->RunModal();
  QVERIFY2(sinceClose.elapsed() < 1000, qPrintable(QString("%1 ms").arg(sinceClose.elapsed())));
  QVERIFY(!p.link->MonitorRunning());
  QVERIFY(!p.link->DeviceOpen());
  // Nothing the board sends now reaches the window.
  const std::size_t polls = EntriesWithCode(*p.board, CMD_READ_STATUS).size();
  QTest::qWait(700);
  QCOMPARE(EntriesWithCode(*p.board, CMD_READ_STATUS).size(), polls);
}

void PanelEndToEndTest::deviceChangeInsideAnErrorBoxWaitsForTheBox() {
  FailingWrites sys;
  Panel p(Parameters(0, 0), false, sys);
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  const Watchdog watchdog(std::chrono::seconds(30), "a device change inside an error box");
  // The next poll's write fails: the monitor thread waits on the box it raised.
  // Inside the box's loop a hot-plug notice and a press arrive.
  QVERIFY(InsideTheNextErrorBox(sys, [&](QMessageBox*) {
    p.dlg->GetController().OnDeviceChange();
    p.dlg->GetController().OnOpenClose();
  }));
  // Both ran after the box, in order: the port reopened, then closed by the press.
  QTRY_COMPARE_WITH_TIMEOUT(p.Text(IDC_OPEN_PORT), std::string("OpenPort"), 5000);
  QVERIFY(!p.link->MonitorRunning());
  QVERIFY(!p.link->DeviceOpen());
  QVERIFY(p.dlg->Control(IDC_PORT_LIST)->isEnabled());
}

void PanelEndToEndTest::windowServesEventsWhileThePollPauses() {
  QTemporaryDir dir;
  sim::PtyBoardOptions options;
  options.board.parameters = Parameters(1000, 0);
  options.link = std::filesystem::path(dir.path().toStdString()) / "ttyUSB0";
  sim::PtyBoard board(options);
  CSerialLink link(dir.path().toStdString());
  PortTable ports(dir.path().toStdString());
  PaceWatchDlg dlg(link, ports);
  dlg.show();
  static_cast<QPushButton*>(dlg.Control(IDC_OPEN_PORT))->click();
  QTRY_VERIFY_WITH_TIMEOUT(dlg.GetController().Flags().synced != 0, kSyncTimeoutMs);
  const Watchdog watchdog(std::chrono::seconds(30), "events served while polling");
  // At the start of each pause after a status query, an event is posted to
  // the window thread; a window that sleeps through the pause serves it after.
  int posted = 0, servedInPause = 0, servedAfter = 0;
  dlg.onPause = [&] {
    ++posted;
    QMetaObject::invokeMethod(
        &dlg, [&] { ++(dlg.pausing ? servedInPause : servedAfter); }, Qt::QueuedConnection);
  };
  QTRY_VERIFY_WITH_TIMEOUT(posted >= 3 && servedInPause + servedAfter == posted, 5000);
  dlg.onPause = nullptr;
  QCOMPARE(servedAfter, 0);
  QVERIFY(EntriesWithCode(board, CMD_READ_STATUS).size() >= 3);
  dlg.EndSession();
}

QTEST_MAIN(PanelEndToEndTest)
#include "panel_end_to_end_test.moc"
